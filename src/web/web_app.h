#pragma once

#include <emscripten/val.h>

#include <map>
#include <optional>
#include <string>

#include "editor/editor.h"
#include "machine/machine_protocol.h"
#include "simulation/random.h"
#include "web/web_lines.h"

namespace kelvara::web {

// The editor in a browser: the core's Editor, its view, its data files and its two lines (the
// browser's serial port, the machine simulated in the page). Every event of the page comes in
// through a method here; everything the page is to draw, and everything its loop is to wait
// for, goes out through sink:
//   sink.page(command)      a command for the page (draw, box, dialog, serial port)
//   sink.wait(kind, ms)     the transfer waits (TransferWait::Kind as a number); resume after
//   sink.input()            a line has input (or its opening has ended): a wait for input ends
//   sink.statusTimer(run)   the one-second status timer runs or stops
class WebApp final : private EditorView, private DataFiles {
  public:
    // serial: how the page reaches a serial port: "" it can, "unsupported" the browser has no
    // Web Serial, "insecure" the page is no secure context.
    WebApp(emscripten::val sink, const std::string& serial);
    ~WebApp() override;

    // The window's controls, menus, grids, keys and the page's own texts, for the page to build.
    static emscripten::val Layout();
    void Start();

    // ---- The user's events, by the layout's names ----
    // A click on a control or a menu item: "CommandSe", "OptionAc(2)", "CommandMa" with the
    // cell's index, "MenuOpen".
    void Click(const std::string& name, int index);
    void PlateText(const std::string& text);
    void GridKey(int grid, int index, int key, bool ctrl);  // layout::GridKey as a number
    void Escape();
    bool CloseRequested();
    void OpenChosen(const std::string& name, const std::string& bytes);
    void OpenCancelled();
    void SaveChosen(const std::string& name);
    void SaveCancelled();
    void SaveFailed(const std::string& name);
    void PortMenu(const std::string& item);         // "sim", "serial"
    void PortGranted(int vendorId, int productId);  // -1 when not a USB device
    void PortForgotten();

    // ---- The worker's loop ----
    void Resume();
    void StatusTick();
    void MachineTick();

    // ---- The page's reports of the serial port ----
    void SerialOpened(int vendorId, int productId);
    void SerialNotChosen();
    void SerialOpenFailed(const std::string& errorName, const std::string& errorMessage);
    void SerialData(const std::string& bytes);
    void SerialReadFailed(const std::string& errorName);
    void SerialLost();

  private:
    // EditorView
    void ShowCell(Grid grid, int index, const CellLook& look) override;
    void ShowPlateLabel(const std::string& text, int now, int count, bool announce) override;
    void ShowPlateNumber(const std::string& text) override;
    void SelectMode(int index) override;
    void SelectMethod(int index) override;
    void Enable(Control control, bool enabled) override;
    void ShowStatus(const std::string& text, bool announce) override;
    void RunStatusTimer(bool run) override;
    void ShowBox(const Box& box) override;
    void ShowTitle(const std::string& title) override;
    void CheckPort(int index) override;
    void ChooseOpenFile(const FileRequest& request) override;
    void ChooseSaveFile(const FileRequest& request) override;
    bool OpenHelp() override;
    void ScheduleTransfer(const TransferWait& wait) override;
    void CloseWindow() override;
    // DataFiles: what the page handed over; a save is handed to the page, which writes it.
    LoadStatus Load(const std::string& path, Document& doc) override;
    bool Save(const std::string& path, const Document& doc) override;

    void Page(emscripten::val command);
    void ShowPortMenu();
    void ShowMachine();
    void SetPortInfo(int vendorId, int productId);

    emscripten::val sink_;
    std::string serialUnavailable_;
    machine::MachineProtocol machine_;
    ClockRandom machineRandom_;
    WebSerialLine serial_;
    MachineLine machineLine_;
    PortRouter router_;
    Editor editor_;
    std::map<std::string, std::string> handedOver_;  // files the page opened, by name
    std::optional<std::string> portLabel_;           // the serial port the browser gave
    std::string machineEvent_;
    Document machineShown_;
    bool machineDrawn_ = false;
};

}  // namespace kelvara::web
