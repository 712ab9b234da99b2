#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

#include "device/system_line_base.h"
#include "device/transfer.h"

namespace kelvara {

// Runs a transfer from the Qt event loop. Each wait the routine returns ends at its deadline, to
// a fraction of a millisecond (the events before a poll: as soon as the loop has gone round); a
// wait for input also ends as soon as the watched line announces input. A box or dialog opened
// meanwhile runs the same event loop, so the exchange goes on beneath it at the line's pace.
class TransferPump final : public QObject {
    Q_OBJECT

  public:
    explicit TransferPump(QObject* parent = nullptr);

    // Input announced by line ends a wait for input early; nullptr: every wait runs its time.
    void WatchLine(SystemLineBase* line);

    // Calls resume once wait is over (at once for kDone). One wait at a time: a new one
    // replaces the one pending.
    void Schedule(const TransferWait& wait, std::function<void()> resume);

    // Resumes transfer at every wait until it is over, then calls done on the event loop (so
    // that line events it raised during its last poll are delivered first).
    void Drive(ComMain& transfer, std::function<void()> done);

    // A wait is pending.
    bool Pending() const { return timer_.isActive(); }

  private:
    void TimerDone();
    void Fire();
    void InputArrived();

    QTimer timer_;
    QDeadlineTimer deadline_;
    QPointer<SystemLineBase> line_;
    QMetaObject::Connection input_;
    TransferWait::Kind kind_ = TransferWait::Kind::kDone;
    std::function<void()> resume_;
};

// Runs transfer to its end on a local event loop of its own (for a caller that has nothing else
// to do meanwhile: the tests, the benchmark). onWait, when given, sees each wait before it
// starts. Returns how the transfer ended.
TransferResult RunTransfer(ComMain& transfer, SystemLineBase* line,
                           const std::function<void(const TransferWait&)>& onWait = {});

}  // namespace kelvara
