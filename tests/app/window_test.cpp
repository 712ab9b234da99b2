#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QtTest>

#include "app/appearance.h"
#include "app/formmain.h"
#include "fake_dialogs.h"

using kelvara::FormMain;
using kelvara::test::FakeDialogs;

namespace {

QColor Face(const QPushButton* button) { return button->palette().color(QPalette::Button); }

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
        w.RefreshData(0);
        const QImage face = w.CommandMa[0]->grab().toImage();
        const QColor middle = face.pixelColor(face.width() / 2 - 8, face.height() / 2 + 10);
        QVERIFY2(middle.red() > 200 && middle.green() < 120 && middle.blue() < 120,
                 qPrintable(middle.name()));
        QCOMPARE(w.MenuHelpUse->text(), QStringLiteral("使い方"));
    }

    void newResetsRulesButKeepsFilePortAndUndo() {
        FakeDialogs dialogs;
        FormMain w(dialogs);
        auto& doc = w.document();
        doc.PlateCount = 12;
        doc.NowPlate = 5;
        doc.GameMode = 1;
        doc.FileName = "/tmp/x.dat";
        doc.ComPort = 3;
        doc.MaData.fill(1);
        w.SetAll();
        QVERIFY(w.OptionMode[1]->isChecked());
        for (auto* widget : PlateControls(w)) QVERIFY(!widget->isEnabled());
        w.setWindowTitle(QStringLiteral("KelvaraEditor(/tmp/x.dat)"));
        w.CommandRe->setEnabled(true);
        w.LabelMes->setText(QStringLiteral("message"));

        w.MenuNew->trigger();

        QCOMPARE(w.LabelPlate->text(), QStringLiteral("1/1"));
        QVERIFY(w.OptionMode[0]->isChecked());
        for (auto* widget : PlateControls(w)) QVERIFY(widget->isEnabled());
        for (auto* b : w.CommandMa) QCOMPARE(b->text(), QStringLiteral("0"));
        QCOMPARE(doc.FileName, std::string("/tmp/x.dat"));
        QCOMPARE(doc.ComPort, std::int16_t(3));
        QCOMPARE(w.windowTitle(), QStringLiteral("KelvaraEditor(/tmp/x.dat)"));
        QVERIFY(w.CommandRe->isEnabled());
        QCOMPARE(w.LabelMes->text(), QStringLiteral("message"));
    }

    void outOfTableValuesLeaveTheControlsAsTheyWere() {
        FakeDialogs dialogs;
        FormMain w(dialogs);
        auto& doc = w.document();
        doc.AcData[1] = 2;
        w.SetAll();
        QVERIFY(w.OptionAc[2]->isChecked());
        doc.AcData[1] = 5;
        doc.IfData[1][4] = 7;
        doc.MaData[10] = 2;  // "any" is no pattern value
        doc.MaData[11] = 1;
        w.SetAll();
        QVERIFY(w.OptionAc[2]->isChecked());
        QCOMPARE(doc.AcData[1], std::int16_t(5));  // the kept option's handler did not run
        QCOMPARE(w.CommandIf[4]->text(), QStringLiteral("*"));
        QCOMPARE(w.CommandMa[10]->text(), QStringLiteral("0"));
        QCOMPARE(w.CommandMa[11]->text(), QStringLiteral("1"));
        QCOMPARE(Face(w.CommandMa[11]), QColor(255, 51, 51));
        doc.GameMode = 9;
        w.SetAll();
        QVERIFY(w.OptionMode[0]->isChecked());
    }

    void refreshRedrawsOnlyItsGrid() {
        FakeDialogs dialogs;
        FormMain w(dialogs);
        auto& doc = w.document();
        doc.MaData.fill(1);
        doc.IfData[1].fill(0);
        w.RefreshData(1);
        QCOMPARE(w.CommandMa[0]->text(), QStringLiteral("0"));
        QCOMPARE(w.CommandIf[0]->text(), QStringLiteral("0"));
        w.RefreshData(0);
        QCOMPARE(w.CommandMa[0]->text(), QStringLiteral("1"));
        doc.MaData.fill(0);
        w.RefreshData(2);
        QCOMPARE(w.CommandMa[0]->text(), QStringLiteral("1"));
    }

    void portMenuMovesItsSingleCheckMark() {
        FakeDialogs dialogs;
        FormMain w(dialogs);
        w.menucom[2]->trigger();
        for (int i = 0; i < 9; ++i) QCOMPARE(w.menucom[i]->isChecked(), i == 2);
        QCOMPARE(w.document().ComPort, std::int16_t(3));
        w.menucom[2]->trigger();  // choosing the checked port keeps its mark
        QVERIFY(w.menucom[2]->isChecked());
    }

    void statusTimerRestoresTheRestingTextOnTheFourthTick() {
        FakeDialogs dialogs;
        FormMain w(dialogs);
        for (int tick = 1; tick <= 3; ++tick) {
            w.TimerMesTimer();
            QCOMPARE(w.LabelMes->text(), QStringLiteral("KelvaraEditor"));
        }
        w.ShowMessage(QStringLiteral("again"));  // re-arming restarts the count
        for (int tick = 1; tick <= 3; ++tick) w.TimerMesTimer();
        QCOMPARE(w.LabelMes->text(), QStringLiteral("again"));
        w.TimerMesTimer();
        QCOMPARE(w.LabelMes->text(), QStringLiteral("Kelvaraを編集してください。"));
        QVERIFY(!w.TimerMes->isActive());
        QCOMPARE(w.statusTimer().MesCount, std::int16_t(4));
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

    void exitCommandsCloseTheWindow() {
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
