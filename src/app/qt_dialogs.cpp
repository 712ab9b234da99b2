#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "app/dialogs.h"

namespace kelvara {

void QtDialogs::Message(QWidget* parent, const QString& text, const QString& title, Icon icon) {
    QMessageBox box(icon == Icon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon, title,
                    text, QMessageBox::Ok, parent);
    box.exec();
}

namespace {
std::optional<QString> RunFileDialog(QWidget* parent, const QString& title, const QString& filter,
                                     const QString& initialPath, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setAcceptMode(mode);
    // No overwrite question, no existence check, no default extension: the name is taken
    // exactly as typed.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!initialPath.isEmpty()) dialog.selectFile(initialPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}
}  // namespace

std::optional<QString> QtDialogs::OpenFileName(QWidget* parent, const QString& title,
                                               const QString& filter, const QString& initialPath) {
    return RunFileDialog(parent, title, filter, initialPath, QFileDialog::AcceptOpen);
}

std::optional<QString> QtDialogs::SaveFileName(QWidget* parent, const QString& title,
                                               const QString& filter, const QString& initialPath) {
    return RunFileDialog(parent, title, filter, initialPath, QFileDialog::AcceptSave);
}

void QtDialogs::OpenWithDesktop(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace kelvara
