#include "device/transfer_pump.h"

#include <QEventLoop>
#include <utility>

namespace kelvara {

TransferPump::TransferPump(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &TransferPump::TimerDone);
}

void TransferPump::WatchLine(SystemLineBase* line) {
    disconnect(input_);
    line_ = line;
    if (line != nullptr) {
        input_ = connect(line, &SystemLineBase::inputArrived, this, &TransferPump::InputArrived);
    }
}

void TransferPump::Schedule(const TransferWait& wait, std::function<void()> resume) {
    resume_ = std::move(resume);
    kind_ = wait.kind;
    switch (wait.kind) {
        case TransferWait::Kind::kDone:
            timer_.stop();
            Fire();
            return;
        case TransferWait::Kind::kEvents:
            timer_.start(0);
            return;
        case TransferWait::Kind::kInput:
            timer_.start(std::max(0, wait.milliseconds));
            return;
        case TransferWait::Kind::kPause: {
            // The 10 ms and 30 ms pauses are the line's pace. An event loop's timer fires up to
            // a millisecond late (it counts whole milliseconds), which would add a tenth to
            // every pause: it is set a millisecond short, and the loop goes round until the
            // pause's own deadline has passed.
            const int milliseconds = std::max(0, wait.milliseconds);
            deadline_ = QDeadlineTimer(milliseconds, Qt::PreciseTimer);
            timer_.start(std::max(0, milliseconds - 1));
            return;
        }
    }
}

void TransferPump::TimerDone() {
    if (kind_ == TransferWait::Kind::kPause && !deadline_.hasExpired()) {
        timer_.start(0);
        return;
    }
    Fire();
}

void TransferPump::Drive(ComMain& transfer, std::function<void()> done) {
    const TransferWait wait = transfer.Resume();
    if (wait.kind == TransferWait::Kind::kDone) {
        QMetaObject::invokeMethod(this, std::move(done), Qt::QueuedConnection);
        return;
    }
    Schedule(wait, [this, &transfer, done = std::move(done)]() mutable {
        Drive(transfer, std::move(done));
    });
}

void TransferPump::Fire() {
    // The resume may schedule the next wait, and may show a box whose own event loop runs
    // while it is open: nothing is pending meanwhile.
    kind_ = TransferWait::Kind::kDone;
    std::function<void()> resume = std::move(resume_);
    resume_ = nullptr;
    if (resume) resume();
}

void TransferPump::InputArrived() {
    // The answer has come: the poll runs as soon as the loop goes round, outside the port's own
    // notification.
    if (kind_ == TransferWait::Kind::kInput && timer_.isActive()) {
        timer_.start(0);
    }
}

TransferResult RunTransfer(ComMain& transfer, SystemLineBase* line,
                           const std::function<void(const TransferWait&)>& onWait) {
    TransferPump pump;
    pump.WatchLine(line);
    QEventLoop loop;
    std::function<void()> step = [&] {
        const TransferWait wait = transfer.Resume();
        if (wait.kind == TransferWait::Kind::kDone) {
            loop.quit();
            return;
        }
        if (onWait) onWait(wait);
        pump.Schedule(wait, step);
    };
    QMetaObject::invokeMethod(&pump, step, Qt::QueuedConnection);
    loop.exec();
    return transfer.Result();
}

}  // namespace kelvara
