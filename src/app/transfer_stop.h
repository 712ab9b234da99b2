#pragma once

#include <QObject>

class QShortcut;
class QWidget;

namespace kelvara {

// Esc, while the window has focus, asks the transfer that is running to stop. Armed only while
// a transfer runs, so Esc means nothing to the window otherwise.
class TransferStopKey final : public QObject {
    Q_OBJECT

  public:
    explicit TransferStopKey(QWidget* window);

    void Arm();     // a transfer starts
    void Disarm();  // it has ended
    bool Requested() const { return requested_; }

  private:
    QShortcut* shortcut_;
    bool requested_ = false;
};

}  // namespace kelvara
