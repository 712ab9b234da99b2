#include "app/formmain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QShortcut>
#include <QStandardPaths>

#include "app/appearance.h"
#include "app/artwork.h"
#include "app/cell_grid.h"
#include "app/examples_folder.h"
#include "app/port_menu.h"
#include "app/status_label.h"
#include "app/window_access.h"
#include "app/window_keys.h"
#include "editor/window_layout.h"

namespace kelvara {

namespace {

QColor ColourOf(const Rgb& rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

QRect RectOf(const layout::Rect& r) { return QRect(r.x, r.y, r.width, r.height); }

QString TextOf(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The client area: a fixed picture on the active-title-bar colour.
class Background final : public QWidget {
  public:
    explicit Background(QWidget* parent) : QWidget(parent), picture_(BackgroundPicture()) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), ColourOf(layout::kActiveCaption));
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
QGroupBox* MakeFrame(QWidget* parent, const QString& caption, const QColor& face) {
    auto* frame = new QGroupBox(caption, parent);
    SetBackground(frame, face);
    QPalette palette = frame->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::HighlightedText));
    frame->setPalette(palette);
    return frame;
}

QRadioButton* MakeOption(QWidget* parent, const QString& caption, const QColor& face) {
    auto* option = new QRadioButton(caption, parent);
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

// A chosen file's path with the system's separators: the title bar shows it as the user types
// paths (C:\ツール\グライダー.dat on Windows).
std::optional<std::string> PathOf(const std::optional<QString>& path) {
    if (!path) return std::nullopt;
    return QDir::toNativeSeparators(*path).toStdString();
}

// The user's documents folder, where a first save starts; empty when there is none.
std::string DocumentsFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !folder.isEmpty() && QDir(folder).exists()
               ? QDir::toNativeSeparators(folder).toStdString()
               : std::string();
}

}  // namespace

FormMain::FormMain(Dialogs& dialogs, SerialLine* line, std::unique_ptr<RandomSource> random,
                   QWidget* parent)
    : QMainWindow(parent),
      dialogs_(dialogs),
      files_([] { return ExamplesFolder(QCoreApplication::applicationDirPath()).toStdString(); },
             DocumentsFolder),
      editor_(*this, files_, line, std::move(random)),
      pump_(this) {
    InstallAccessibility();
    BuildControls();
    BuildMenus();
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

// Every control of the window as the layout describes it, in its order; each frame's cell grid
// right after the frame.
void FormMain::BuildControls() {
    auto* client = new Background(this);
    client->setFixedSize(layout::kClientArea.width, layout::kClientArea.height);
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    QHash<QString, QWidget*>& made = controls_;
    const auto parentOf = [&](const layout::ControlLayout& control) {
        return control.parent.empty() ? static_cast<QWidget*>(client)
                                      : made.value(TextOf(control.parent));
    };
    for (const layout::ControlLayout& control : layout::Controls()) {
        QWidget* parent = parentOf(control);
        const QString caption = TextOf(control.caption);
        QWidget* widget = nullptr;
        switch (control.kind) {
            case layout::Kind::kFrame:
                widget = MakeFrame(parent, caption, ColourOf(*control.face));
                break;
            case layout::Kind::kPanel:
                widget = new QWidget(parent);
                SetBackground(widget, ColourOf(*control.face));
                break;
            case layout::Kind::kButton: {
                auto* button = new QPushButton(caption, parent);
                button->setFocusPolicy(Qt::TabFocus);
                if (control.face) SetFace(button, ColourOf(*control.face));
                widget = button;
                break;
            }
            case layout::Kind::kOption:
                widget = MakeOption(
                    parent, caption,
                    control.face ? ColourOf(*control.face) : palette().color(QPalette::Button));
                break;
            case layout::Kind::kTextBox:
                widget = new QLineEdit(caption, parent);
                break;
            case layout::Kind::kLabel: {
                // Named before it has a caption: its accessible interface is made with its first
                // caption, and the plate label's is of its own kind (window_access).
                auto* label = new QLabel(parent);
                label->setObjectName(TextOf(control.name));
                label->setText(caption);
                SetBackground(label, ColourOf(*control.face));
                widget = label;
                break;
            }
            case layout::Kind::kStatus: {
                auto* status = new StatusLabel(parent);
                status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                status->setWordWrap(true);
                SetBackground(status, ColourOf(*control.face));
                QPalette palette = status->palette();
                palette.setColor(QPalette::WindowText, palette.color(QPalette::HighlightedText));
                status->setPalette(palette);
                widget = status;
                break;
            }
            case layout::Kind::kPicture: {
                auto* picture = new QLabel(parent);
                picture->setPixmap(LogoPicture());
                widget = picture;
                break;
            }
        }
        widget->setObjectName(TextOf(control.name));
        widget->setGeometry(RectOf(control.geometry));
        if (control.font.points != 9 || control.font.bold) {
            widget->setFont(Gothic(control.font.points, control.font.bold));
        }
        if (!control.tooltip.empty()) widget->setToolTip(TextOf(control.tooltip));
        if (!control.accessibleName.empty())
            widget->setAccessibleName(TextOf(control.accessibleName));
        if (!control.accessibleDescription.empty()) {
            widget->setAccessibleDescription(TextOf(control.accessibleDescription));
        }
        made.insert(TextOf(control.name), widget);
        for (const Grid grid : {Grid::kPattern, Grid::kCondition}) {
            if (layout::GridOf(grid).frame == control.name) {
                (grid == Grid::kPattern ? GridMa : GridIf) =
                    new CellGrid(widget, layout::GridOf(grid));
            }
        }
    }
    const auto find = [&](const char* name) { return made.value(QString::fromLatin1(name)); };
    const auto indexed = [&](const char* name, int index) {
        return made.value(QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index));
    };
    for (int i = 0; i < 2; ++i)
        OptionMode[i] = static_cast<QRadioButton*>(indexed("OptionMode", i));
    Image1 = static_cast<QLabel*>(find("Image1"));
    Frame2 = static_cast<QGroupBox*>(find("Frame2"));
    FrameDataControl = find("FrameDataControl");
    for (int i = 0; i < 2; ++i) Frame1[i] = static_cast<QGroupBox*>(indexed("Frame1", i));
    CommandSe = static_cast<QPushButton*>(find("CommandSe"));
    CommandRe = static_cast<QPushButton*>(find("CommandRe"));
    CommandSendData = static_cast<QPushButton*>(find("CommandSendData"));
    CommandRead = static_cast<QPushButton*>(find("CommandRead"));
    LabelMes = static_cast<StatusLabel*>(find("LabelMes"));
    CommandClose = static_cast<QPushButton*>(find("CommandClose"));
    CommandMaRnd = static_cast<QPushButton*>(find("CommandMaRnd"));
    CommandMa0 = static_cast<QPushButton*>(find("CommandMa0"));
    CommandMa1 = static_cast<QPushButton*>(find("CommandMa1"));
    CommandMaRe = static_cast<QPushButton*>(find("CommandMaRe"));
    CommandPrevious = static_cast<QPushButton*>(find("CommandPrevious"));
    TextPlateNum = static_cast<QLineEdit*>(find("TextPlateNum"));
    CommandNext = static_cast<QPushButton*>(find("CommandNext"));
    LabelPlate = static_cast<QLabel*>(find("LabelPlate"));
    CommandDel = static_cast<QPushButton*>(find("CommandDel"));
    for (int k = 0; k < 4; ++k) CommandIfB[k] = static_cast<QPushButton*>(indexed("CommandIfB", k));
    for (int m = 0; m < 4; ++m) OptionAc[m] = static_cast<QRadioButton*>(indexed("OptionAc", m));
    for (int i = 0; i < kCells; ++i) CommandMa[i] = GridMa->cell(i);
    for (int c = 0; c < kConditionCells; ++c) CommandIf[c] = GridIf->cell(c);

    // The design state: normal mode, method ON(1).
    OptionMode[0]->setChecked(true);
    modeGroup_ = new QButtonGroup(this);
    for (int i = 0; i < 2; ++i) modeGroup_->addButton(OptionMode[i], i);
    OptionAc[1]->setChecked(true);
    methodGroup_ = new QButtonGroup(this);
    for (int m = 0; m < 4; ++m) methodGroup_->addButton(OptionAc[m], m);

    TimerMes = new QTimer(this);
    TimerMes->setInterval(1000);

    // Esc stops a transfer; the editor arms it while one runs.
    stopKey_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    stopKey_->setContext(Qt::WindowShortcut);
    stopKey_->setEnabled(false);
}

void FormMain::BuildMenus() {
    QHash<QString, QAction*> actions;
    QList<QMenu*> menus;
    for (const layout::MenuLayout& entry : layout::Menus()) {
        QMenu* menu = menuBar()->addMenu(TextOf(entry.caption));
        menu->setObjectName(TextOf(entry.name));
        menus << menu;
        for (const layout::MenuItemLayout& item : entry.items) {
            if (item.name.empty()) {
                menu->addSeparator();
                continue;
            }
            actions.insert(TextOf(item.name), menu->addAction(TextOf(item.caption)));
        }
    }
    MenuFile = menus.at(0);
    MenuComPort = menus.at(1);
    MenuHelp = menus.at(2);
    MenuNew = actions.value(QStringLiteral("MenuNew"));
    MenuOpen = actions.value(QStringLiteral("MenuOpen"));
    MenuOverSave = actions.value(QStringLiteral("MenuOverSave"));
    MenuNewSave = actions.value(QStringLiteral("MenuNewSave"));
    MenuEnd = actions.value(QStringLiteral("MenuEnd"));
    MenuHelpUse = actions.value(QStringLiteral("MenuHelpUse"));
    for (int i = 0; i < 9; ++i) {
        menucom[i] = actions.value(QStringLiteral("menucom(%1)").arg(i));
        menucom[i]->setCheckable(true);
    }
    menucom[0]->setChecked(true);
    portTips_ = new PortMenuTips(MenuComPort, menucom, SystemPorts);
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
    button->setText(TextOf(look.caption));
    SetFace(button, ColourOf(look.face));
}

void FormMain::ShowPlateLabel(const std::string& text, int now, int count, bool announce) {
    LabelPlate->setText(FromUtf8(text));
    DescribePlates(*this, now, count);
    if (announce) AnnounceStatus(LabelPlate);
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
            EnableKeepingFocus(CommandSendData, enabled);
            break;
        case Control::kRead:
            EnableKeepingFocus(CommandRead, enabled);
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
        case Control::kNew:
            MenuNew->setEnabled(enabled);
            break;
        case Control::kOpen:
            MenuOpen->setEnabled(enabled);
            break;
    }
}

// A transfer button that had the keyboard focus when it was disabled (a transfer started)
// gets it back when enabled again: Qt would have moved the focus on to the next button, "終了",
// where the next Space would end the editor. Meanwhile the window holds it.
void FormMain::EnableKeepingFocus(QPushButton* button, bool enabled) {
    if (!enabled && button->hasFocus()) {
        focusBeforeTransfer_ = button;
        centralWidget()->setFocus(Qt::OtherFocusReason);
    }
    button->setEnabled(enabled);
    if (enabled && focusBeforeTransfer_ == button) {
        focusBeforeTransfer_ = nullptr;
        QWidget* focus = QApplication::focusWidget();
        if (focus == nullptr || focus == centralWidget()) button->setFocus(Qt::OtherFocusReason);
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

bool FormMain::OpenHelp() {
    // Beside the program when built, in the data directory when installed. A missing page
    // shows nothing.
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& path :
         {dir + QStringLiteral("/readme.html"),
          QDir::cleanPath(dir + QStringLiteral("/../share/kelvara-editor/readme.html"))}) {
        if (QFileInfo::exists(path)) return dialogs_.OpenWithDesktop(path);
    }
    return true;
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

QWidget* FormMain::ControlNamed(std::string_view name) const {
    return controls_.value(TextOf(name));
}

}  // namespace kelvara
