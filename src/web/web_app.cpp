#include "web/web_app.h"

#include <emscripten/bind.h>
#include <emscripten/emscripten.h>

#include <cstdio>
#include <utility>

#include "device/port_names.h"
#include "editor/window_layout.h"
#include "files/datafile.h"
#include "web/web_texts.h"

namespace kelvara::web {

using emscripten::val;

namespace {

std::int64_t NowMs() { return static_cast<std::int64_t>(emscripten_get_now()); }

val Text(std::string_view text) { return val(std::string(text)); }

val Colour(const Rgb& rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", rgb.red, rgb.green, rgb.blue);
    return val(std::string(text));
}

// Pixels of a 96-dpi screen, as the window's fonts are sized.
int Pixels(double points) { return static_cast<int>(points * 96.0 / 72.0 + 0.5); }

val FontOf(const layout::Font& font) {
    val object = val::object();
    object.set("px", Pixels(font.points));
    object.set("bold", font.bold);
    return object;
}

const char* KindName(layout::Kind kind) {
    switch (kind) {
        case layout::Kind::kFrame:
            return "frame";
        case layout::Kind::kPanel:
            return "panel";
        case layout::Kind::kButton:
            return "button";
        case layout::Kind::kOption:
            return "option";
        case layout::Kind::kTextBox:
            return "text";
        case layout::Kind::kLabel:
            return "label";
        case layout::Kind::kStatus:
            return "status";
        case layout::Kind::kPicture:
            return "picture";
    }
    return "";
}

val Command(const char* name) {
    val command = val::object();
    command.set("cmd", std::string(name));
    return command;
}

// The name "OptionAc(2)" as its array's name and index; -1 for a control of its own.
std::pair<std::string, int> Split(const std::string& name) {
    const std::size_t open = name.find('(');
    if (open == std::string::npos || name.back() != ')') return {name, -1};
    return {name.substr(0, open), std::atoi(name.c_str() + open + 1)};
}

}  // namespace

WebApp::WebApp(val sink, const std::string& serial)
    : sink_(std::move(sink)),
      serialUnavailable_(serial == "unsupported" ? kNoWebSerialText
                         : serial == "insecure"  ? kNotSecureText
                                                 : ""),
      serial_(
          {[this] { Page(Command("serialOpen")); },
           [this](std::string_view text) {
               val command = Command("serialWrite");
               command.set("text", Text(text));
               Page(command);
           },
           [this] { Page(Command("serialClose")); }},
          [this] { sink_.call<void>("input"); }, [this](int code) { editor_.LineEvent(code); }),
      machineLine_(machine_, NowMs, [this] { sink_.call<void>("input"); }),
      router_(serial_, machineLine_),
      editor_(*this, *this, &router_) {
    serial_.SetUnavailable(serialUnavailable_);
    // Where the browser cannot reach a port, the machine in the page is the one to talk to.
    router_.UseMachine(!serialUnavailable_.empty());
}

WebApp::~WebApp() = default;

val WebApp::Layout() {
    val controls = val::array();
    for (const layout::ControlLayout& from : layout::Controls()) {
        val control = val::object();
        control.set("name", Text(from.name));
        control.set("kind", std::string(KindName(from.kind)));
        control.set("parent", Text(from.parent));
        control.set("x", from.geometry.x);
        control.set("y", from.geometry.y);
        control.set("width", from.geometry.width);
        control.set("height", from.geometry.height);
        control.set("caption", Text(from.caption));
        control.set("tooltip", Text(from.tooltip));
        control.set("font", FontOf(from.font));
        control.set("face", from.face ? Colour(*from.face) : val::null());
        control.set("accessibleName", Text(from.accessibleName));
        control.set("accessibleDescription", Text(from.accessibleDescription));
        controls.call<void>("push", control);
    }
    val menus = val::array();
    for (const layout::MenuLayout& from : layout::Menus()) {
        val menu = val::object();
        menu.set("name", Text(from.name));
        menu.set("caption", Text(from.caption));
        val items = val::array();
        // The port menu is the browser's own: its items come with the port choice.
        if (from.name != "MenuComPort") {
            for (const layout::MenuItemLayout& item : from.items) {
                val entry = val::object();
                entry.set("name", Text(item.name));
                entry.set("caption", Text(item.caption));
                items.call<void>("push", entry);
            }
        }
        menu.set("items", items);
        menus.call<void>("push", menu);
    }
    val grids = val::array();
    for (const Grid grid : {Grid::kPattern, Grid::kCondition}) {
        const layout::GridLayout& shape = layout::GridOf(grid);
        val entry = val::object();
        entry.set("name", std::string(grid == Grid::kPattern ? "CommandMa" : "CommandIf"));
        entry.set("grid", static_cast<int>(grid));
        entry.set("frame", Text(shape.frame));
        entry.set("rows", shape.rows);
        entry.set("columns", shape.columns);
        entry.set("x", shape.x);
        entry.set("y", shape.y);
        entry.set("pitch", layout::kCellPitch);
        entry.set("side", layout::kCellSide);
        entry.set("font", FontOf(layout::kCellFont));
        entry.set("accessibleName", layout::GridName(shape));
        entry.set("accessibleDescription", layout::GridDescription(shape));
        entry.set("cellDescription", layout::CellDescription(shape));
        val cells = val::array();
        for (int i = 0; i < shape.rows * shape.columns; ++i) {
            cells.call<void>("push", layout::CellName(shape, i, "*"));
        }
        entry.set("cellNames", cells);
        grids.call<void>("push", entry);
    }
    val keys = val::array();
    for (const layout::WindowKey& key : layout::WindowKeys()) {
        val entry = val::object();
        entry.set("key", Text(key.key));
        entry.set("button", Text(key.button));
        keys.call<void>("push", entry);
    }
    val texts = val::object();
    texts.set("ok", Text(kOkButton));
    texts.set("cancel", Text(kCancelButton));
    texts.set("examples", Text(kExamplesHeading));
    texts.set("chooseFile", Text(kChooseFileButton));
    texts.set("saveName", Text(kSaveNameLabel));
    texts.set("save", Text(kSaveButton));
    texts.set("exited", Text(kExitedText));
    texts.set("reopen", Text(kReopenButton));
    texts.set("machineTitle", Text(kMachineTitle));
    texts.set("status", Text(layout::kStatusDescription));

    val result = val::object();
    result.set("client", val::array());
    result["client"].call<void>("push", layout::kClientArea.width);
    result["client"].call<void>("push", layout::kClientArea.height);
    result.set("background", Colour(layout::kActiveCaption));
    result.set("frameText", Colour(layout::kHighlightedText));
    result.set("controls", controls);
    result.set("menus", menus);
    result.set("grids", grids);
    result.set("windowKeys", keys);
    result.set("texts", texts);
    return result;
}

void WebApp::Start() {
    editor_.Load();
    ShowPortMenu();
    ShowMachine();
}

void WebApp::Page(val command) { sink_.call<void>("page", command); }

// ---- Events --------------------------------------------------------------------------------

void WebApp::Click(const std::string& name, int index) {
    const auto [base, item] = Split(name);
    const int at = item >= 0 ? item : index;
    Editor& e = editor_;
    if (base == "OptionMode") {
        e.OptionModeClick(at);
    } else if (base == "OptionAc") {
        e.OptionAcClick(at);
    } else if (base == "CommandIfB") {
        e.CommandIfBClick(at);
    } else if (base == "CommandMa") {
        e.CommandMaClick(at);
    } else if (base == "CommandIf") {
        e.CommandIfClick(at);
    } else if (base == "CommandClose" || base == "MenuEnd") {
        if (e.CloseRequested()) CloseWindow();
    } else {
        static const std::pair<const char*, void (Editor::*)()> kCommands[] = {
            {"CommandMa0", &Editor::CommandMa0Click},
            {"CommandMa1", &Editor::CommandMa1Click},
            {"CommandMaRe", &Editor::CommandMaReClick},
            {"CommandMaRnd", &Editor::CommandMaRndClick},
            {"CommandNext", &Editor::CommandNextClick},
            {"CommandPrevious", &Editor::CommandPreviousClick},
            {"CommandDel", &Editor::CommandDelClick},
            {"CommandSe", &Editor::CommandSeClick},
            {"CommandRe", &Editor::CommandReClick},
            {"CommandSendData", &Editor::CommandSendDataClick},
            {"CommandRead", &Editor::CommandReadClick},
            {"MenuNew", &Editor::MenuNewClick},
            {"MenuOpen", &Editor::MenuOpenClick},
            {"MenuOverSave", &Editor::MenuOverSaveClick},
            {"MenuNewSave", &Editor::MenuNewSaveClick},
            {"MenuHelpUse", &Editor::MenuHelpUseClick},
        };
        for (const auto& [command, handler] : kCommands) {
            if (base == command) (e.*handler)();
        }
    }
    ShowMachine();
}

void WebApp::PlateText(const std::string& text) {
    editor_.TextPlateNumChange(text);
    ShowMachine();
}

void WebApp::GridKey(int grid, int index, int key, bool ctrl) {
    if (key < 0 || key > static_cast<int>(layout::GridKey::kEnd)) return;
    const Grid which = grid == 0 ? Grid::kPattern : Grid::kCondition;
    const int target =
        layout::CellAfterKey(layout::GridOf(which), index, static_cast<layout::GridKey>(key), ctrl);
    if (target < 0) return;
    val command = Command("focusCell");
    command.set("grid", grid);
    command.set("index", target);
    Page(command);
}

void WebApp::Escape() { editor_.StopTransfer(); }

bool WebApp::CloseRequested() { return editor_.CloseRequested(); }

void WebApp::OpenChosen(const std::string& name, const std::string& bytes) {
    handedOver_[name] = bytes;
    editor_.OpenFileChosen(name);
    handedOver_.erase(name);
    ShowMachine();
}

void WebApp::OpenCancelled() { editor_.OpenFileChosen(std::nullopt); }

void WebApp::SaveChosen(const std::string& name) { editor_.SaveFileChosen(name); }

void WebApp::SaveCancelled() { editor_.SaveFileChosen(std::nullopt); }

void WebApp::SaveFailed(const std::string& name) { editor_.SaveFailed(name); }

void WebApp::PortMenu(const std::string& item) {
    if (item == "sim") router_.UseMachine(true);
    if (item == "serial") router_.UseMachine(false);
    ShowPortMenu();
}

void WebApp::SetPortInfo(int vendorId, int productId) {
    PortInfo info;
    info.description = kSerialPortDescription;
    if (vendorId >= 0 && productId >= 0) {
        info.vendorId = static_cast<std::uint16_t>(vendorId);
        info.productId = static_cast<std::uint16_t>(productId);
    }
    portLabel_ = DescribePort(info);
}

void WebApp::PortGranted(int vendorId, int productId) {
    SetPortInfo(vendorId, productId);
    router_.UseMachine(false);
    ShowPortMenu();
}

void WebApp::PortForgotten() {
    portLabel_.reset();
    ShowPortMenu();
}

void WebApp::ShowPortMenu() {
    val items = val::array();
    // checked: a port to choose, with its check mark; none: a command.
    const auto add = [&](const char* id, std::string caption, std::optional<bool> checked,
                         bool enabled) {
        val item = val::object();
        item.set("name", std::string(id));
        item.set("caption", caption);
        if (checked) item.set("checked", *checked);
        item.set("enabled", enabled);
        items.call<void>("push", item);
    };
    const bool serial = serialUnavailable_.empty();
    add("sim", kSimulatorItem, router_.UsesMachine(), true);
    add("serial",
        portLabel_ ? std::string(kSerialItem) + "（" + *portLabel_ + "）"
                   : std::string(kSerialItem),
        !router_.UsesMachine(), true);
    add("", "", std::nullopt, false);
    add("choose", kChoosePortItem, std::nullopt, serial);
    add("forget", kForgetPortItem, std::nullopt, serial && portLabel_.has_value());
    val command = Command("portMenu");
    command.set("items", items);
    Page(command);
}

// ---- The worker's loop -----------------------------------------------------------------------

void WebApp::Resume() {
    editor_.ResumeTransfer();
    ShowMachine();
}

void WebApp::StatusTick() { editor_.TimerMesTimer(); }

void WebApp::MachineTick() {
    machine_.Expire(NowMs());
    machine_.Step(machineRandom_);
    ShowMachine();
}

// The machine's cells, what it holds and what it did last, when any of it changed.
void WebApp::ShowMachine() {
    for (const machine::Event& event : machine_.TakeEvents()) {
        machineEvent_ = MachineEventText(event);
        machineDrawn_ = false;
    }
    const Document& held = machine_.Held();
    if (machineDrawn_ && held.MaData == machineShown_.MaData &&
        held.GameMode == machineShown_.GameMode && held.PlateCount == machineShown_.PlateCount) {
        return;
    }
    machineShown_ = held;
    machineDrawn_ = true;
    val command = Command("machine");
    std::string cells;
    for (const std::int16_t cell : held.MaData) cells += cell == kOn ? '1' : '0';
    command.set("cells", cells);
    command.set("holds", MachineHolds(held));
    command.set("event", machineEvent_.empty() ? std::string(kMachineIdle) : machineEvent_);
    Page(command);
}

// ---- The serial port -------------------------------------------------------------------------

void WebApp::SerialOpened(int vendorId, int productId) {
    SetPortInfo(vendorId, productId);
    ShowPortMenu();
    serial_.Opened();
}

void WebApp::SerialNotChosen() { serial_.NotChosen(); }

void WebApp::SerialOpenFailed(const std::string& errorName, const std::string& errorMessage) {
    serial_.OpenFailed(errorName, errorMessage);
}

void WebApp::SerialData(const std::string& bytes) { serial_.Received(bytes); }

void WebApp::SerialReadFailed(const std::string& errorName) { serial_.ReadFailed(errorName); }

void WebApp::SerialLost() { serial_.Lost(); }

// ---- EditorView ----------------------------------------------------------------------------

void WebApp::ShowCell(Grid grid, int index, const CellLook& look) {
    val command = Command("cell");
    command.set("grid", static_cast<int>(grid));
    command.set("index", index);
    command.set("caption", Text(look.caption));
    command.set("face", Colour(look.face));
    command.set("name", layout::CellName(layout::GridOf(grid), index, look.caption));
    Page(command);
}

void WebApp::ShowPlateLabel(const std::string& text, int now, int count, bool announce) {
    val command = Command("plateLabel");
    command.set("text", text);
    command.set("announce", announce);
    command.set("name", layout::PlateLabelName(now, count));
    command.set("description", layout::PlateNumberDescription(count));
    Page(command);
}

void WebApp::ShowPlateNumber(const std::string& text) {
    val command = Command("plateNumber");
    command.set("text", text);
    Page(command);
}

void WebApp::SelectMode(int index) {
    val command = Command("select");
    command.set("name", "OptionMode(" + std::to_string(index) + ")");
    Page(command);
}

void WebApp::SelectMethod(int index) {
    val command = Command("select");
    command.set("name", "OptionAc(" + std::to_string(index) + ")");
    Page(command);
}

void WebApp::Enable(Control control, bool enabled) {
    val names = val::array();
    const auto add = [&](const std::string& name) { names.call<void>("push", name); };
    switch (control) {
        case Control::kUndo:
            add("CommandRe");
            break;
        case Control::kSendData:
            add("CommandSendData");
            break;
        case Control::kRead:
            add("CommandRead");
            break;
        case Control::kConditionCells:
            add("CommandIf");
            break;
        case Control::kConditionAll:
            for (int k = 0; k < 4; ++k) add("CommandIfB(" + std::to_string(k) + ")");
            break;
        case Control::kMethods:
            for (int m = 0; m < 4; ++m) add("OptionAc(" + std::to_string(m) + ")");
            break;
        case Control::kStopKey:
            add("StopKey");
            break;
        case Control::kNew:
            add("MenuNew");
            break;
        case Control::kOpen:
            add("MenuOpen");
            break;
    }
    val command = Command("enable");
    command.set("names", names);
    command.set("enabled", enabled);
    Page(command);
}

void WebApp::ShowStatus(const std::string& text, bool announce) {
    val command = Command("status");
    command.set("text", text);
    command.set("announce", announce);
    Page(command);
}

void WebApp::RunStatusTimer(bool run) { sink_.call<void>("statusTimer", run); }

void WebApp::ShowBox(const Box& box) {
    val command = Command("box");
    command.set("text", box.text);
    command.set("title", box.title);
    command.set("exclamation", box.icon == Box::Icon::kExclamation);
    command.set("details", box.details);
    Page(command);
}

void WebApp::ShowTitle(const std::string& title) {
    val command = Command("title");
    command.set("text", title);
    Page(command);
}

// The browser's port menu names its ports itself (ShowPortMenu).
void WebApp::CheckPort(int) {}

namespace {
val FileDialog(const char* cmd, const FileRequest& request) {
    val command = Command(cmd);
    command.set("title", request.title);
    val filters = val::array();
    for (const FileFilter& filter : request.filters) {
        val entry = val::object();
        entry.set("caption", filter.caption);
        val patterns = val::array();
        for (const std::string& pattern : filter.patterns) patterns.call<void>("push", pattern);
        entry.set("patterns", patterns);
        filters.call<void>("push", entry);
    }
    command.set("filters", filters);
    command.set("initial", request.initialPath);
    return command;
}
}  // namespace

void WebApp::ChooseOpenFile(const FileRequest& request) { Page(FileDialog("chooseOpen", request)); }

void WebApp::ChooseSaveFile(const FileRequest& request) { Page(FileDialog("chooseSave", request)); }

bool WebApp::OpenHelp() {
    Page(Command("help"));
    return true;
}

void WebApp::ScheduleTransfer(const TransferWait& wait) {
    sink_.call<void>("wait", static_cast<int>(wait.kind), wait.milliseconds);
}

void WebApp::CloseWindow() {
    router_.Close();
    Page(Command("exit"));
}

LoadStatus WebApp::Load(const std::string& path, Document& doc) {
    const auto it = handedOver_.find(path);
    if (it == handedOver_.end()) return LoadStatus::CannotOpen;
    if (it->second.size() > kMaxDataFileSize) return LoadStatus::TooLarge;
    return ReadDataFile(it->second, doc);
}

bool WebApp::Save(const std::string& path, const Document& doc) {
    val command = Command("write");
    command.set("name", path);
    command.set("text", FormatDataFile(doc));
    Page(command);
    return true;
}

}  // namespace kelvara::web

EMSCRIPTEN_BINDINGS(kelvara_web) {
    using kelvara::web::WebApp;
    emscripten::class_<WebApp>("WebApp")
        .constructor<emscripten::val, const std::string&>()
        .class_function("layout", &WebApp::Layout)
        .function("start", &WebApp::Start)
        .function("click", &WebApp::Click)
        .function("plateText", &WebApp::PlateText)
        .function("gridKey", &WebApp::GridKey)
        .function("escape", &WebApp::Escape)
        .function("closeRequested", &WebApp::CloseRequested)
        .function("openChosen", &WebApp::OpenChosen)
        .function("openCancelled", &WebApp::OpenCancelled)
        .function("saveChosen", &WebApp::SaveChosen)
        .function("saveCancelled", &WebApp::SaveCancelled)
        .function("saveFailed", &WebApp::SaveFailed)
        .function("portMenu", &WebApp::PortMenu)
        .function("portGranted", &WebApp::PortGranted)
        .function("portForgotten", &WebApp::PortForgotten)
        .function("resume", &WebApp::Resume)
        .function("statusTick", &WebApp::StatusTick)
        .function("machineTick", &WebApp::MachineTick)
        .function("serialOpened", &WebApp::SerialOpened)
        .function("serialNotChosen", &WebApp::SerialNotChosen)
        .function("serialOpenFailed", &WebApp::SerialOpenFailed)
        .function("serialData", &WebApp::SerialData)
        .function("serialReadFailed", &WebApp::SerialReadFailed)
        .function("serialLost", &WebApp::SerialLost);
}
