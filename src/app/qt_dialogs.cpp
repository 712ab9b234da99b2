#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "app/dialogs.h"

namespace kelvara {

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

void QtDialogs::Message(QWidget* parent, const Box& box) {
    QMessageBox message(
        box.icon == Box::Icon::kExclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
        Text(box.title), Text(box.text), QMessageBox::Ok, parent);
    if (!box.details.empty()) message.setInformativeText(Text(box.details));
    message.exec();
}

namespace {

// The dialog takes the patterns from the last parentheses of an entry and, with the details
// hidden, shows what stands before them. So "すべてのファイル(*.*) (*)" reads
// "すべてのファイル(*.*)" and shows every file, also one without a dot, which "*.*" would hide
// outside Windows.
QStringList NameFilters(const std::vector<FileFilter>& filters) {
    QStringList names;
    for (const FileFilter& filter : filters) {
        QStringList patterns;
        for (const std::string& pattern : filter.patterns) patterns << Text(pattern);
        names << Text(filter.caption) + QStringLiteral(" (") + patterns.join(u' ') +
                     QStringLiteral(")");
    }
    return names;
}

std::optional<QString> RunFileDialog(QWidget* parent, const FileRequest& request,
                                     QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent, Text(request.title));
    const QString initialPath = Text(request.initialPath);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilters(NameFilters(request.filters));
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

std::optional<QString> QtDialogs::OpenFileName(QWidget* parent, const FileRequest& request) {
    return RunFileDialog(parent, request, QFileDialog::AcceptOpen);
}

std::optional<QString> QtDialogs::SaveFileName(QWidget* parent, const FileRequest& request) {
    return RunFileDialog(parent, request, QFileDialog::AcceptSave);
}

bool QtDialogs::OpenWithDesktop(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace kelvara
