// The real message box and file dialogs, answered by a timer as a user would.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

#include "app/dialogs.h"
#include "app/translations.h"

namespace {

// Runs answer on the first modal widget as soon as it is open. Any modal widget after it is an
// unexpected question: it is counted and dismissed, so that the dialog under test returns and
// the test fails on the count instead of hanging; so is a first one that stays open longer
// than ten seconds.
class ModalWatch {
  public:
    explicit ModalWatch(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
        clock_.start();
        QObject::connect(&timer_, &QTimer::timeout, [this] { Check(); });
        timer_.start(10);
    }
    int unexpected = 0;

  private:
    void Check() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        if (answered_ != nullptr && modal != answered_) {
            ++unexpected;
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        } else if (answered_ == nullptr) {
            answered_ = modal;
            answer_(modal);
        } else if (clock_.elapsed() > 10000) {
            ++unexpected;
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        }
    }

    std::function<void(QWidget*)> answer_;
    QWidget* answered_ = nullptr;
    QElapsedTimer clock_;
    QTimer timer_;
};

// The file dialogs' request as the editor makes it.
kelvara::FileRequest Request(const char* title, const QString& initialPath) {
    return {title,
            {{"データファイル(*.dat)", {"*.dat"}}, {"すべてのファイル(*.*)", {"*"}}},
            initialPath.toStdString()};
}

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
}

}  // namespace

class QtDialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void messageBoxHasItsTextTitleIconDetailsAndOnlyOk() {
        kelvara::QtDialogs dialogs;
        QString text, title, details;
        QMessageBox::Icon icon = QMessageBox::Information;
        int buttons = 0;
        ModalWatch watch([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            text = box->text();
            title = box->windowTitle();
            details = box->informativeText();
            icon = box->icon();
            buttons = static_cast<int>(box->buttons().size());
            box->button(QMessageBox::Ok)->click();
        });
        dialogs.Message(nullptr, {"ポートオープンエラー発生", "通信エラー",
                                  kelvara::Box::Icon::kNone, "ポート: COM1 (/dev/ttyUSB0)"});
        QCOMPARE(text, QStringLiteral("ポートオープンエラー発生"));
        QCOMPARE(title, QStringLiteral("通信エラー"));
        QCOMPARE(details, QStringLiteral("ポート: COM1 (/dev/ttyUSB0)"));
        QCOMPARE(icon, QMessageBox::NoIcon);
        QCOMPARE(buttons, 1);
        QCOMPARE(watch.unexpected, 0);
    }

    void saveDialogTakesTheNameAsTypedWithoutAQuestion() {
        QTemporaryDir dir;
        const QString existing = dir.filePath("plain");  // no extension is added
        QFile file(existing);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        kelvara::QtDialogs dialogs;
        QString title;
        ModalWatch watch([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog);
            title = dialog->windowTitle();
            dialog->selectFile(existing);
            static_cast<QDialog*>(dialog)->accept();
        });
        const auto chosen = dialogs.SaveFileName(nullptr, Request("名前をつけて保存", QString()));
        QCOMPARE(title, QStringLiteral("名前をつけて保存"));
        QCOMPARE(watch.unexpected, 0);  // no "replace?" box came between
        QVERIFY(chosen.has_value());
        QCOMPARE(QFileInfo(*chosen).canonicalFilePath(), QFileInfo(existing).canonicalFilePath());
    }

    void allFilesShowsNamesWithoutADot() {
        QTemporaryDir dir;
        for (const char* name : {"plate", "plate.dat"}) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        kelvara::QtDialogs dialogs;
        QStringList captions, shownByData, shownByAll;
        ModalWatch watch([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog);
            auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            auto* model = dialog->findChild<QFileSystemModel*>();
            QVERIFY(combo && model);
            captions = Items(combo);
            const auto shown = [&] {
                QStringList names;
                const QModelIndex root = model->index(dir.path());
                for (int row = 0; row < model->rowCount(root); ++row) {
                    names << model->index(row, 0, root).data().toString();
                }
                names.sort();
                return names;
            };
            QTRY_COMPARE(shown().size(), 1);
            shownByData = shown();
            dialog->selectNameFilter(dialog->nameFilters().at(1));
            QTRY_COMPARE(shown().size(), 2);
            shownByAll = shown();
            static_cast<QDialog*>(dialog)->reject();
        });
        dialogs.OpenFileName(nullptr, Request("ファイルを開く", dir.filePath("plate.dat")));
        QCOMPARE(captions, (QStringList{"データファイル(*.dat)", "すべてのファイル(*.*)"}));
        QCOMPARE(shownByData, QStringList{"plate.dat"});
        QCOMPARE(shownByAll, (QStringList{"plate", "plate.dat"}));
        QCOMPARE(watch.unexpected, 0);
    }

    void openDialogStartsInAGivenFolderWithNoNameFilledIn() {
        QTemporaryDir dir;
        kelvara::QtDialogs dialogs;
        QString shown;
        QString typed = QStringLiteral("unset");
        ModalWatch watch([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog);
            shown = dialog->directory().canonicalPath();
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            typed = name->text();
            static_cast<QDialog*>(dialog)->reject();
        });
        dialogs.OpenFileName(nullptr, Request("ファイルを開く", dir.path()));
        QCOMPARE(shown, QDir(dir.path()).canonicalPath());
        QCOMPARE(typed, QString());
        QCOMPARE(watch.unexpected, 0);
    }

    // Qt's own words in the dialog are Japanese too, as the editor loads Qt's translation.
    void cancelledOpenDialogChoosesNothingAndSpeaksJapanese() {
        kelvara::InstallQtTranslation(*qApp);
        kelvara::QtDialogs dialogs;
        QStringList buttons;
        QString label;
        ModalWatch watch([&](QWidget* modal) {
            for (auto* button : modal->findChildren<QAbstractButton*>()) buttons << button->text();
            if (auto* name = modal->findChild<QLabel*>(QStringLiteral("fileNameLabel"))) {
                label = name->text();
            }
            qobject_cast<QDialog*>(modal)->reject();
        });
        QVERIFY(!dialogs.OpenFileName(nullptr, Request("ファイルを開く", "/tmp/x.dat")));
        QVERIFY2(buttons.contains(QStringLiteral("キャンセル")), qPrintable(buttons.join('|')));
        QVERIFY2(label.startsWith(QStringLiteral("ファイル名")), qPrintable(label));
    }
};

QTEST_MAIN(QtDialogsTest)
#include "qt_dialogs_test.moc"
