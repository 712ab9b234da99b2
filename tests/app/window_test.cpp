#include <QAction>
#include <QApplication>
#include <QGlyphRun>
#include <QMenuBar>
#include <QProcess>
#include <QtTest>

#include "app/appearance.h"
#include "app/artwork.h"
#include "app/command_line.h"
#include "app/formmain.h"
#include "app/translations.h"
#include "device/transfer.h"
#include "fake_dialogs.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

// The window as the Qt face of the editor: it shows what the editor decides, with the look and
// the layout of the tables, and brings the user's events to it the way Qt delivers them. What
// each event does is tested without Qt in tests/editor.

using kelvara::FormMain;
using kelvara::test::FakeDialogs;

namespace {

QColor Face(const QPushButton* button) { return button->palette().color(QPalette::Button); }

// The darkest pixel of a widget as drawn: its caption's ink.
int DarkestGrey(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    int darkest = 255;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            darkest = std::min(darkest, qGray(image.pixel(x, y)));
        }
    }
    return darkest;
}

// The seventeen controls the mode switch governs.
QList<QWidget*> PlateControls(FormMain& w) {
    QList<QWidget*> list;
    for (auto* b : w.CommandIf) list << b;
    for (auto* b : w.CommandIfB) list << b;
    for (auto* o : w.OptionAc) list << o;
    return list;
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { kelvara::ApplyAppearance(*qApp); }

    void startUpShowsTheNewDocument() {
        FakeDialogs dialogs;
        FormMain w(dialogs);
        QCOMPARE(w.windowTitle(), QStringLiteral("KelvaraEditor"));
        QCOMPARE(w.LabelPlate->text(), QStringLiteral("1/1"));
        QCOMPARE(w.TextPlateNum->text(), QStringLiteral("1"));
        QCOMPARE(w.LabelMes->text(), QStringLiteral("KelvaraEditor"));
        for (auto* b : w.CommandIf) {
            QCOMPARE(b->text(), QStringLiteral("*"));
            QCOMPARE(Face(b), QColor(170, 170, 170));
        }
        for (auto* b : w.CommandMa) {
            QCOMPARE(b->text(), QStringLiteral("0"));
            QCOMPARE(Face(b), QColor(255, 255, 255));
        }
        QVERIFY(w.OptionAc[1]->isChecked());
        QVERIFY(w.OptionMode[0]->isChecked());
        QVERIFY(!w.CommandRe->isEnabled());
        for (auto* widget : PlateControls(w)) QVERIFY(widget->isEnabled());
        for (int i = 0; i < 9; ++i) QCOMPARE(w.menucom[i]->isChecked(), i == 0);
        QVERIFY(w.TimerMes->isActive());
        QCOMPARE(w.TimerMes->interval(), 1000);
    }

    void layoutFollowsTheTables() {
        FakeDialogs dialogs;
        FormMain w(dialogs);
        QCOMPARE(w.centralWidget()->size(), QSize(545, 458));
        QCOMPARE(w.OptionMode[1]->geometry(), QRect(128, 16, 129, 17));
        QCOMPARE(w.Frame2->geometry(), QRect(16, 56, 289, 329));
        QCOMPARE(w.CommandMa[63]->geometry(), QRect(16 + 32 * 7, 24 + 32 * 7, 33, 33));
        QCOMPARE(w.CommandIf[8]->geometry(), QRect(16 + 64, 40 + 64, 33, 33));
        QCOMPARE(w.CommandIfB[3]->geometry(), QRect(120, 120, 89, 25));
        QCOMPARE(w.OptionAc[3]->geometry(), QRect(16, 88, 73, 17));
        QCOMPARE(w.LabelPlate->geometry(), QRect(112, 0, 57, 25));
        QCOMPARE(w.CommandClose->geometry(), QRect(416, 416, 113, 33));
        QCOMPARE(w.CommandIfB[2]->text(), QStringLiteral("すべてON(１)"));
        QCOMPARE(w.CommandIfB[3]->text(), QStringLiteral("すべて任意(＊)"));
        QCOMPARE(Face(w.CommandSe), QColor(128, 128, 128));
        QVERIFY(w.CommandSe->font().bold());
        QCOMPARE(w.CommandMa[0]->font().pixelSize(), 24);  // 18 pt
        QCOMPARE(w.LabelMes->font().pixelSize(), 21);      // 15.75 pt
        QCOMPARE(w.CommandDel->toolTip(), QStringLiteral("現在の条件を削除します。"));
        QCOMPARE(w.Frame1[1]->toolTip(), QStringLiteral("変化させる方法を選んでください"));
        // Menus: captions, separators, no shortcut keys.
        QStringList file;
        for (QAction* a : w.MenuFile->actions()) {
            file << (a->isSeparator() ? QStringLiteral("-") : a->text());
            QVERIFY(a->shortcut().isEmpty());
        }
        QCOMPARE(file, (QStringList{"新規作成", "開く(&O)", "-", "上書き保存(&S)",
                                    "名前を付けて保存(&N)", "-", "終了(&X)"}));
        QCOMPARE(w.menuBar()->actions().at(1)->text(), QStringLiteral("ポートの設定(&P)"));
        // The style really paints the face colour of an ON cell.
        w.document().MaData[0] = 1;
        w.editor().RefreshData(0);
        const QImage face = w.CommandMa[0]->grab().toImage();
        const QColor middle = face.pixelColor(face.width() / 2 - 8, face.height() / 2 + 10);
        QVERIFY2(middle.red() > 200 && middle.green() < 120 && middle.blue() < 120,
                 qPrintable(middle.name()));
        QCOMPARE(w.MenuHelpUse->text(), QStringLiteral("使い方"));
    }

    void everyStatusMessageFitsTheLabelWhole() {
        FakeDialogs dialogs;
        FormMain w(dialogs);
        const QRectF label(QPointF(0, 0), QSizeF(w.LabelMes->size()));
        QCOMPARE(label, QRectF(0, 0, 369, 41));
        const QString messages[] = {"KelvaraEditor",
                                    "Kelvaraを編集してください。",
                                    "条件にマッチするデータがありませんした。",
                                    "条件にマッチしたデータを変化させました。",
                                    "ライフゲームスタート",
                                    "試しに動かしたデータをもとにもどしました。",
                                    kelvara::kWriteSendingText,
                                    kelvara::kWriteDoneText,
                                    kelvara::kLifeGameSendingText,
                                    kelvara::kLifeGameDoneText,
                                    kelvara::kReadingText,
                                    kelvara::kReadDoneText,
                                    kelvara::kTransferRetryText};
        int wrapped = 0;
        for (const QString& message : messages) {
            const auto layout = w.LabelMes->Layout(message);
            int laidOut = 0;
            for (int i = 0; i < layout->lineCount(); ++i) {
                const QTextLine line = layout->lineAt(i);
                laidOut += line.textLength();
                // The ink of every glyph, where it is drawn.
                for (const QGlyphRun& run : line.glyphRuns()) {
                    const QList<quint32> glyphs = run.glyphIndexes();
                    const QList<QPointF> positions = run.positions();
                    for (qsizetype g = 0; g < glyphs.size(); ++g) {
                        const QRectF ink =
                            run.rawFont().boundingRect(glyphs[g]).translated(positions[g]);
                        QVERIFY2(
                            label.contains(ink),
                            qPrintable(message +
                                       QStringLiteral(": line %1, glyph %2").arg(i + 1).arg(g)));
                    }
                }
            }
            QCOMPARE(laidOut, message.size());  // nothing cut off
            wrapped += layout->lineCount() == 2;
        }
        QCOMPARE(wrapped, 3);  // the three longest take two lines
    }

    void disabledOptionsGreyTheirCaptions() {
        FakeDialogs dialogs;
        FormMain w(dialogs);
        w.show();
        QVERIFY(DarkestGrey(w.OptionAc[2]) < 60);  // black ink while usable
        w.OptionMode[1]->click();
        for (auto* option : w.OptionAc) {
            QVERIFY(!option->isEnabled());
            QVERIFY2(DarkestGrey(option) > 100, qPrintable(option->text()));
        }
    }

    void aClickOnTheSelectedOptionRunsItsHandler() {
#if defined(_WIN32)
        QSKIP(
            "the Windows build runs its window tests headless under Wine: no window is activated");
#endif
        FakeDialogs dialogs;
        FormMain w(dialogs);
        auto& doc = w.document();
        // As a hand-edited file can bring them: the options keep showing what they showed.
        doc.AcData[1] = 5;
        doc.GameMode = 2;
        w.editor().SetAll();
        QVERIFY(w.OptionAc[1]->isChecked());
        QVERIFY(w.OptionMode[0]->isChecked());
        QTest::mouseClick(w.OptionAc[1], Qt::LeftButton, {}, QPoint(8, 8));
        QCOMPARE(doc.AcData[1], std::int16_t(1));
        QTest::mouseClick(w.OptionMode[0], Qt::LeftButton, {}, QPoint(8, 8));
        QCOMPARE(doc.GameMode, std::int16_t(0));
        // Moving through the options with the keyboard selects, and so sets, the method too.
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.OptionAc[1]->setFocus();
        QTest::keyClick(w.OptionAc[1], Qt::Key_Down);
        QVERIFY(w.OptionAc[0]->isChecked());
        QCOMPARE(doc.AcData[1], std::int16_t(0));
        // A selection from code runs the handler once, as the enabling shows.
        doc.GameMode = 1;
        w.editor().SetAll();
        QVERIFY(!w.CommandIf[0]->isEnabled());
        QCOMPARE(doc.GameMode, std::int16_t(1));
    }

    void portMenuTooltipsNameTheDevicesPresentEachTimeItOpens() {
        // Windows keeps COM n as COMn (port_names_test, and the Wine harness on the real list).
        if (kelvara::ThisSystem() == kelvara::PortSystem::kWindows)
            QSKIP("the list below is a Linux one");
        qunsetenv("KELVARA_COM1");
        qunsetenv("KELVARA_COM2");
        FakeDialogs dialogs;
        FormMain w(dialogs);
        std::vector<kelvara::PortInfo> ports;
        w.setPortLister([&] { return ports; });
        QVERIFY(w.MenuComPort->toolTipsVisible());
        emit w.MenuComPort->aboutToShow();
        QCOMPARE(w.menucom[0]->toolTip(), QStringLiteral("COM1 には何も接続されていません"));
        ports = {{"/dev/ttyS0", "", "", {}, {}},
                 {"/dev/ttyUSB0", "CP2102 USB to UART Bridge Controller", "", 0x10c4, 0xea60}};
        emit w.MenuComPort->aboutToShow();
        QCOMPARE(w.menucom[0]->toolTip(),
                 QStringLiteral("/dev/ttyUSB0 — CP2102 USB to UART Bridge Controller (10c4:ea60)"));
        QCOMPARE(w.menucom[1]->toolTip(), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(w.menucom[2]->toolTip(), QStringLiteral("COM3 には何も接続されていません"));
        QCOMPARE(w.menucom[0]->text(), QStringLiteral("COM1"));  // captions stay
    }

    // Built into every program, the Windows ones too: Qt's own buttons speak Japanese.
    void qtsOwnTextsAreJapanese() {
        kelvara::InstallQtTranslation(*qApp);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"),
                 QStringLiteral("キャンセル"));
    }

    void listPortsNeedsNoDisplay() {
        QProcess editor;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
        env.insert("KELVARA_COM2", "/tmp/kelvara-test-com2");
        editor.setProcessEnvironment(env);
        editor.start(QStringLiteral(KELVARA_EDITOR_PROGRAM), {"--list-ports"});
        QVERIFY(editor.waitForFinished(20000));
        QCOMPARE(editor.exitStatus(), QProcess::NormalExit);
        QCOMPARE(editor.exitCode(), 0);
        const QStringList lines =
            QString::fromUtf8(editor.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 9);
        for (int n = 1; n <= 9; ++n)
            QVERIFY(lines[n - 1].startsWith(QStringLiteral("COM%1  ").arg(n)));
        QVERIFY2(lines[1].contains("/tmp/kelvara-test-com2") && lines[1].contains("KELVARA_COM2"),
                 qPrintable(lines[1]));
        editor.start(QStringLiteral(KELVARA_EDITOR_PROGRAM), {"--help"});
        QVERIFY(editor.waitForFinished(20000));
        QVERIFY(QString::fromUtf8(editor.readAllStandardOutput()).contains("--list-ports"));
        // A table that could not be written is no success.
        editor.setStandardOutputFile("/dev/full");
        editor.start(QStringLiteral(KELVARA_EDITOR_PROGRAM), {"--list-ports"});
        QVERIFY(editor.waitForFinished(20000));
        QCOMPARE(editor.exitCode(), 1);
        QVERIFY(editor.readAllStandardError().contains("標準出力に書き込めませんでした"));
#if !defined(_WIN32)
        // Into a pipe whose reader has gone (`kelvara-editor --help | true`): the same failed
        // write, not a silent death by SIGPIPE.
        QProcess piped;
        piped.setChildProcessModifier([] {
            int ends[2];
            if (::pipe(ends) == 0) {
                ::close(ends[0]);
                ::dup2(ends[1], STDOUT_FILENO);
            }
        });
        piped.start(QStringLiteral(KELVARA_EDITOR_PROGRAM), {"--help"});
        QVERIFY(piped.waitForFinished(20000));
        QCOMPARE(piped.exitStatus(), QProcess::NormalExit);
        QCOMPARE(piped.exitCode(), 1);
        QVERIFY(piped.readAllStandardError().contains("標準出力に書き込めませんでした"));
#endif
        editor.setStandardOutputFile(QString());
        editor.start(QStringLiteral(KELVARA_EDITOR_PROGRAM), {"--version"});
        QVERIFY(editor.waitForFinished(20000));
        QCOMPARE(editor.exitCode(), 0);
        QCOMPARE(editor.readAllStandardOutput().trimmed(),  // "\r\n" on Windows
                 QByteArray("kelvara-editor " KELVARA_VERSION));
    }

    // The box's change notification reaches the editor as the user types and composes: a
    // two-digit number passes through its first digit; what an input method commits counts too.
    void plateNumberBoxTakesWhatIsTypedAndComposed() {
        FakeDialogs dialogs;
        FormMain w(dialogs);
        for (int i = 0; i < 4; ++i) w.CommandNext->click();
        w.TextPlateNum->selectAll();
        QTest::keyClicks(w.TextPlateNum, QStringLiteral("12"));
        QCOMPARE(w.LabelPlate->text(), QStringLiteral("1/5"));
        QCOMPARE(w.TextPlateNum->text(), QStringLiteral("12"));
        QCOMPARE(dialogs.boxes.size(), size_t(1));
        QCOMPARE(dialogs.boxes[0].text, std::string("現在そのプレートは作られてません"));
        w.TextPlateNum->setText(QStringLiteral("0"));  // from code, as the user's paste
        QCOMPARE(w.TextPlateNum->text(), QStringLiteral("1"));

        for (int i = 0; i < 11; ++i) w.CommandNext->click();
        w.TextPlateNum->clear();
        // The input method commits each full-width digit as it is typed.
        for (const QString& digit : {QStringLiteral("１"), QStringLiteral("２")}) {
            QInputMethodEvent commit;
            commit.setCommitString(digit);
            QApplication::sendEvent(w.TextPlateNum, &commit);
        }
        QCOMPARE(w.LabelPlate->text(), QStringLiteral("12/12"));
        QCOMPARE(w.TextPlateNum->text(), QStringLiteral("12"));
        QCOMPARE(dialogs.boxes.size(), size_t(1));
    }

    void portMenuKeepsItsSingleCheckMark() {
        FakeDialogs dialogs;
        FormMain w(dialogs);
        w.menucom[2]->trigger();
        for (int i = 0; i < 9; ++i) QCOMPARE(w.menucom[i]->isChecked(), i == 2);
        QCOMPARE(w.document().ComPort, std::int16_t(3));
        w.menucom[2]->trigger();  // choosing the checked port keeps its mark
        QVERIFY(w.menucom[2]->isChecked());
    }

    void openStartsInTheExamplesUntilAFileIsChosen() {
        // Beside the program (the build tree, Windows), else in share/ beside bin/ (installed).
        const QString program = QCoreApplication::applicationDirPath();
        const QString beside = QDir::cleanPath(program + "/examples");
        const QString installed = QDir::cleanPath(program + "/../share/kelvara-editor/examples");
        QDir(beside).removeRecursively();
        QDir(installed).removeRecursively();
        FakeDialogs dialogs;
        FormMain w(dialogs);
        w.MenuOpen->trigger();  // each cancelled
        QVERIFY(QDir().mkpath(installed));
        w.MenuOpen->trigger();
        QVERIFY(QDir().mkpath(beside));
        w.MenuOpen->trigger();
        QDir(beside).removeRecursively();
        QDir(installed).removeRecursively();
        std::vector<std::string> starts;
        for (const auto& request : dialogs.openRequests) starts.push_back(request.initialPath);
        QCOMPARE(starts,
                 (std::vector<std::string>{"", installed.toStdString(), beside.toStdString()}));
    }

    // The web app shows the window's pictures as files: they are what the window paints.
    // KELVARA_UPDATE_ARTWORK=1 writes them anew.
    void theWebAppsPicturesAreTheWindows() {
#if defined(_WIN32)
        QSKIP("the logo's letters are drawn with the fonts of the system the pictures come from");
#endif
        const QString folder = QStringLiteral(KELVARA_WEB_ARTWORK);
        const std::pair<const char*, QPixmap> pictures[] = {
            {"background.png", kelvara::BackgroundPicture()}, {"logo.png", kelvara::LogoPicture()}};
        for (const auto& [name, picture] : pictures) {
            const QString path = folder + QLatin1Char('/') + QLatin1String(name);
            if (qEnvironmentVariableIsSet("KELVARA_UPDATE_ARTWORK")) {
                QVERIFY(picture.save(path, "PNG"));
            }
            QImage saved(path);
            QVERIFY2(!saved.isNull(), qPrintable(path));
            QCOMPARE(saved.convertToFormat(QImage::Format_ARGB32),
                     picture.toImage().convertToFormat(QImage::Format_ARGB32));
        }
    }

    void helpOpensThePageBesideTheProgramOnlyWhenItExists() {
        FakeDialogs dialogs;
        FormMain w(dialogs);
        const QString page = QCoreApplication::applicationDirPath() + "/readme.html";
        QFile::remove(page);
        w.MenuHelpUse->trigger();
        QVERIFY(dialogs.opened.isEmpty());
        QVERIFY(dialogs.boxes.empty());
        QFile file(page);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        w.MenuHelpUse->trigger();
        QCOMPARE(dialogs.opened, QStringList{page});
        QFile::remove(page);
        // Installed, the page lives in the data directory beside bin/.
        const QString installed = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                                  "/../share/kelvara-editor/readme.html");
        QVERIFY(QDir().mkpath(QFileInfo(installed).path()));
        QFile other(installed);
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.close();
        w.MenuHelpUse->trigger();
        QCOMPARE(dialogs.opened, (QStringList{page, installed}));
        QFile::remove(installed);
    }

    // The file the window opens at start: the first argument that is no option, with its whole
    // path (the program may later run in another folder), in the system's separators.
    void theFileToOpenIsTheFirstArgumentThatIsNoOption() {
        const QString here = QDir::toNativeSeparators(QDir::current().absoluteFilePath("a.dat"));
        const QString elsewhere = QDir::toNativeSeparators(QDir::rootPath() + "b.dat");
        const struct {
            QStringList arguments;
            std::optional<QString> file;
        } cases[] = {
            {{"kelvara-editor"}, std::nullopt},
            {{"kelvara-editor", "-reverse", "--x"}, std::nullopt},
            {{"kelvara-editor", "-reverse", "a.dat", "c.dat"}, here},
            {{"kelvara-editor", "", QDir::rootPath() + "b.dat"}, elsewhere},
        };
        for (const auto& c : cases) {
            const std::optional<std::string> file = kelvara::FileToOpen(c.arguments);
            QCOMPARE(file.has_value(), c.file.has_value());
            if (file) QCOMPARE(QString::fromStdString(*file), *c.file);
        }
    }

    void exitCommandsCloseTheWindow() {
#if defined(_WIN32)
        QSKIP(
            "the Windows build runs its window tests headless under Wine: no window is activated");
#endif
        FakeDialogs dialogs;
        FormMain w(dialogs);
        w.show();
        QTest::mouseClick(w.CommandClose, Qt::LeftButton);
        QVERIFY(!w.isVisible());
        w.show();
        w.MenuEnd->trigger();
        QVERIFY(!w.isVisible());
        QVERIFY(dialogs.boxes.empty());
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
