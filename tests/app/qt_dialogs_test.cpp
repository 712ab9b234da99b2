// The real message box and file dialogs, answered by a timer as a user would.
#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

#include "app/dialogs.h"

namespace {

// Runs answer on the modal widget as soon as it is open.
void WhenModal(std::function<void(QWidget*)> answer) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        }
    });
    timer->start(10);
}

}  // namespace

class QtDialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void messageBoxHasItsTextTitleIconAndOnlyOk() {
        kelvara::QtDialogs dialogs;
        QString text, title;
        QMessageBox::Icon icon = QMessageBox::Information;
        int buttons = 0;
        WhenModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            buttons = static_cast<int>(box->buttons().size());
            box->button(QMessageBox::Ok)->click();
        });
        dialogs.Message(nullptr, "ポートオープンエラー発生", "通信エラー",
                        kelvara::Dialogs::Icon::None);
        QCOMPARE(text, QStringLiteral("ポートオープンエラー発生"));
        QCOMPARE(title, QStringLiteral("通信エラー"));
        QCOMPARE(icon, QMessageBox::NoIcon);
        QCOMPARE(buttons, 1);
    }

    void saveDialogTakesTheNameAsTypedWithoutAQuestion() {
        QTemporaryDir dir;
        const QString existing = dir.filePath("plain");  // no extension is added
        QFile file(existing);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        kelvara::QtDialogs dialogs;
        QString title;
        WhenModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog);
            title = dialog->windowTitle();
            dialog->selectFile(existing);
            static_cast<QDialog*>(dialog)->accept();
        });
        const auto chosen = dialogs.SaveFileName(
            nullptr, "名前をつけて保存", "データファイル(*.dat);;すべてのファイル(*.*)", QString());
        QCOMPARE(title, QStringLiteral("名前をつけて保存"));
        QVERIFY(chosen.has_value());
        QCOMPARE(QFileInfo(*chosen).canonicalFilePath(), QFileInfo(existing).canonicalFilePath());
        QVERIFY(!QApplication::activeModalWidget());  // no "replace?" box followed
    }

    void cancelledOpenDialogChoosesNothing() {
        kelvara::QtDialogs dialogs;
        WhenModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
        QVERIFY(!dialogs.OpenFileName(nullptr, "ファイルを開く", "すべてのファイル(*.*)",
                                      "/tmp/x.dat"));
    }
};

QTEST_MAIN(QtDialogsTest)
#include "qt_dialogs_test.moc"
