#pragma once

// The editor without a window: a view that records what it is told, a line to a scripted
// machine, and a random source that plays back fixed draws.

#include <array>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "../device/fake_device.h"
#include "editor/editor.h"
#include "simulation/random.h"

namespace kelvara::test {

// The window as the editor draws it, and every box and dialog it asks for.
struct RecordingView : EditorView {
    std::array<std::string, kCells> pattern{};
    std::array<Rgb, kCells> patternFace{};
    std::array<std::string, kConditionCells> condition{};
    std::array<Rgb, kConditionCells> conditionFace{};
    std::string plateLabel;
    std::string plateNumber;
    int mode = -1;
    int method = -1;
    std::map<Control, bool> enabled;
    std::string status;
    std::vector<std::string> announced;
    bool timerRunning = false;
    std::vector<Box> boxes;
    std::string title;
    int checkedPort = -1;
    std::vector<FileRequest> openRequests;
    std::vector<FileRequest> saveRequests;
    std::deque<std::optional<std::string>> fileAnswers;  // none left: cancelled
    int helpOpened = 0;
    bool helpOpens = true;
    std::optional<TransferWait> scheduled;
    bool closed = false;
    Editor* editor = nullptr;  // answers the file dialogs

    void ShowCell(Grid grid, int index, const CellLook& look) override {
        const auto i = static_cast<std::size_t>(index);
        (grid == Grid::kPattern ? pattern[i] : condition[i]) = std::string(look.caption);
        (grid == Grid::kPattern ? patternFace[i] : conditionFace[i]) = look.face;
    }
    void ShowPlateLabel(const std::string& text, int, int, bool announce) override {
        plateLabel = text;
        if (announce) announced.push_back(text);
    }
    void ShowPlateNumber(const std::string& text) override { plateNumber = text; }
    void SelectMode(int index) override { mode = index; }
    void SelectMethod(int index) override { method = index; }
    void Enable(Control control, bool on) override { enabled[control] = on; }
    void ShowStatus(const std::string& text, bool announce) override {
        status = text;
        if (announce) announced.push_back(text);
    }
    void RunStatusTimer(bool run) override { timerRunning = run; }
    void ShowBox(const Box& box) override { boxes.push_back(box); }
    void ShowTitle(const std::string& text) override { title = text; }
    void CheckPort(int index) override { checkedPort = index; }
    void ChooseOpenFile(const FileRequest& request) override {
        openRequests.push_back(request);
        editor->OpenFileChosen(NextAnswer());
    }
    void ChooseSaveFile(const FileRequest& request) override {
        saveRequests.push_back(request);
        editor->SaveFileChosen(NextAnswer());
    }
    bool OpenHelp() override {
        ++helpOpened;
        return helpOpens;
    }
    void ScheduleTransfer(const TransferWait& wait) override { scheduled = wait; }
    void CloseWindow() override { closed = true; }

    // The pattern's captions in a row.
    std::string Pattern() const {
        std::string text;
        for (const std::string& caption : pattern) text += caption;
        return text;
    }
    bool Enabled(Control control) const {
        const auto it = enabled.find(control);
        return it != enabled.end() && it->second;
    }

  private:
    std::optional<std::string> NextAnswer() {
        if (fileAnswers.empty()) return std::nullopt;
        std::optional<std::string> answer = std::move(fileAnswers.front());
        fileAnswers.pop_front();
        return answer;
    }
};

// The line to a scripted machine that answers as soon as it is written to.
struct ScriptedLine final : SerialLine {
    fakes::FakeDevice device;
    bool opens = true;
    bool open = false;
    int port = 0;
    int opened = 0;
    std::string details;  // why an open failed

    void SelectPort(std::int16_t number) override { port = number; }
    bool Open() override {
        open = opens;
        opened += open;
        return open;
    }
    bool IsOpen() const override { return open; }
    void Close() override { open = false; }
    void Write(std::string_view text) override { pending += device.Take(text); }
    std::string ReadAll() override { return std::exchange(pending, {}); }
    std::string OpenErrorDetails() const override { return details; }

    std::string pending;
};

// Plays back a fixed list of draws, round and round.
class ScriptedRandom final : public RandomSource {
  public:
    explicit ScriptedRandom(std::vector<double> draws) : draws_(std::move(draws)) {}
    void Reseed() override {}
    double Next() override { return draws_[next_++ % draws_.size()]; }

  private:
    std::vector<double> draws_;
    std::size_t next_ = 0;
};

// A started editor over a recording view, files on disk and, when given, a line.
struct Window {
    explicit Window(SerialLine* line = nullptr, std::vector<double> draws = {0.0, 0.5, 0.99})
        : editor(view, files, line, std::make_unique<ScriptedRandom>(std::move(draws))) {
        view.editor = &editor;
        TransferTiming fast;
        fast.pollLimit = 5;
        editor.setTransferTiming(fast);
        editor.Load();
    }

    // Runs the transfer's waits as the window's event loop would, until none is pending.
    // onEvents runs at each pass of events before a poll.
    void Settle(const std::function<void()>& onEvents = {}) {
        while (view.scheduled) {
            const TransferWait wait = *view.scheduled;
            view.scheduled.reset();
            if (wait.kind == TransferWait::Kind::kEvents && onEvents) onEvents();
            editor.ResumeTransfer();
        }
    }

    RecordingView view;
    DiskDataFiles files;
    Editor editor;
    Document& doc() { return editor.document(); }
};

}  // namespace kelvara::test
