#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>

#include "app/dialogs.h"
#include "app/status_label.h"
#include "device/qt_ports.h"
#include "device/transfer_pump.h"
#include "editor/editor.h"

class QAction;
class QMenu;
class QShortcut;

namespace kelvara {

class CellGrid;
class PortMenuTips;

// The editor's one window: the Qt face of the editor. It builds the controls, lays them out and
// colours them, forwards every user event to the Editor, which decides what each one does, and
// draws what the Editor tells it (EditorView). Controls keep the names the machine's
// documentation uses, so they are public for the tests that click them.
class FormMain : public QMainWindow, private EditorView {
    Q_OBJECT

  public:
    // line may be null for a window that never talks to a device (tests); random may be null
    // for the clock-seeded generator. When line is a system serial line, its input wakes the
    // transfer and its line events are shown.
    FormMain(Dialogs& dialogs, SerialLine* line = nullptr,
             std::unique_ptr<RandomSource> random = nullptr, QWidget* parent = nullptr);
    ~FormMain() override;

    Editor& editor() { return editor_; }
    Document& document() { return editor_.document(); }

    // Where the port menu's tooltips find the ports present (tests give a list of their own).
    void setPortLister(PortLister ports);
    // The control the layout names so ("CommandSe", "OptionAc(2)"); null for none.
    QWidget* ControlNamed(std::string_view name) const;
    // The two option groups: the mode, the change method.
    std::vector<QButtonGroup*> OptionGroups() const { return {modeGroup_, methodGroup_}; }

    // Controls on the window.
    std::array<QRadioButton*, 2> OptionMode{};
    QLabel* Image1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QWidget* FrameDataControl = nullptr;
    std::array<QGroupBox*, 2> Frame1{};
    QPushButton* CommandSe = nullptr;
    QPushButton* CommandRe = nullptr;
    QPushButton* CommandSendData = nullptr;
    QPushButton* CommandRead = nullptr;
    StatusLabel* LabelMes = nullptr;
    QPushButton* CommandClose = nullptr;
    QTimer* TimerMes = nullptr;
    // In the pattern frame: the cells, one keyboard grid.
    CellGrid* GridMa = nullptr;
    std::array<QPushButton*, kCells> CommandMa{};
    QPushButton* CommandMaRnd = nullptr;
    QPushButton* CommandMa0 = nullptr;
    QPushButton* CommandMa1 = nullptr;
    QPushButton* CommandMaRe = nullptr;
    // Plate navigation.
    QPushButton* CommandPrevious = nullptr;
    QLineEdit* TextPlateNum = nullptr;
    QPushButton* CommandNext = nullptr;
    QLabel* LabelPlate = nullptr;
    QPushButton* CommandDel = nullptr;
    // The condition of the current plate (its cells one keyboard grid) and its change method.
    CellGrid* GridIf = nullptr;
    std::array<QPushButton*, kConditionCells> CommandIf{};
    std::array<QPushButton*, 4> CommandIfB{};
    std::array<QRadioButton*, 4> OptionAc{};
    // Menus.
    QMenu* MenuFile = nullptr;
    QAction* MenuNew = nullptr;
    QAction* MenuOpen = nullptr;
    QAction* MenuOverSave = nullptr;
    QAction* MenuNewSave = nullptr;
    QAction* MenuEnd = nullptr;
    QMenu* MenuComPort = nullptr;
    std::array<QAction*, 9> menucom{};
    QMenu* MenuHelp = nullptr;
    QAction* MenuHelpUse = nullptr;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildControls();
    void BuildMenus();
    void Connect();
    void EnableKeepingFocus(QPushButton* button, bool enabled);

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

    Dialogs& dialogs_;
    DiskDataFiles files_;
    Editor editor_;
    TransferPump pump_;
    QHash<QString, QWidget*> controls_;  // by the layout's names
    QButtonGroup* modeGroup_ = nullptr;
    QButtonGroup* methodGroup_ = nullptr;
    PortMenuTips* portTips_ = nullptr;
    QShortcut* stopKey_ = nullptr;
    QPointer<QPushButton> focusBeforeTransfer_;
};

}  // namespace kelvara
