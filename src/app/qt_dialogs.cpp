#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "app/dialogs.h"

namespace kelvara {

void QtDialogs::Message(QWidget* parent, const QString& text, const QString& title, Icon icon,
                        const QString& details) {
    QMessageBox box(icon == Icon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon, title,
                    text, QMessageBox::Ok, parent);
    if (!details.isEmpty()) box.setInformativeText(details);
    box.exec();
}

namespace {

// The dialog takes the patterns from the last parentheses of an entry and, with the details
// hidden, shows what stands before them. So "すべてのファイル(*.*) (*)" reads
// "すべてのファイル(*.*)" and shows every file, also one without a dot, which "*.*" would hide
// outside Windows.
QStringList NameFilters(const Dialogs::FileFilters& filters) {
    QStringList names;
    for (const Dialogs::FileFilter& filter : filters) {
        names << filter.caption + QStringLiteral(" (") + filter.patterns.join(u' ') +
                     QStringLiteral(")");
    }
    return names;
}

std::optional<QString> RunFileDialog(QWidget* parent, const QString& title,
                                     const Dialogs::FileFilters& filters,
                                     const QString& initialPath, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent, title);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilters(NameFilters(filters));
    dialog.setAcceptMode(mode);
    // No overwrite question, no existence check, no default extension: the name is taken
    // exactly as typed.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setFileMode(QFileDialog::AnyFile);
    // A folder is where the dialog starts; a file is offered again, in its folder.
    if (QFileInfo(initialPath).isDir()) {
        dialog.setDirectory(initialPath);
    } else if (!initialPath.isEmpty()) {
        dialog.selectFile(initialPath);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

}  // namespace

std::optional<QString> QtDialogs::OpenFileName(QWidget* parent, const QString& title,
                                               const FileFilters& filters,
                                               const QString& initialPath) {
    return RunFileDialog(parent, title, filters, initialPath, QFileDialog::AcceptOpen);
}

std::optional<QString> QtDialogs::SaveFileName(QWidget* parent, const QString& title,
                                               const FileFilters& filters,
                                               const QString& initialPath) {
    return RunFileDialog(parent, title, filters, initialPath, QFileDialog::AcceptSave);
}

void QtDialogs::OpenWithDesktop(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace kelvara
