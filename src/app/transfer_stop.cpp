#include "app/transfer_stop.h"

#include <QShortcut>
#include <QWidget>

namespace kelvara {

TransferStopKey::TransferStopKey(QWidget* window)
    : QObject(window), shortcut_(new QShortcut(QKeySequence(Qt::Key_Escape), window)) {
    shortcut_->setContext(Qt::WindowShortcut);
    shortcut_->setEnabled(false);
    connect(shortcut_, &QShortcut::activated, this, [this] { requested_ = true; });
}

void TransferStopKey::Arm() {
    requested_ = false;
    shortcut_->setEnabled(true);
}

void TransferStopKey::Disarm() {
    shortcut_->setEnabled(false);
    requested_ = false;
}

}  // namespace kelvara
