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
#include <QShortcut>

#include "app/appearance.h"
#include "app/artwork.h"
#include "app/cell_grid.h"
#include "app/examples_folder.h"
#include "app/port_menu.h"
#include "app/status_label.h"
#include "app/window_access.h"
#include "app/window_keys.h"

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

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

std::optional<std::string> PathOf(const std::optional<QString>& path) {
    if (!path) return std::nullopt;
    return path->toStdString();
}

}  // namespace

FormMain::FormMain(Dialogs& dialogs, SerialLine* line, std::unique_ptr<RandomSource> random,
                   QWidget* parent)
    : QMainWindow(parent),
      dialogs_(dialogs),
      files_([] { return ExamplesFolder(QCoreApplication::applicationDirPath()).toStdString(); }),
      editor_(*this, files_, line, std::move(random)),
      pump_(this) {
    InstallAccessibility();
    BuildControls();
    BuildMenus();
    NameControls(*this);
    InstallWindowKeys(*this);
    Connect();
    if (auto* systemLine = dynamic_cast<SystemLineBase*>(line)) {
        pump_.WatchLine(systemLine);
        connect(systemLine, &SystemLineBase::lineEvent, this,
                [this](int code) { editor_.LineEvent(code); });
    }
    editor_.Load();
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

    // Esc stops a transfer; the editor arms it while one runs.
    stopKey_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    stopKey_->setContext(Qt::WindowShortcut);
    stopKey_->setEnabled(false);
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
    }
    menucom[0]->setChecked(true);
    portTips_ = new PortMenuTips(MenuComPort, menucom, SystemPorts);

    MenuHelp = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    MenuHelpUse = MenuHelp->addAction(QStringLiteral("使い方"));
}

// Every user event goes to the editor. A click on an option runs its handler also when the
// option was already selected; a selection from code raises no click.
void FormMain::Connect() {
    Editor& e = editor_;
    connect(modeGroup_, &QButtonGroup::idClicked, this, [&e](int id) { e.OptionModeClick(id); });
    connect(methodGroup_, &QButtonGroup::idClicked, this, [&e](int id) { e.OptionAcClick(id); });
    for (int i = 0; i < kCells; ++i) {
        connect(CommandMa[i], &QPushButton::clicked, this, [&e, i] { e.CommandMaClick(i); });
    }
    for (int c = 0; c < kConditionCells; ++c) {
        connect(CommandIf[c], &QPushButton::clicked, this, [&e, c] { e.CommandIfClick(c); });
    }
    for (int k = 0; k < 4; ++k) {
        connect(CommandIfB[k], &QPushButton::clicked, this, [&e, k] { e.CommandIfBClick(k); });
    }
    const std::pair<QPushButton*, void (Editor::*)()> buttons[] = {
        {CommandMa0, &Editor::CommandMa0Click},   {CommandMa1, &Editor::CommandMa1Click},
        {CommandMaRe, &Editor::CommandMaReClick}, {CommandMaRnd, &Editor::CommandMaRndClick},
        {CommandNext, &Editor::CommandNextClick}, {CommandPrevious, &Editor::CommandPreviousClick},
        {CommandDel, &Editor::CommandDelClick},   {CommandSe, &Editor::CommandSeClick},
        {CommandRe, &Editor::CommandReClick},     {CommandSendData, &Editor::CommandSendDataClick},
        {CommandRead, &Editor::CommandReadClick},
    };
    for (const auto& [button, handler] : buttons) {
        connect(button, &QPushButton::clicked, this, [&e, handler = handler] { (e.*handler)(); });
    }
    connect(TextPlateNum, &QLineEdit::textChanged, this,
            [&e](const QString& text) { e.TextPlateNumChange(text.toStdString()); });
    connect(CommandClose, &QPushButton::clicked, this, &QWidget::close);
    connect(TimerMes, &QTimer::timeout, this, [&e] { e.TimerMesTimer(); });
    connect(stopKey_, &QShortcut::activated, this, [&e] { e.StopTransfer(); });

    const std::pair<QAction*, void (Editor::*)()> actions[] = {
        {MenuNew, &Editor::MenuNewClick},           {MenuOpen, &Editor::MenuOpenClick},
        {MenuOverSave, &Editor::MenuOverSaveClick}, {MenuNewSave, &Editor::MenuNewSaveClick},
        {MenuHelpUse, &Editor::MenuHelpUseClick},
    };
    for (const auto& [action, handler] : actions) {
        connect(action, &QAction::triggered, this, [&e, handler = handler] { (e.*handler)(); });
    }
    for (int i = 0; i < 9; ++i) {
        connect(menucom[i], &QAction::triggered, this, [&e, i] { e.menucomClick(i); });
    }
    connect(MenuEnd, &QAction::triggered, this, &QWidget::close);
}

// ---- EditorView ---------------------------------------------------------------------------

void FormMain::ShowCell(Grid grid, int index, const CellLook& look) {
    QPushButton* button = grid == Grid::kPattern ? CommandMa[static_cast<std::size_t>(index)]
                                                 : CommandIf[static_cast<std::size_t>(index)];
    button->setText(QString::fromUtf8(look.caption.data(), static_cast<int>(look.caption.size())));
    SetFace(button, QColor(look.face.red, look.face.green, look.face.blue));
}

void FormMain::ShowPlateLabel(const std::string& text, int now, int count) {
    LabelPlate->setText(FromUtf8(text));
    DescribePlates(*this, now, count);
}

void FormMain::ShowPlateNumber(const std::string& text) {
    const QSignalBlocker quiet(TextPlateNum);  // the editor runs the box's handler itself
    TextPlateNum->setText(FromUtf8(text));
}

void FormMain::SelectMode(int index) { modeGroup_->button(index)->setChecked(true); }

void FormMain::SelectMethod(int index) { methodGroup_->button(index)->setChecked(true); }

void FormMain::Enable(Control control, bool enabled) {
    switch (control) {
        case Control::kUndo:
            CommandRe->setEnabled(enabled);
            break;
        case Control::kSendData:
            CommandSendData->setEnabled(enabled);
            break;
        case Control::kRead:
            CommandRead->setEnabled(enabled);
            break;
        case Control::kConditionCells:
            for (QPushButton* button : CommandIf) button->setEnabled(enabled);
            break;
        case Control::kConditionAll:
            for (QPushButton* button : CommandIfB) button->setEnabled(enabled);
            break;
        case Control::kMethods:
            for (QRadioButton* option : OptionAc) option->setEnabled(enabled);
            break;
        case Control::kStopKey:
            stopKey_->setEnabled(enabled);
            break;
    }
}

void FormMain::ShowStatus(const std::string& text, bool announce) {
    LabelMes->setText(FromUtf8(text));
    if (announce) AnnounceStatus(LabelMes);
}

void FormMain::RunStatusTimer(bool run) {
    if (!run) {
        TimerMes->stop();
    } else if (!TimerMes->isActive()) {
        TimerMes->start();
    }
}

void FormMain::ShowBox(const Box& box) { dialogs_.Message(this, box); }

void FormMain::ShowTitle(const std::string& title) { setWindowTitle(FromUtf8(title)); }

void FormMain::CheckPort(int index) {
    for (std::size_t i = 0; i < menucom.size(); ++i) {
        menucom[i]->setChecked(static_cast<int>(i) == index);
    }
}

void FormMain::ChooseOpenFile(const FileRequest& request) {
    editor_.OpenFileChosen(PathOf(dialogs_.OpenFileName(this, request)));
}

void FormMain::ChooseSaveFile(const FileRequest& request) {
    editor_.SaveFileChosen(PathOf(dialogs_.SaveFileName(this, request)));
}

void FormMain::OpenHelp() {
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

void FormMain::ScheduleTransfer(const TransferWait& wait) {
    pump_.Schedule(wait, [this] { editor_.ResumeTransfer(); });
}

void FormMain::CloseWindow() { QTimer::singleShot(0, this, &QWidget::close); }

void FormMain::closeEvent(QCloseEvent* event) {
    if (editor_.CloseRequested()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void FormMain::setPortLister(PortLister ports) { portTips_->SetPortLister(std::move(ports)); }

}  // namespace kelvara
