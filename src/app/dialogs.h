#pragma once

#include <QString>
#include <optional>

#include "editor/editor_view.h"

class QWidget;

namespace kelvara {

// Everything modal or outside the window: message boxes, file dialogs and asking the
// desktop to open a document. The window only talks to this interface, so tests can
// see each box without a modal loop.
class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // A modal box with an OK button only.
    virtual void Message(QWidget* parent, const Box& box) = 0;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<QString> OpenFileName(QWidget* parent, const FileRequest& request) = 0;
    virtual std::optional<QString> SaveFileName(QWidget* parent, const FileRequest& request) = 0;
    // Opens a local file with the desktop's default application; false when none could.
    virtual bool OpenWithDesktop(const QString& path) = 0;
};

// The real boxes and dialogs.
class QtDialogs final : public Dialogs {
  public:
    void Message(QWidget* parent, const Box& box) override;
    std::optional<QString> OpenFileName(QWidget* parent, const FileRequest& request) override;
    std::optional<QString> SaveFileName(QWidget* parent, const FileRequest& request) override;
    bool OpenWithDesktop(const QString& path) override;
};

}  // namespace kelvara
