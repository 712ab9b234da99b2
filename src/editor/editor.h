#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "device/transfer.h"
#include "document/document.h"
#include "editor/data_files.h"
#include "editor/editor_view.h"
#include "editor/status_timer.h"
#include "simulation/random.h"

namespace kelvara {

struct SimulationWork;

// What each user event of the editor's window does: the edit of the document, what is redrawn,
// which control is enabled, which status message or box is shown. One function per event,
// named as the window's handlers are; every face (the Qt window, the web page) forwards its
// events here and draws what the editor tells its view.
//
// The editor also runs the transfers: a click on a transfer button starts the routine, the view
// is asked to resume it after each of its waits (ResumeTransfer), and the editor finishes the
// click's work when the transfer is over. Meanwhile every other event is handled as usual.
class Editor final : private TransferHost {
  public:
    // line may be null for a window that never talks to a device; random may be null for the
    // clock-seeded generator.
    Editor(EditorView& view, DataFiles& files, SerialLine* line = nullptr,
           std::unique_ptr<RandomSource> random = nullptr);
    ~Editor() override;
    Editor(const Editor&) = delete;
    Editor& operator=(const Editor&) = delete;

    // Start-up, once the face has built its controls in their first state: the document's
    // defaults, "KelvaraEditor" on the status line, the status timer, the whole window drawn
    // from the document, the port given its number.
    void Load();

    Document& document() { return doc_; }
    const StatusTimer& statusTimer() const { return status_; }
    bool transferBusy() const { return transfer_ != nullptr; }
    // The pacing of transfers; tests shorten the time-out.
    void setTransferTiming(const TransferTiming& timing) { timing_ = timing; }
    // The clock the editor tells the line's rests by (milliseconds, steady); tests set their own.
    void setClock(std::function<std::int64_t()> nowMs) { nowMs_ = std::move(nowMs); }

    // Redraws: 0 the pattern buttons, 1 the condition buttons of the current plate.
    void RefreshData(std::int16_t what);
    // Redraws everything that depends on the document.
    void SetAll();
    // Shows a message on the status line and arms the status timer.
    void ShowMessage(const std::string& text);

    // ---- The user's events ----
    void OptionModeClick(int index);
    void OptionAcClick(int index);
    void CommandIfClick(int c);
    void CommandIfBClick(int index);
    void CommandMaClick(int i);
    void CommandMa0Click();
    void CommandMa1Click();
    void CommandMaReClick();
    void CommandMaRndClick();
    void CommandNextClick();
    void CommandPreviousClick();
    void CommandDelClick();
    void TextPlateNumChange(const std::string& text);  // every change of the box's text
    void CommandSeClick();
    void CommandReClick();
    void CommandSendDataClick();
    void CommandReadClick();
    void MenuNewClick();
    void MenuOpenClick();
    void MenuOverSaveClick();
    void MenuNewSaveClick();
    void menucomClick(int index);
    void MenuHelpUseClick();
    // The answers of the file dialogs the view was asked for; nothing when the user cancelled.
    void OpenFileChosen(const std::optional<std::string>& path);
    // A file named as the editor starts (its command line: "open with", a file dropped on the
    // program) opens as one chosen in "開く".
    void OpenFileGiven(const std::string& path);
    void SaveFileChosen(const std::optional<std::string>& path);
    // A save that the face finishes in the background (a browser writing a file) has failed
    // after all: told as any failed save, and a file name that save gave the window goes back
    // to the one before.
    void SaveFailed(const std::string& path);
    // Esc: the transfer that runs stops at its next poll.
    void StopTransfer();
    // The user closes the window. True: it may close now; false: a transfer runs, which ends at
    // its next poll, and then the view is told to close the window.
    bool CloseRequested();

    // ---- The window's own events ----
    void TimerMesTimer();      // a tick of the status timer
    void LineEvent(int code);  // the serial line reports an event
    void ResumeTransfer();     // the wait the view was given is over

  private:
    // TransferHost: the window's part in a transfer.
    void SetStatus(const std::string& text) override;
    void ArmStatusTimer() override;
    void ShowPortOpenError() override;
    void ShowTransferError(const std::string& text) override;
    bool Closing() const override { return closing_; }
    bool StopRequested() const override { return stopRequested_; }

    void ComMain(std::int16_t mode);
    void ContinueTransfer();
    void TransferEnded(std::int16_t mode);
    void PatternEdited();
    void ShowError(const std::string& text);
    // The view's option or box is given a value from code; a change runs its handler, as the
    // window's controls do.
    void SelectModeOption(int index);
    void SelectMethodOption(int index);
    void SetPlateNumberText(const std::string& text);
    void RenameSave();
    void SetFileTitle();
    FileRequest FileDialog(const char* title, const std::string& initialPath) const;

    EditorView& view_;
    DataFiles& files_;
    SerialLine* line_;
    std::unique_ptr<RandomSource> random_;
    std::unique_ptr<SimulationWork> work_;
    Document doc_;
    StatusTimer status_;
    TransferTiming timing_;
    std::unique_ptr<kelvara::ComMain> transfer_;
    std::function<std::int64_t()> nowMs_;
    std::optional<std::int64_t> brokenAt_;  // when a transfer that sent part of itself ended
    bool stopRequested_ = false;
    bool closing_ = false;
    // What the window's option groups and plate number box show now (their first state before
    // Load), so that a value given from code runs a handler only when it changes something.
    int modeShown_ = 0;
    int methodShown_ = 1;
    std::string plateText_ = "1";
    std::optional<std::pair<int, int>> platesShown_;  // the plate label's now and count
    // The file dialog the view was asked for, and the path chosen last, which the next dialog
    // offers again.
    enum class FileAsked { kNone, kOpen, kSave };
    FileAsked asked_ = FileAsked::kNone;
    std::string lastPath_;
    std::string savedAs_;         // the path the last save under a new name gave the document
    std::string nameBeforeSave_;  // and the file name it had before
};

}  // namespace kelvara
