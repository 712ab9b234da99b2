// The editor's window as a Windows program, driven like a user would: its buttons write to and
// read from the machine behind COM KELVARA_TEST_COM over the Windows serial line, and its file
// commands save and open a data file with a Japanese name in a Japanese folder under
// KELVARA_TEST_DIR (which holds fifty.dat, a 50-plate document); then a write stopped with Esc and
// a read cut short by closing the window. Run by tests/windows/wine-harness.

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/formmain.h"
#include "device/system_serial_line.h"
#include "fake_dialogs.h"
#include "files/datafile.h"

namespace kelvara {

class WindowEndToEndTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        if (qEnvironmentVariableIntValue("KELVARA_TEST_COM") < 1 ||
            qEnvironmentVariableIsEmpty("KELVARA_TEST_DIR")) {
            QSKIP("KELVARA_TEST_COM and KELVARA_TEST_DIR are set by the Wine harness");
        }
    }

    void writesReadsSavesAndOpensThroughTheWindow() {
        const QString dir = qEnvironmentVariable("KELVARA_TEST_DIR");
        const QString fifty = QDir(dir).filePath(QStringLiteral("fifty.dat"));
        const QString japanese = QDir(dir).filePath(QStringLiteral("ケルバラ/パターン.dat"));
        QFile source(fifty);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray sent = source.readAll();

        test::FakeDialogs dialogs;
        SystemSerialLine line;
        FormMain window(dialogs, &line);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.document().ComPort =
            static_cast<std::int16_t>(qEnvironmentVariableIntValue("KELVARA_TEST_COM"));

        // Open the 50 plates and send them with "データ転送".
        dialogs.fileAnswers.push_back(QDir::toNativeSeparators(fifty));
        window.MenuOpen->trigger();
        QCOMPARE(window.document().PlateCount, std::int16_t(50));
        QTest::mouseClick(window.CommandSendData, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!window.editor().transferBusy(), 30000);
        QCOMPARE(window.LabelMes->text(), QStringLiteral("データ書き込み完了"));

        // A new document, then "データ読み込み" brings the machine's 50 plates back.
        window.MenuNew->trigger();
        QCOMPARE(window.document().PlateCount, std::int16_t(1));
        QTest::mouseClick(window.CommandRead, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!window.editor().transferBusy(), 30000);
        QCOMPARE(window.LabelMes->text(), QStringLiteral("データ読み出し完了"));
        QCOMPARE(QByteArray::fromStdString(FormatDataFile(window.document())), sent);

        // Saved as ケルバラ\パターン.dat, and opened again into a new document.
        dialogs.fileAnswers.push_back(QDir::toNativeSeparators(japanese));
        window.MenuNewSave->trigger();
        QVERIFY(window.windowTitle().contains(QStringLiteral("パターン.dat")));
        window.MenuNew->trigger();
        dialogs.fileAnswers.push_back(QDir::toNativeSeparators(japanese));
        window.MenuOpen->trigger();
        QCOMPARE(QByteArray::fromStdString(FormatDataFile(window.document())), sent);
        QVERIFY2(dialogs.boxes.empty(), dialogs.boxes.empty() ? "" : dialogs.boxes[0].text.c_str());

        // A write stopped with Esc, then a read cut short by closing the window: each ends its
        // transfer early, and the harness counts that the port's timer requests were paired.
        QTest::mouseClick(window.CommandSendData, Qt::LeftButton);
        QTRY_VERIFY(window.LabelMes->text().startsWith(QStringLiteral("書き込みデータ送信中")));
        window.editor().StopTransfer();
        QTRY_VERIFY_WITH_TIMEOUT(!window.editor().transferBusy(), 10000);
        QTest::qWait(700);  // the line rests after a broken write
        QTest::mouseClick(window.CommandRead, Qt::LeftButton);
        QVERIFY(window.editor().transferBusy());
        window.close();
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 10000);
        QVERIFY(!window.editor().transferBusy());
    }
};

}  // namespace kelvara

QTEST_MAIN(kelvara::WindowEndToEndTest)
#include "window_e2e_test.moc"
