#include "app/formmain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QThread>

#include "app/appearance.h"
#include "app/artwork.h"
#include "app/cell_grid.h"
#include "app/examples_folder.h"
#include "app/port_menu.h"
#include "app/status_label.h"
#include "app/transfer_stop.h"
#include "app/window_access.h"
#include "app/window_keys.h"
#include "device/line_events.h"
#include "document/editing.h"
#include "files/datafile.h"
#include "simulation/random.h"
#include "simulation/simulation.h"

namespace kelvara {

namespace {

// The client area: a fixed picture on the active-title-bar colour.
class Background final : public QWidget {
  public:
    explicit Background(QWidget* parent) : QWidget(parent), picture_(BackgroundPicture()) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), kActiveCaption);
        painter.drawPixmap(0, 0, picture_);
    }

  private:
    QPixmap picture_;
};

void SetBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void SetFace(QPushButton* button, const QColor& colour) {
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, colour);
    button->setPalette(palette);
}

// A frame as the window draws them: dark face, caption in the highlighted-text colour.
QGroupBox* MakeFrame(QWidget* parent, const QString& caption, const QString& tip,
                     const QRect& geometry) {
    auto* frame = new QGroupBox(caption, parent);
    frame->setGeometry(geometry);
    frame->setToolTip(tip);
    SetBackground(frame, kFrameGrey);
    QPalette palette = frame->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::HighlightedText));
    frame->setPalette(palette);
    return frame;
}

QPushButton* MakeButton(QWidget* parent, const QString& caption, const QRect& geometry) {
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(geometry);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

QRadioButton* MakeOption(QWidget* parent, const QString& caption, const QRect& geometry,
                         const QColor& face) {
    auto* option = new QRadioButton(caption, parent);
    option->setGeometry(geometry);
    option->setBackgroundRole(QPalette::Window);
    SetBackground(option, face);
    // Black captions, greyed like every other control's when disabled.
    QPalette palette = option->palette();
    const QColor disabled = palette.color(QPalette::Disabled, QPalette::ButtonText);
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, disabled);
    option->setPalette(palette);
    return option;
}

// Shows one cell value on its button; a value outside the table leaves the button as it was.
void ShowCell(QPushButton* button, std::int16_t value, bool condition) {
    switch (value) {
        case kOff:
            button->setText(QStringLiteral("0"));
            SetFace(button, kCellOff);
            break;
        case kOn:
            button->setText(QStringLiteral("1"));
            SetFace(button, kCellOn);
            break;
        case kAny:
            if (!condition) break;
            button->setText(QStringLiteral("*"));
            SetFace(button, kCellAny);
            break;
        default:
            break;
    }
}

}  // namespace

FormMain::FormMain(Dialogs& dialogs, SerialLine* line, std::unique_ptr<RandomSource> random,
                   QWidget* parent)
    : QMainWindow(parent),
      dialogs_(dialogs),
      line_(line),
      random_(random ? std::move(random) : std::make_unique<ClockRandom>()),
      work_(std::make_unique<SimulationWork>()) {
    setWindowTitle(QStringLiteral("KelvaraEditor"));
    InstallAccessibility();
    BuildControls();
    BuildMenus();
    NameControls(*this);
    InstallWindowKeys(*this);
    Load();
}

FormMain::~FormMain() = default;

void FormMain::BuildControls() {
    auto* client = new Background(this);
    client->setFixedSize(545, 458);
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    OptionMode[0] = MakeOption(client, QStringLiteral("通常モード"), {24, 16, 89, 17}, kNormalMode);
    OptionMode[1] =
        MakeOption(client, QStringLiteral("ライフゲームモード"), {128, 16, 129, 17}, kLifeMode);
    OptionMode[0]->setChecked(true);
    modeGroup_ = new QButtonGroup(this);
    for (int i = 0; i < 2; ++i) modeGroup_->addButton(OptionMode[i], i);

    Image1 = new QLabel(client);
    Image1->setGeometry(424, 0, 120, 40);
    Image1->setPixmap(LogoPicture());

    // The pattern.
    Frame2 = MakeFrame(client, QStringLiteral("本体"),
                       QStringLiteral("初期パターンを作ってください"), {16, 56, 289, 329});
    GridMa = new CellGrid(Frame2, {QStringLiteral("本体"), 8, 8, {16, 24}, GridEdges::Wrap});
    for (int i = 0; i < kCells; ++i) {
        CommandMa[i] = GridMa->cell(i);
        CommandMa[i]->setFont(Gothic(18, true));
    }
    CommandMaRnd = MakeButton(Frame2, QStringLiteral("ランダム"), {16, 288, 57, 33});
    CommandMa0 = MakeButton(Frame2, QStringLiteral("すべてOFF(0)"), {72, 288, 81, 33});
    CommandMa1 = MakeButton(Frame2, QStringLiteral("すべてON(1)"), {152, 288, 73, 33});
    CommandMaRe = MakeButton(Frame2, QStringLiteral("反転"), {224, 288, 57, 33});

    // Plate navigation.
    FrameDataControl = new QWidget(client);
    FrameDataControl->setGeometry(312, 56, 217, 25);
    SetBackground(FrameDataControl, kActiveCaption);
    CommandPrevious = MakeButton(FrameDataControl, QStringLiteral("←"), {0, 0, 33, 25});
    CommandPrevious->setFont(Gothic(14.25, true));
    TextPlateNum = new QLineEdit(QStringLiteral("1"), FrameDataControl);
    TextPlateNum->setGeometry(32, 0, 49, 25);
    TextPlateNum->setFont(Gothic(14.25));
    TextPlateNum->setToolTip(QStringLiteral("現在のプレート"));
    CommandNext = MakeButton(FrameDataControl, QStringLiteral("→"), {80, 0, 33, 25});
    CommandNext->setFont(Gothic(14.25, true));
    LabelPlate = new QLabel(QStringLiteral("1/50"), FrameDataControl);
    LabelPlate->setGeometry(112, 0, 57, 25);
    LabelPlate->setFont(Gothic(14.25, true));
    LabelPlate->setToolTip(QStringLiteral("条件プレート数"));
    SetBackground(LabelPlate, kPlateLabel);
    CommandDel = MakeButton(FrameDataControl, QStringLiteral("削除"), {168, 0, 49, 25});
    CommandDel->setToolTip(QStringLiteral("現在の条件を削除します。"));

    // The condition of the current plate.
    Frame1[0] = MakeFrame(client, QStringLiteral("条件"), QStringLiteral("条件を作ってください。"),
                          {312, 80, 217, 161});
    // The centre of the neighbourhood (position 4) is the cell itself.
    GridIf = new CellGrid(Frame1[0], {QStringLiteral("条件"), 3, 3, {16, 40}, GridEdges::Stop, 4});
    for (int c = 0; c < kConditionCells; ++c) {
        CommandIf[c] = GridIf->cell(c);
        CommandIf[c]->setFont(Gothic(18, true));
    }
    const QString allCaptions[4] = {QStringLiteral("ランダム"), QStringLiteral("すべてOFF(0)"),
                                    QStringLiteral("すべてON(１)"),
                                    QStringLiteral("すべて任意(＊)")};
    for (int k = 0; k < 4; ++k) {
        CommandIfB[k] = MakeButton(Frame1[0], allCaptions[k], {120, 24 + 32 * k, 89, 25});
    }

    // The change method.
    Frame1[1] = MakeFrame(client, QStringLiteral("変化"),
                          QStringLiteral("変化させる方法を選んでください"), {312, 248, 113, 113});
    const QColor face = palette().color(QPalette::Button);
    OptionAc[1] = MakeOption(Frame1[1], QStringLiteral("ON(1)"), {16, 16, 73, 17}, face);
    OptionAc[0] = MakeOption(Frame1[1], QStringLiteral("OFF(0)"), {16, 40, 73, 17}, face);
    OptionAc[2] = MakeOption(Frame1[1], QStringLiteral("反転"), {16, 64, 73, 17}, face);
    OptionAc[3] = MakeOption(Frame1[1], QStringLiteral("ランダム"), {16, 88, 73, 17}, face);
    OptionAc[1]->setChecked(true);
    methodGroup_ = new QButtonGroup(this);
    for (int m = 0; m < 4; ++m) methodGroup_->addButton(OptionAc[m], m);

    // Trial run, transfers, status line and exit.
    CommandSe = MakeButton(client, QStringLiteral("試しに動かす"), {432, 264, 97, 41});
    CommandSe->setToolTip(QStringLiteral("ソフト上でシュミレーションします。"));
    CommandSe->setFont(Gothic(9, true));
    SetFace(CommandSe, kCommandGrey);
    CommandRe = MakeButton(client, QStringLiteral("元に戻す"), {432, 312, 97, 33});
    CommandRe->setToolTip(QStringLiteral("試しに動かしたものを元に戻します。"));
    CommandRe->setEnabled(false);
    SetFace(CommandRe, kCommandGrey);
    CommandSendData = MakeButton(client, QStringLiteral("データ転送"), {320, 368, 97, 33});
    CommandSendData->setToolTip(QStringLiteral("Kelvaraにデータを転送します。"));
    CommandSendData->setFont(Gothic(9, true));
    CommandRead = MakeButton(client, QStringLiteral("データ読み込み"), {432, 368, 97, 33});
    CommandRead->setToolTip(QStringLiteral("Kelvaraからデータを取り込みます。"));
    CommandRead->setFont(Gothic(9, true));
    LabelMes = new StatusLabel(client);
    LabelMes->setGeometry(16, 408, 369, 41);
    LabelMes->setFont(Gothic(15.75));
    LabelMes->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelMes->setWordWrap(true);
    SetBackground(LabelMes, Qt::black);
    {
        QPalette palette = LabelMes->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::HighlightedText));
        LabelMes->setPalette(palette);
    }
    CommandClose = MakeButton(client, QStringLiteral("終了"), {416, 416, 113, 33});
    CommandClose->setFont(Gothic(15.75, true));
    SetFace(CommandClose, kCommandGrey);

    TimerMes = new QTimer(this);
    TimerMes->setInterval(1000);

    // One slot per event. A click runs the option's handler also when the option was already
    // selected; a selection from code runs it through Select.
    connect(modeGroup_, &QButtonGroup::idClicked, this, &FormMain::OptionModeClick);
    connect(methodGroup_, &QButtonGroup::idClicked, this, &FormMain::OptionAcClick);
    stopKey_ = new TransferStopKey(this);
    for (int i = 0; i < kCells; ++i) {
        connect(CommandMa[i], &QPushButton::clicked, this, [this, i] { CommandMaClick(i); });
    }
    for (int c = 0; c < kConditionCells; ++c) {
        connect(CommandIf[c], &QPushButton::clicked, this, [this, c] { CommandIfClick(c); });
    }
    for (int k = 0; k < 4; ++k) {
        connect(CommandIfB[k], &QPushButton::clicked, this, [this, k] { CommandIfBClick(k); });
    }
    connect(CommandMa0, &QPushButton::clicked, this, &FormMain::CommandMa0Click);
    connect(CommandMa1, &QPushButton::clicked, this, &FormMain::CommandMa1Click);
    connect(CommandMaRe, &QPushButton::clicked, this, &FormMain::CommandMaReClick);
    connect(CommandMaRnd, &QPushButton::clicked, this, &FormMain::CommandMaRndClick);
    connect(CommandNext, &QPushButton::clicked, this, &FormMain::CommandNextClick);
    connect(CommandPrevious, &QPushButton::clicked, this, &FormMain::CommandPreviousClick);
    connect(CommandDel, &QPushButton::clicked, this, &FormMain::CommandDelClick);
    connect(TextPlateNum, &QLineEdit::textChanged, this, &FormMain::TextPlateNumChange);
    connect(CommandSe, &QPushButton::clicked, this, &FormMain::CommandSeClick);
    connect(CommandRe, &QPushButton::clicked, this, &FormMain::CommandReClick);
    connect(CommandSendData, &QPushButton::clicked, this, &FormMain::CommandSendDataClick);
    connect(CommandRead, &QPushButton::clicked, this, &FormMain::CommandReadClick);
    connect(CommandClose, &QPushButton::clicked, this, &QWidget::close);
    connect(TimerMes, &QTimer::timeout, this, &FormMain::TimerMesTimer);
}

void FormMain::BuildMenus() {
    MenuFile = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    MenuNew = MenuFile->addAction(QStringLiteral("新規作成"));
    MenuOpen = MenuFile->addAction(QStringLiteral("開く(&O)"));
    MenuFile->addSeparator();
    MenuOverSave = MenuFile->addAction(QStringLiteral("上書き保存(&S)"));
    MenuNewSave = MenuFile->addAction(QStringLiteral("名前を付けて保存(&N)"));
    MenuFile->addSeparator();
    MenuEnd = MenuFile->addAction(QStringLiteral("終了(&X)"));

    MenuComPort = menuBar()->addMenu(QStringLiteral("ポートの設定(&P)"));
    for (int i = 0; i < 9; ++i) {
        menucom[i] = MenuComPort->addAction(QStringLiteral("COM%1").arg(i + 1));
        menucom[i]->setCheckable(true);
        connect(menucom[i], &QAction::triggered, this, [this, i] { menucomClick(i); });
    }
    menucom[0]->setChecked(true);
    portTips_ = new PortMenuTips(MenuComPort, menucom, SystemPorts);

    MenuHelp = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    MenuHelpUse = MenuHelp->addAction(QStringLiteral("使い方"));

    connect(MenuNew, &QAction::triggered, this, &FormMain::MenuNewClick);
    connect(MenuOpen, &QAction::triggered, this, &FormMain::MenuOpenClick);
    connect(MenuOverSave, &QAction::triggered, this, &FormMain::MenuOverSaveClick);
    connect(MenuNewSave, &QAction::triggered, this, &FormMain::MenuNewSaveClick);
    connect(MenuEnd, &QAction::triggered, this, &QWidget::close);
    connect(MenuHelpUse, &QAction::triggered, this, &FormMain::MenuHelpUseClick);
}

void FormMain::Load() {
    InitDocument(doc_);
    LabelMes->setText(QStringLiteral("KelvaraEditor"));
    status_.MesCount = 0;
    status_.MesLimit = 3;
    status_.enabled = true;
    TimerMes->start();
    SetAll();
    if (line_ != nullptr) line_->SelectPort(doc_.ComPort);
}

// ---- Display -------------------------------------------------------------------------------

void FormMain::RefreshData(std::int16_t what) {
    if (what == 0) {
        for (int i = 0; i < kCells; ++i) ShowCell(CommandMa[i], doc_.MaData[i], false);
    } else if (what == 1) {
        if (doc_.NowPlate < 0 || doc_.NowPlate > kMaxPlates) return;
        const Condition& condition = doc_.IfData[doc_.NowPlate];
        for (int c = 0; c < kConditionCells; ++c) ShowCell(CommandIf[c], condition[c], true);
    }
}

void FormMain::Select(QButtonGroup* group, int id, void (FormMain::*handler)(int)) {
    if (group->checkedId() == id) return;
    group->button(id)->setChecked(true);
    (this->*handler)(id);
}

void FormMain::SetAll() {
    if (doc_.GameMode == 0 || doc_.GameMode == 1) {
        Select(modeGroup_, doc_.GameMode, &FormMain::OptionModeClick);
    }
    LabelPlate->setText(QStringLiteral("%1/%2").arg(doc_.NowPlate).arg(doc_.PlateCount));
    TextPlateNum->setText(QString::number(doc_.NowPlate));
    DescribePlates(*this, doc_.NowPlate, doc_.PlateCount);
    RefreshData(0);
    RefreshData(1);
    if (doc_.NowPlate >= 0 && doc_.NowPlate <= kMaxPlates) {
        const std::int16_t method = doc_.AcData[doc_.NowPlate];
        if (method >= 0 && method <= 3) Select(methodGroup_, method, &FormMain::OptionAcClick);
    }
}

void FormMain::ShowMessage(const QString& text) {
    LabelMes->setText(text);
    AnnounceStatus(LabelMes);
    ArmStatusTimer();
}

// ---- Handlers ------------------------------------------------------------------------------

void FormMain::OptionModeClick(int index) {
    if (index != 0 && index != 1) return;
    const bool normal = index == 0;
    for (QPushButton* button : CommandIf) button->setEnabled(normal);
    for (QPushButton* button : CommandIfB) button->setEnabled(normal);
    for (QRadioButton* option : OptionAc) option->setEnabled(normal);
    doc_.GameMode = static_cast<std::int16_t>(index);
}

void FormMain::OptionAcClick(int index) { SetMethod(doc_, static_cast<std::int16_t>(index)); }

void FormMain::CommandIfClick(int c) {
    CycleCondition(doc_, c);
    RefreshData(1);
}

void FormMain::CommandIfBClick(int index) {
    if (index == 0) {
        const int redraw = RandomData(doc_, *random_, 1);
        if (redraw >= 0) RefreshData(static_cast<std::int16_t>(redraw));
    } else if (AllData(doc_, static_cast<std::int16_t>(index - 1))) {
        RefreshData(1);
    }
}

// Every pattern edit ends here: the pattern is redrawn and the undo copy can no longer be
// brought back by hand.
void FormMain::PatternEdited() {
    RefreshData(0);
    CommandRe->setEnabled(false);
}

void FormMain::CommandMaClick(int i) {
    TogglePattern(doc_, i);
    PatternEdited();
}

void FormMain::CommandMa0Click() {
    FillPattern(doc_, kOff);
    PatternEdited();
}

void FormMain::CommandMa1Click() {
    FillPattern(doc_, kOn);
    PatternEdited();
}

void FormMain::CommandMaReClick() {
    InvertPattern(doc_);
    PatternEdited();
}

void FormMain::CommandMaRndClick() {
    const int redraw = RandomData(doc_, *random_, 0);
    if (redraw >= 0) RefreshData(static_cast<std::int16_t>(redraw));
    CommandRe->setEnabled(false);
}

void FormMain::CommandNextClick() {
    NextPlate(doc_);
    SetAll();
}

void FormMain::CommandPreviousClick() {
    PreviousPlate(doc_);
    SetAll();
}

void FormMain::CommandDelClick() {
    if (!DeletePlate(doc_)) {
        ShowError(QStringLiteral("これ以上プレートを削除できません"));
        return;
    }
    SetAll();
}

void FormMain::TextPlateNumChange(const QString& text) {
    switch (PlateNumberChanged(doc_, text.toStdString())) {
        case PlateNumberAction::Nothing:
            break;
        case PlateNumberAction::NotMade:
            ShowError(QStringLiteral("現在そのプレートは作られてません"));
            break;
        case PlateNumberAction::Go:
            SetAll();
            break;
    }
}

void FormMain::CommandSeClick() {
    if (doc_.GameMode == 0) {
        CommandRe->setEnabled(true);
        RefreshData(0);
        LabelMes->clear();
        std::string matches;
        SerchData(doc_, *work_, *random_, matches);
        LabelMes->setText(QString::fromStdString(matches));
        // The step leaves plate 1 current; show it, so the display names the current plate.
        SetAll();
        ShowMessage(matches.empty() ? QStringLiteral("条件にマッチするデータがありませんした。")
                                    : QStringLiteral("条件にマッチしたデータを変化させました。"));
    } else if (doc_.GameMode == 1) {
        RefreshData(0);
        LabelMes->clear();
        LifeGame(doc_, *work_);
        RefreshData(0);
        ShowMessage(QStringLiteral("ライフゲームスタート"));
    }
}

void FormMain::CommandReClick() {
    doc_.MaData = doc_.MaBackup;
    RefreshData(0);
    ShowMessage(QStringLiteral("試しに動かしたデータをもとにもどしました。"));
}

void FormMain::CommandSendDataClick() {
    if (OptionMode[0]->isChecked()) {
        ComMain(kTransferWrite);
    } else if (OptionMode[1]->isChecked()) {
        ComMain(kTransferLifeGame);
    }
}

void FormMain::CommandReadClick() {
    doc_.MaBackup = doc_.MaData;
    CommandRe->setEnabled(true);
    ComMain(kTransferRead);
    doc_.NowPlate = 1;
    SetAll();
}

void FormMain::TimerMesTimer() {
    if (status_.Tick()) {
        LabelMes->setText(QString::fromUtf8(kRestingText));
        TimerMes->stop();
    }
}

void FormMain::MenuNewClick() {
    NewDocument(doc_);
    SetAll();
}

void FormMain::MenuOpenClick() {
    FileOpen();
    SetFileTitle();
}

void FormMain::MenuOverSaveClick() {
    OverSave();
    SetFileTitle();
}

void FormMain::MenuNewSaveClick() {
    RenameSave();
    SetFileTitle();
}

Dialogs::FileFilters FormMain::FileFilters() {
    return {{QStringLiteral("データファイル(*.dat)"), {QStringLiteral("*.dat")}},
            {QStringLiteral("すべてのファイル(*.*)"), {QStringLiteral("*")}}};
}

void FormMain::RenameSave() {
    const std::optional<QString> path =
        dialogs_.SaveFileName(this, QStringLiteral("名前をつけて保存"), FileFilters(), lastPath_);
    if (!path) return;
    lastPath_ = *path;
    // The name is taken exactly as typed: no extension is added, an existing file is
    // replaced without a question, but never destroyed by a save that fails.
    if (!SaveDataFile(path->toStdString(), doc_)) {
        ShowError(QStringLiteral("ファイルを保存できませんでした。"));
        return;
    }
    doc_.FileName = path->toStdString();
}

void FormMain::FileOpen() {
    // Until a file has been chosen, the dialog starts in the examples that come with the editor.
    const QString start =
        lastPath_.isEmpty() ? ExamplesFolder(QCoreApplication::applicationDirPath()) : lastPath_;
    const std::optional<QString> path =
        dialogs_.OpenFileName(this, QStringLiteral("ファイルを開く"), FileFilters(), start);
    if (!path) return;
    lastPath_ = *path;
    // Only data files are opened: the file's own name must contain ".dat", exactly.
    if (!HasDataFileName(path->toStdString()) ||
        LoadDataFile(path->toStdString(), doc_) != LoadStatus::Loaded) {
        dialogs_.Message(this, QStringLiteral("不明なファイルです。"), QStringLiteral("エラー"),
                         Dialogs::Icon::Exclamation);
        return;
    }
    doc_.FileName = path->toStdString();
    doc_.NowPlate = 1;
    SetAll();
}

void FormMain::OverSave() {
    if (doc_.FileName.empty()) {
        RenameSave();
        return;
    }
    if (!SaveDataFile(doc_.FileName, doc_)) {
        ShowError(QStringLiteral("ファイルを保存できませんでした。"));
    }
}

void FormMain::SetFileTitle() {
    setWindowTitle(QStringLiteral("KelvaraEditor(") + QString::fromStdString(doc_.FileName) +
                   QStringLiteral(")"));
}

void FormMain::menucomClick(int index) {
    if (index < 0 || index >= static_cast<int>(menucom.size())) return;
    for (QAction* action : menucom) action->setChecked(false);
    menucom[index]->setChecked(true);
    doc_.ComPort = static_cast<std::int16_t>(index + 1);
}

void FormMain::MenuHelpUseClick() {
    // Beside the program when built, in the data directory when installed. A missing page
    // shows nothing.
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& path :
         {dir + QStringLiteral("/readme.html"),
          QDir::cleanPath(dir + QStringLiteral("/../share/kelvara-editor/readme.html"))}) {
        if (QFileInfo::exists(path)) {
            dialogs_.OpenWithDesktop(path);
            return;
        }
    }
}

void FormMain::LineEvent(int code) {
    if (const auto text = LineEventMessage(code)) {
        dialogs_.Message(this, QString::fromStdString(*text), QStringLiteral("通信エラー"),
                         Dialogs::Icon::Exclamation);
    }
}

void FormMain::closeEvent(QCloseEvent* event) {
    if (transferBusy_) {
        // The transfer notices at its next poll, closes the port and returns; the window
        // then closes itself.
        closing_ = true;
        event->ignore();
        return;
    }
    event->accept();
}

// ---- Transfers -----------------------------------------------------------------------------

void FormMain::ComMain(std::int16_t mode) {
    if (line_ == nullptr) return;
    // One transfer at a time on the port; editing stays possible while it runs.
    transferBusy_ = true;
    CommandSendData->setEnabled(false);
    CommandRead->setEnabled(false);
    stopKey_->Arm();
    kelvara::ComMain(mode, doc_, *line_, *this, timing_);
    stopKey_->Disarm();
    CommandSendData->setEnabled(true);
    CommandRead->setEnabled(true);
    transferBusy_ = false;
    if (closing_) QTimer::singleShot(0, this, &QWidget::close);
}

void FormMain::ProcessEvents() { QCoreApplication::processEvents(); }
void FormMain::Sleep(int milliseconds) { QThread::msleep(static_cast<unsigned>(milliseconds)); }
void FormMain::SetStatus(const std::string& text) {
    LabelMes->setText(QString::fromStdString(text));
    AnnounceStatus(LabelMes);
}

void FormMain::ArmStatusTimer() {
    status_.Arm();
    if (!TimerMes->isActive()) TimerMes->start();
}

bool FormMain::StopRequested() const { return stopKey_->Requested(); }

void FormMain::setPortLister(PortLister ports) { portTips_->SetPortLister(std::move(ports)); }

void FormMain::ShowPortOpenError() {
    const QString details =
        line_ != nullptr ? QString::fromStdString(line_->OpenErrorDetails()) : QString();
    dialogs_.Message(this, QStringLiteral("ポートオープンエラー発生"), QStringLiteral("通信エラー"),
                     Dialogs::Icon::None, details);
}

void FormMain::ShowTransferError(const std::string& text) {
    dialogs_.Message(this, QString::fromStdString(text), QStringLiteral("通信エラー"),
                     Dialogs::Icon::Exclamation);
}

void FormMain::ShowError(const QString& text) {
    dialogs_.Message(this, text, QStringLiteral("エラー"), Dialogs::Icon::None);
}

}  // namespace kelvara
