#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class QWidget;

namespace kelvara {

// Everything modal or outside the window: message boxes, file dialogs and asking the
// desktop to open a document. The window only talks to this interface, so tests can
// see each box without a modal loop.
class Dialogs {
  public:
    enum class Icon { None, Exclamation };

    // One entry of a file dialog's type list: the caption the user reads, and the file name
    // patterns it shows ("*" shows every file, also one without a dot).
    struct FileFilter {
        QString caption;
        QStringList patterns;
    };
    using FileFilters = std::vector<FileFilter>;

    virtual ~Dialogs() = default;
    // A modal box with an OK button only; details, when not empty, is shown below the text.
    virtual void Message(QWidget* parent, const QString& text, const QString& title, Icon icon,
                         const QString& details = QString()) = 0;
    // The chosen path, or nothing when the user cancelled. initialPath is offered again: a file
    // in its folder, a folder as the one the dialog starts in.
    virtual std::optional<QString> OpenFileName(QWidget* parent, const QString& title,
                                                const FileFilters& filters,
                                                const QString& initialPath) = 0;
    virtual std::optional<QString> SaveFileName(QWidget* parent, const QString& title,
                                                const FileFilters& filters,
                                                const QString& initialPath) = 0;
    // Opens a local file with the desktop's default application; the result is not examined.
    virtual void OpenWithDesktop(const QString& path) = 0;
};

// The real boxes and dialogs.
class QtDialogs final : public Dialogs {
  public:
    void Message(QWidget* parent, const QString& text, const QString& title, Icon icon,
                 const QString& details = QString()) override;
    std::optional<QString> OpenFileName(QWidget* parent, const QString& title,
                                        const FileFilters& filters,
                                        const QString& initialPath) override;
    std::optional<QString> SaveFileName(QWidget* parent, const QString& title,
                                        const FileFilters& filters,
                                        const QString& initialPath) override;
    void OpenWithDesktop(const QString& path) override;
};

}  // namespace kelvara
