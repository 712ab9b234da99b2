#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>

#include "app/dialogs.h"
#include "app/status_label.h"
#include "device/qt_ports.h"
#include "device/status_timer.h"
#include "device/transfer.h"
#include "document/document.h"
#include "simulation/random.h"

class QAction;
class QMenu;

namespace kelvara {

struct SimulationWork;
class CellGrid;
class PortMenuTips;
class TransferStopKey;

// The editor's one window. It owns the document and has one slot per user event; each
// slot calls the core and redraws what changed. Controls keep the names the machine's
// documentation uses, so they are public for the tests that click them.
class FormMain : public QMainWindow, public TransferHost {
    Q_OBJECT

  public:
    // line may be null for a window that never talks to a device (tests); random may be
    // null for the clock-seeded generator.
    FormMain(Dialogs& dialogs, SerialLine* line = nullptr,
             std::unique_ptr<RandomSource> random = nullptr, QWidget* parent = nullptr);
    ~FormMain() override;

    Document& document() { return doc_; }
    const StatusTimer& statusTimer() const { return status_; }

    // Redraws: 0 the pattern buttons, 1 the condition buttons of the current plate.
    void RefreshData(std::int16_t what);
    // Redraws everything that depends on the document.
    void SetAll();

    // Shows a message on the status line and arms the status timer.
    void ShowMessage(const QString& text);
    // True while a transfer talks to the device.
    bool transferBusy() const { return transferBusy_; }
    // The pacing of transfers; tests shorten the time-out.
    void setTransferTiming(const TransferTiming& timing) { timing_ = timing; }
    // Where the port menu's tooltips find the ports present (tests give a list of their own).
    void setPortLister(PortLister ports);
    // The file dialogs' type list: data files, and every file.
    static Dialogs::FileFilters FileFilters();

    // TransferHost
    void ProcessEvents() override;
    void Sleep(int milliseconds) override;
    void SetStatus(const std::string& text) override;
    void ArmStatusTimer() override;
    void ShowPortOpenError() override;
    void ShowTransferError(const std::string& text) override;
    bool Closing() const override { return closing_; }
    bool StopRequested() const override;

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

    // Event handlers: one per user event, public so tests can drive the events they cannot
    // click (the timer's tick, a line event).
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
    void TextPlateNumChange(const QString& text);
    void CommandSeClick();
    void CommandReClick();
    void CommandSendDataClick();
    void CommandReadClick();
    void TimerMesTimer();
    void MenuNewClick();
    void MenuOpenClick();
    void MenuOverSaveClick();
    void MenuNewSaveClick();
    void menucomClick(int index);
    void MenuHelpUseClick();
    void LineEvent(int code);

    // File commands.
    void RenameSave();
    void FileOpen();
    void OverSave();
    void SetFileTitle();

    // Runs one transfer with the transfer buttons disabled.
    void ComMain(std::int16_t mode);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildControls();
    void BuildMenus();
    void Load();
    void ShowError(const QString& text);
    void PatternEdited();
    // Selects option id of group from code and, when the selection changes, runs its handler
    // as a click would.
    void Select(QButtonGroup* group, int id, void (FormMain::*handler)(int));

    Dialogs& dialogs_;
    SerialLine* line_;
    std::unique_ptr<RandomSource> random_;
    std::unique_ptr<SimulationWork> work_;
    Document doc_;
    StatusTimer status_;
    QButtonGroup* modeGroup_ = nullptr;
    QButtonGroup* methodGroup_ = nullptr;
    PortMenuTips* portTips_ = nullptr;
    TransferStopKey* stopKey_ = nullptr;
    QString lastPath_;  // offered again by the next file dialog
    TransferTiming timing_;
    bool transferBusy_ = false;
    bool closing_ = false;
};

}  // namespace kelvara
