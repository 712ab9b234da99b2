// Open, save and save-as from the file menu, through scripted file dialogs.
#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

#include "app/appearance.h"
#include "app/formmain.h"
#include "fake_dialogs.h"

using kelvara::FormMain;
using kelvara::test::FakeDialogs;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

const QByteArray kStartUpFile =
    "0,1,1\r\n"
    "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\r\n"
    "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\r\n"
    "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\r\n"
    "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\r\n"
    "0,0,0,0,0,0,0,0,0\r\n"
    "0\r\n"
    "2,2,2,2,2,2,2,2,2\r\n"
    "1\r\n";

}  // namespace

class FileCommandsTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { kelvara::ApplyAppearance(*qApp); }

    void saveAsWritesTheFileAndNamesTheWindow() {
        QTemporaryDir dir;
        FakeDialogs dialogs;
        FormMain w(dialogs);
        const QString path = dir.filePath("plate.dat");
        dialogs.fileAnswers = {path};
        w.MenuNewSave->trigger();
        QCOMPARE(ReadAll(path), kStartUpFile);
        QCOMPARE(w.windowTitle(), "KelvaraEditor(" + path + ")");
        QCOMPARE(dialogs.saveRequests.at(0).title, QStringLiteral("名前をつけて保存"));
        // The type list as the user reads it; "すべてのファイル(*.*)" shows every file.
        const auto& filters = dialogs.saveRequests.at(0).filters;
        QCOMPARE(filters.size(), size_t(2));
        QCOMPARE(filters[0].caption, QStringLiteral("データファイル(*.dat)"));
        QCOMPARE(filters[0].patterns, QStringList{QStringLiteral("*.dat")});
        QCOMPARE(filters[1].caption, QStringLiteral("すべてのファイル(*.*)"));
        QCOMPARE(filters[1].patterns, QStringList{QStringLiteral("*")});
        // The last path is offered again, also to the open dialog.
        w.MenuOpen->trigger();
        QCOMPARE(dialogs.openRequests.at(0).initialPath, path);
        QCOMPARE(dialogs.openRequests.at(0).title, QStringLiteral("ファイルを開く"));
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
        QTemporaryDir dir;
        const QString path = dir.filePath("a.dat");
        Write(path, kStartUpFile);
        dialogs.fileAnswers = {path};
        w.MenuOpen->trigger();
        w.MenuOpen->trigger();
        FormMain fresh(dialogs);
        fresh.MenuNewSave->trigger();
        QDir(beside).removeRecursively();
        QDir(installed).removeRecursively();
        const QStringList starts{
            dialogs.openRequests.at(0).initialPath, dialogs.openRequests.at(1).initialPath,
            dialogs.openRequests.at(2).initialPath, dialogs.openRequests.at(4).initialPath};
        QCOMPARE(starts, (QStringList{QString(), installed, beside, path}));
        // Saving never starts there: the installed folder is no place for the user's files.
        QCOMPARE(dialogs.saveRequests.at(0).initialPath, QString());
    }

    void cancelledSaveLeavesEmptyParentheses() {
        FakeDialogs dialogs;
        FormMain w(dialogs);
        w.MenuOverSave->trigger();  // no file yet: save-as, cancelled
        QCOMPARE(dialogs.saveRequests.size(), size_t(1));
        QCOMPARE(w.windowTitle(), QStringLiteral("KelvaraEditor()"));
    }

    void openReplacesTheDocumentAndShowsPlateOne() {
        QTemporaryDir dir;
        FakeDialogs dialogs;
        FormMain w(dialogs);
        const QString path = dir.filePath("life.dat.txt");  // ".dat" anywhere in the name
        QByteArray text = kStartUpFile;
        text.replace(0, 5, "1,4,2");
        text += "0,0,0,0,0,0,0,0,0\r\n3\r\n";
        Write(path, text);
        for (int i = 0; i < 3; ++i) w.CommandNext->click();
        dialogs.fileAnswers = {path};
        w.MenuOpen->trigger();
        QVERIFY(dialogs.boxes.empty());
        QCOMPARE(w.LabelPlate->text(), QStringLiteral("1/2"));
        QVERIFY(w.OptionMode[1]->isChecked());
        QVERIFY(!w.CommandIf[0]->isEnabled());
        QCOMPARE(w.document().ComPort, std::int16_t(4));
        QVERIFY(w.menucom[0]->isChecked());  // the check mark stays where it was
        QCOMPARE(w.windowTitle(), "KelvaraEditor(" + path + ")");
    }

    void unknownFilesAreRefusedAndChangeNothing() {
        QTemporaryDir dir;
        FakeDialogs dialogs;
        FormMain w(dialogs);
        Write(dir.filePath("PLATE.DAT"), kStartUpFile);
        QByteArray zero = kStartUpFile;
        zero.replace(0, 5, "1,1,0");
        Write(dir.filePath("zero.dat"), zero);
        QByteArray many = kStartUpFile;
        many.replace(0, 5, "1,1,51");
        Write(dir.filePath("many.dat"), many);
        const QString refused[] = {dir.filePath("PLATE.DAT"), dir.filePath("zero.dat"),
                                   dir.filePath("many.dat"), dir.filePath("missing.dat"),
                                   dir.path() + "/sub.dat"};
        QVERIFY(QDir(dir.path()).mkdir("sub.dat"));
        for (const QString& path : refused) {
            dialogs.boxes.clear();
            dialogs.fileAnswers = {path};
            w.MenuOpen->trigger();
            QCOMPARE(dialogs.boxes.size(), size_t(1));
            QCOMPARE(dialogs.boxes[0].text, QStringLiteral("不明なファイルです。"));
            QCOMPARE(dialogs.boxes[0].title, QStringLiteral("エラー"));
            QVERIFY(dialogs.boxes[0].icon == kelvara::Dialogs::Icon::Exclamation);
            QCOMPARE(w.document().PlateCount, std::int16_t(1));
            QCOMPARE(w.document().GameMode, std::int16_t(0));
            QVERIFY(w.document().FileName.empty());
            QCOMPARE(w.windowTitle(), QStringLiteral("KelvaraEditor()"));
        }
    }

    void saveAsWithoutExtensionCannotBeOpenedAgain() {
        QTemporaryDir dir;
        FakeDialogs dialogs;
        FormMain w(dialogs);
        const QString path = dir.filePath("plain");
        dialogs.fileAnswers = {path, path};
        w.MenuNewSave->trigger();
        QVERIFY(QFile::exists(path));
        w.MenuOpen->trigger();
        QCOMPARE(dialogs.boxes.size(), size_t(1));
        QCOMPARE(dialogs.boxes[0].text, QStringLiteral("不明なファイルです。"));
    }

    void saveAfterNewOverwritesTheOpenedFile() {
        QTemporaryDir dir;
        FakeDialogs dialogs;
        FormMain w(dialogs);
        const QString path = dir.filePath("a.dat");
        QByteArray text = kStartUpFile;
        text.replace(0, 5, "0,2,1");
        text.replace(7, 1, "1");  // first pattern cell ON
        Write(path, text);
        dialogs.fileAnswers = {path};
        w.MenuOpen->trigger();
        QCOMPARE(w.CommandMa[0]->text(), QStringLiteral("1"));
        w.MenuNew->trigger();
        w.MenuOverSave->trigger();
        QCOMPARE(dialogs.saveRequests.size(), size_t(0));
        QByteArray expected = kStartUpFile;
        expected.replace(0, 5, "0,2,1");  // New keeps the port
        QCOMPARE(ReadAll(path), expected);
    }

    void failedSaveSaysSoAndKeepsTheOldFile() {
        QTemporaryDir dir;
        FakeDialogs dialogs;
        FormMain w(dialogs);
        const QString good = dir.filePath("good.dat");
        dialogs.fileAnswers = {good};
        w.MenuNewSave->trigger();
        const QString targets[] = {"/dev/full", dir.filePath("no/such/dir/x.dat")};
        for (const QString& target : targets) {
            dialogs.boxes.clear();
            dialogs.fileAnswers = {target};
            w.MenuNewSave->trigger();
            QCOMPARE(dialogs.boxes.size(), size_t(1));
            QCOMPARE(dialogs.boxes[0].text, QStringLiteral("ファイルを保存できませんでした。"));
            QCOMPARE(dialogs.boxes[0].title, QStringLiteral("エラー"));
            QCOMPARE(w.windowTitle(), "KelvaraEditor(" + good + ")");
        }
        QCOMPARE(ReadAll(good), kStartUpFile);
    }
};

QTEST_MAIN(FileCommandsTest)
#include "file_commands_test.moc"
