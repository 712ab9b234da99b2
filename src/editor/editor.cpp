#include "editor/editor.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "device/line_events.h"
#include "document/editing.h"
#include "simulation/simulation.h"

namespace kelvara {

namespace {

// Every text the window shows, once.
constexpr char kProgramName[] = "KelvaraEditor";
constexpr char kErrorTitle[] = "エラー";
constexpr char kNoMorePlatesText[] = "これ以上プレートを削除できません";
constexpr char kPlateNotMadeText[] = "現在そのプレートは作られてません";
constexpr char kNoMatchText[] = "条件にマッチするデータがありませんした。";
constexpr char kMatchedText[] = "条件にマッチしたデータを変化させました。";
constexpr char kLifeGameStartText[] = "ライフゲームスタート";
constexpr char kUndoneText[] = "試しに動かしたデータをもとにもどしました。";
constexpr char kUnknownFileText[] = "不明なファイルです。";
constexpr char kSaveFailedText[] = "ファイルを保存できませんでした。";
constexpr char kPortOpenErrorText[] = "ポートオープンエラー発生";
constexpr char kSaveTitle[] = "名前をつけて保存";
constexpr char kOpenTitle[] = "ファイルを開く";
constexpr char kHelpFailedText[] =
    "使い方のページ（readme.html）を開けませんでした。ブラウザーが入っているか確かめてください。";

// How long the line rests after a transfer that ended in the middle before the next one sends:
// the machine drops the unfinished write after half a second of silence.
constexpr std::int64_t kLineRestMs = 600;

std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// How a cell value shows on its button; a value outside the table leaves the button as it was.
std::optional<CellLook> LookOf(std::int16_t value, Grid grid) {
    switch (value) {
        case kOff:
            return CellLook{"0", {255, 255, 255}};
        case kOn:
            return CellLook{"1", {255, 51, 51}};
        case kAny:
            if (grid == Grid::kCondition) return CellLook{"*", {170, 170, 170}};
            break;
        default:
            break;
    }
    return std::nullopt;
}

}  // namespace

Editor::Editor(EditorView& view, DataFiles& files, SerialLine* line,
               std::unique_ptr<RandomSource> random)
    : view_(view),
      files_(files),
      line_(line),
      random_(random ? std::move(random) : std::make_unique<ClockRandom>()),
      work_(std::make_unique<SimulationWork>()),
      nowMs_(SteadyMs) {}

Editor::~Editor() = default;

void Editor::Load() {
    // The window as it is built, before the document is shown.
    view_.ShowTitle(kProgramName);
    view_.SelectMode(modeShown_);
    view_.SelectMethod(methodShown_);
    view_.ShowPlateNumber(plateText_);
    view_.Enable(Control::kUndo, false);
    view_.Enable(Control::kSendData, true);
    view_.Enable(Control::kRead, true);
    view_.Enable(Control::kStopKey, false);
    view_.Enable(Control::kNew, true);
    view_.Enable(Control::kOpen, true);

    InitDocument(doc_);
    view_.ShowStatus(kProgramName, false);
    status_.MesCount = 0;
    status_.MesLimit = 3;
    status_.enabled = true;
    view_.RunStatusTimer(true);
    SetAll();
    if (line_ != nullptr) line_->SelectPort(doc_.ComPort);
}

// ---- Display -------------------------------------------------------------------------------

void Editor::RefreshData(std::int16_t what) {
    if (what == 0) {
        for (int i = 0; i < kCells; ++i) {
            if (const auto look = LookOf(doc_.MaData[i], Grid::kPattern)) {
                view_.ShowCell(Grid::kPattern, i, *look);
            }
        }
    } else if (what == 1) {
        if (doc_.NowPlate < 0 || doc_.NowPlate > kMaxPlates) return;
        const Condition& condition = doc_.IfData[doc_.NowPlate];
        for (int c = 0; c < kConditionCells; ++c) {
            if (const auto look = LookOf(condition[c], Grid::kCondition)) {
                view_.ShowCell(Grid::kCondition, c, *look);
            }
        }
    }
}

void Editor::SelectModeOption(int index) {
    if (modeShown_ == index) return;
    modeShown_ = index;
    view_.SelectMode(index);
    OptionModeClick(index);
}

void Editor::SelectMethodOption(int index) {
    if (methodShown_ == index) return;
    methodShown_ = index;
    view_.SelectMethod(index);
    OptionAcClick(index);
}

void Editor::SetPlateNumberText(const std::string& text) {
    if (plateText_ == text) return;
    view_.ShowPlateNumber(text);
    TextPlateNumChange(text);
}

void Editor::SetAll() {
    if (doc_.GameMode == 0 || doc_.GameMode == 1) SelectModeOption(doc_.GameMode);
    // The port menu shows where the next transfer goes, also after a file brought its own port.
    view_.CheckPort(doc_.ComPort >= 1 && doc_.ComPort <= 9 ? doc_.ComPort - 1 : -1);
    // Another plate shown (paged, added, deleted, typed, or a new document) is told to a screen
    // reader; the first drawing is not.
    const std::pair<int, int> plates{doc_.NowPlate, doc_.PlateCount};
    const bool announce = platesShown_.has_value() && *platesShown_ != plates;
    platesShown_ = plates;
    view_.ShowPlateLabel(std::to_string(doc_.NowPlate) + "/" + std::to_string(doc_.PlateCount),
                         doc_.NowPlate, doc_.PlateCount, announce);
    SetPlateNumberText(std::to_string(doc_.NowPlate));
    RefreshData(0);
    RefreshData(1);
    if (doc_.NowPlate >= 0 && doc_.NowPlate <= kMaxPlates) {
        const std::int16_t method = doc_.AcData[doc_.NowPlate];
        if (method >= kMethodOff && method <= kMethodRandom) SelectMethodOption(method);
    }
}

void Editor::ShowMessage(const std::string& text) {
    view_.ShowStatus(text, true);
    ArmStatusTimer();
}

void Editor::ShowError(const std::string& text) {
    view_.ShowBox({text, kErrorTitle, Box::Icon::kNone, {}});
}

// ---- Plates --------------------------------------------------------------------------------

void Editor::OptionModeClick(int index) {
    if (index != 0 && index != 1) return;
    modeShown_ = index;
    const bool normal = index == 0;
    view_.Enable(Control::kConditionCells, normal);
    view_.Enable(Control::kConditionAll, normal);
    view_.Enable(Control::kMethods, normal);
    doc_.GameMode = static_cast<std::int16_t>(index);
}

void Editor::OptionAcClick(int index) {
    if (index >= kMethodOff && index <= kMethodRandom) methodShown_ = index;
    SetMethod(doc_, static_cast<std::int16_t>(index));
}

void Editor::CommandIfClick(int c) {
    CycleCondition(doc_, c);
    RefreshData(1);
}

void Editor::CommandIfBClick(int index) {
    if (index == 0) {
        const int redraw = RandomData(doc_, *random_, 1);
        if (redraw >= 0) RefreshData(static_cast<std::int16_t>(redraw));
    } else if (AllData(doc_, static_cast<std::int16_t>(index - 1))) {
        RefreshData(1);
    }
}

void Editor::CommandNextClick() {
    NextPlate(doc_);
    SetAll();
}

void Editor::CommandPreviousClick() {
    PreviousPlate(doc_);
    SetAll();
}

void Editor::CommandDelClick() {
    if (!DeletePlate(doc_)) {
        ShowError(kNoMorePlatesText);
        return;
    }
    SetAll();
}

void Editor::TextPlateNumChange(const std::string& text) {
    plateText_ = text;
    switch (PlateNumberChanged(doc_, text)) {
        case PlateNumberAction::Nothing:
            break;
        case PlateNumberAction::NotMade:
            ShowError(kPlateNotMadeText);
            break;
        case PlateNumberAction::Go:
            SetAll();
            break;
    }
}

// ---- Pattern -------------------------------------------------------------------------------

// Every pattern edit ends here: the pattern is redrawn and the undo copy can no longer be
// brought back by hand.
void Editor::PatternEdited() {
    RefreshData(0);
    view_.Enable(Control::kUndo, false);
}

void Editor::CommandMaClick(int i) {
    TogglePattern(doc_, i);
    PatternEdited();
}

void Editor::CommandMa0Click() {
    FillPattern(doc_, kOff);
    PatternEdited();
}

void Editor::CommandMa1Click() {
    FillPattern(doc_, kOn);
    PatternEdited();
}

void Editor::CommandMaReClick() {
    InvertPattern(doc_);
    PatternEdited();
}

void Editor::CommandMaRndClick() {
    const int redraw = RandomData(doc_, *random_, 0);
    if (redraw >= 0) RefreshData(static_cast<std::int16_t>(redraw));
    view_.Enable(Control::kUndo, false);
}

// ---- Trial run and undo --------------------------------------------------------------------

void Editor::CommandSeClick() {
    if (doc_.GameMode == 0) {
        view_.Enable(Control::kUndo, true);
        RefreshData(0);
        view_.ShowStatus({}, false);
        std::string matches;
        SerchData(doc_, *work_, *random_, matches);
        view_.ShowStatus(matches, false);
        // The step leaves plate 1 current; show it, so the display names the current plate.
        SetAll();
        ShowMessage(matches.empty() ? kNoMatchText : kMatchedText);
    } else if (doc_.GameMode == 1) {
        RefreshData(0);
        view_.ShowStatus({}, false);
        LifeGame(doc_, *work_);
        RefreshData(0);
        ShowMessage(kLifeGameStartText);
    }
}

void Editor::CommandReClick() {
    doc_.MaData = doc_.MaBackup;
    RefreshData(0);
    ShowMessage(kUndoneText);
}

void Editor::TimerMesTimer() {
    if (status_.Tick()) {
        view_.ShowStatus(kRestingText, false);
        view_.RunStatusTimer(false);
    }
}

// ---- Files ---------------------------------------------------------------------------------

// New and open replace the document: the pattern kept for undo is another document's.
void Editor::MenuNewClick() {
    if (transfer_) return;  // one document per transfer
    NewDocument(doc_);
    view_.Enable(Control::kUndo, false);
    SetAll();
}

FileRequest Editor::FileDialog(const char* title, const std::string& initialPath) const {
    return {title,
            {{"データファイル(*.dat)", {"*.dat"}}, {"すべてのファイル(*.*)", {"*"}}},
            initialPath};
}

void Editor::MenuOpenClick() {
    if (transfer_) return;  // one document per transfer
    asked_ = FileAsked::kOpen;
    // Until a file has been chosen, the dialog starts in the examples that come with the editor.
    view_.ChooseOpenFile(
        FileDialog(kOpenTitle, lastPath_.empty() ? files_.StartFolder() : lastPath_));
}

void Editor::OpenFileChosen(const std::optional<std::string>& path) {
    if (asked_ != FileAsked::kOpen) return;
    asked_ = FileAsked::kNone;
    if (path) {
        lastPath_ = *path;
        // Only data files are opened: the file's own name must contain ".dat", exactly.
        if (!HasDataFileName(*path) || files_.Load(*path, doc_) != LoadStatus::Loaded) {
            view_.ShowBox({kUnknownFileText, kErrorTitle, Box::Icon::kExclamation, {}});
        } else {
            doc_.FileName = *path;
            doc_.NowPlate = 1;
            view_.Enable(Control::kUndo, false);
            SetAll();
        }
    }
    SetFileTitle();
}

void Editor::OpenFileGiven(const std::string& path) {
    if (transfer_) return;
    asked_ = FileAsked::kOpen;
    OpenFileChosen(path);
}

void Editor::MenuOverSaveClick() {
    if (doc_.FileName.empty()) {
        RenameSave();
        return;
    }
    if (!files_.Save(doc_.FileName, doc_)) ShowError(kSaveFailedText);
    SetFileTitle();
}

void Editor::MenuNewSaveClick() { RenameSave(); }

void Editor::RenameSave() {
    asked_ = FileAsked::kSave;
    // Saving starts where the last file was, never in the examples; before any file, in the
    // user's documents.
    view_.ChooseSaveFile(
        FileDialog(kSaveTitle, lastPath_.empty() ? files_.SaveFolder() : lastPath_));
}

void Editor::SaveFileChosen(const std::optional<std::string>& path) {
    if (asked_ != FileAsked::kSave) return;
    asked_ = FileAsked::kNone;
    if (path) {
        lastPath_ = *path;
        // The name is taken exactly as typed: no extension is added, an existing file is
        // replaced without a question, but never destroyed by a save that fails.
        if (files_.Save(*path, doc_)) {
            nameBeforeSave_ = doc_.FileName;
            savedAs_ = *path;
            doc_.FileName = *path;
        } else {
            ShowError(kSaveFailedText);
        }
    }
    SetFileTitle();
}

void Editor::SaveFailed(const std::string& path) {
    if (!savedAs_.empty() && path == savedAs_ && doc_.FileName == savedAs_) {
        doc_.FileName = nameBeforeSave_;
    }
    savedAs_.clear();
    ShowError(kSaveFailedText);
    SetFileTitle();
}

void Editor::SetFileTitle() {
    view_.ShowTitle(std::string(kProgramName) + "(" + doc_.FileName + ")");
}

// ---- Port, help, line events, closing ------------------------------------------------------

void Editor::menucomClick(int index) {
    if (index < 0 || index >= 9) return;
    view_.CheckPort(index);
    doc_.ComPort = static_cast<std::int16_t>(index + 1);
}

void Editor::MenuHelpUseClick() {
    if (!view_.OpenHelp()) ShowError(kHelpFailedText);
}

void Editor::LineEvent(int code) {
    if (const auto text = LineEventMessage(code)) {
        view_.ShowBox({*text, std::string(kLineEventTitle), Box::Icon::kExclamation, {}});
    }
}

bool Editor::CloseRequested() {
    if (!transfer_) return true;
    // The transfer notices at its next poll, closes the port and ends; the window then closes.
    closing_ = true;
    return false;
}

// ---- Transfers -----------------------------------------------------------------------------

void Editor::CommandSendDataClick() {
    if (modeShown_ == 0) {
        ComMain(kTransferWrite);
    } else if (modeShown_ == 1) {
        ComMain(kTransferLifeGame);
    }
}

void Editor::CommandReadClick() {
    doc_.MaBackup = doc_.MaData;
    view_.Enable(Control::kUndo, true);
    ComMain(kTransferRead);
}

// One transfer at a time on the port; editing stays possible while it runs.
void Editor::ComMain(std::int16_t mode) {
    if (transfer_) return;
    if (line_ == nullptr) {
        TransferEnded(mode);
        return;
    }
    for (const Control control :
         {Control::kSendData, Control::kRead, Control::kNew, Control::kOpen}) {
        view_.Enable(control, false);
    }
    view_.Enable(Control::kStopKey, true);
    stopRequested_ = false;
    TransferTiming timing = timing_;
    if (brokenAt_) {
        timing.restMs = static_cast<int>(
            std::clamp<std::int64_t>(kLineRestMs - (nowMs_() - *brokenAt_), 0, kLineRestMs));
    }
    TransferHost& host = *this;
    transfer_ = std::make_unique<kelvara::ComMain>(mode, doc_, *line_, host, timing);
    ContinueTransfer();
}

void Editor::ResumeTransfer() {
    if (transfer_) ContinueTransfer();
}

void Editor::ContinueTransfer() {
    const TransferWait wait = transfer_->Resume();
    if (wait.kind != TransferWait::Kind::kDone) {
        view_.ScheduleTransfer(wait);
        return;
    }
    const std::int16_t mode = transfer_->Mode();
    // What a transfer that sent nothing leaves on the line is what was there before it.
    if (transfer_->SentAnything()) {
        const bool broken = transfer_->Result() != TransferResult::kDone;
        brokenAt_ = broken ? std::optional<std::int64_t>(nowMs_()) : std::nullopt;
    }
    transfer_.reset();
    view_.Enable(Control::kStopKey, false);
    stopRequested_ = false;
    for (const Control control :
         {Control::kSendData, Control::kRead, Control::kNew, Control::kOpen}) {
        view_.Enable(control, true);
    }
    if (closing_) view_.CloseWindow();
    TransferEnded(mode);
}

// What the click that started the transfer does once it is over: a read shows plate 1 of what
// it brought, also when the port did not open.
void Editor::TransferEnded(std::int16_t mode) {
    if (mode != kTransferRead) return;
    doc_.NowPlate = 1;
    SetAll();
}

void Editor::StopTransfer() {
    if (transfer_) stopRequested_ = true;
}

void Editor::SetStatus(const std::string& text) { view_.ShowStatus(text, true); }

void Editor::ArmStatusTimer() {
    status_.Arm();
    view_.RunStatusTimer(true);
}

void Editor::ShowPortOpenError() {
    view_.ShowBox({kPortOpenErrorText, std::string(kLineEventTitle), Box::Icon::kNone,
                   line_ != nullptr ? line_->OpenErrorDetails() : std::string()});
}

void Editor::ShowTransferError(const std::string& text) {
    view_.ShowBox({text, std::string(kLineEventTitle), Box::Icon::kExclamation, {}});
}

}  // namespace kelvara
