#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/transfer.h"

namespace kelvara {

// What a face of the editor (the Qt window, the web page) shows and does on the editor's word.
// The editor decides every caption, colour, text, box and enabled state; the face only draws
// what it is told and forwards the user's events to the editor (editor.h). Nothing the face is
// told to show comes back to the editor as an event: a box's text set from here raises no
// change, an option selected from here no click.

// The two grids of cell buttons.
enum class Grid { kPattern, kCondition };

// A colour as red, green and blue, 0..255 each.
struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// How a cell button shows its value.
struct CellLook {
    std::string_view caption;
    Rgb face;
};

// The controls whose enabled state the editor sets.
enum class Control {
    kUndo,            // "元に戻す"
    kSendData,        // "データ転送"
    kRead,            // "データ読み込み"
    kConditionCells,  // the nine condition cell buttons
    kConditionAll,    // the four buttons beside them ("ランダム", "すべて…")
    kMethods,         // the four change method options
    kStopKey,         // Esc, which stops the transfer that is running
    kNew,             // "新規作成"
    kOpen,            // "開く(&O)"
};

// A modal message box with an OK button only. (Not "MessageBox": <windows.h> makes that name a
// macro.)
struct Box {
    enum class Icon { kNone, kExclamation };
    std::string text;
    std::string title;
    Icon icon = Icon::kNone;
    std::string details;  // shown below the text when not empty
};

// One entry of a file dialog's type list: the caption the user reads, and the file name
// patterns it shows ("*" shows every file, also one without a dot).
struct FileFilter {
    std::string caption;
    std::vector<std::string> patterns;
};

// What a file dialog asks for. initialPath is offered again: a file in its folder, a folder as
// the one the dialog starts in; empty for the dialog's own choice.
struct FileRequest {
    std::string title;
    std::vector<FileFilter> filters;
    std::string initialPath;
};

class EditorView {
  public:
    virtual ~EditorView() = default;

    virtual void ShowCell(Grid grid, int index, const CellLook& look) = 0;
    // The plate label's text; now and count for what assistive technology is told of it, and
    // announce: tell it now (another plate is shown).
    virtual void ShowPlateLabel(const std::string& text, int now, int count, bool announce) = 0;
    virtual void ShowPlateNumber(const std::string& text) = 0;  // the plate number box
    virtual void SelectMode(int index) = 0;  // 0 "通常モード", 1 "ライフゲームモード"
    virtual void SelectMethod(int index) = 0;  // the change method option of that value
    virtual void Enable(Control control, bool enabled) = 0;
    // The status line; announce: tell assistive technology of the new message.
    virtual void ShowStatus(const std::string& text, bool announce) = 0;
    // The one-second status timer runs (an already running timer keeps its rhythm) or stops.
    virtual void RunStatusTimer(bool run) = 0;
    virtual void ShowBox(const Box& box) = 0;
    virtual void ShowTitle(const std::string& title) = 0;  // the window's title
    // The single check mark of the port menu: on COM index+1, or on none for an index outside
    // 0..8.
    virtual void CheckPort(int index) = 0;
    // A file dialog; the face answers with Editor::OpenFileChosen or SaveFileChosen, at once or
    // later.
    virtual void ChooseOpenFile(const FileRequest& request) = 0;
    virtual void ChooseSaveFile(const FileRequest& request) = 0;
    // The help page, with the desktop's own program; false when the page is there but no program
    // could open it (a missing page is passed over).
    virtual bool OpenHelp() = 0;
    // The transfer that runs waits; the face calls Editor::ResumeTransfer once wait is over.
    virtual void ScheduleTransfer(const TransferWait& wait) = 0;
    // A close of the window that waited for the transfer to end may go ahead now.
    virtual void CloseWindow() = 0;
};

}  // namespace kelvara
