#include "device/system_line_base.h"

#include <QMetaObject>
#include <utility>

namespace kelvara {

SystemLineBase::SystemLineBase(QObject* parent, PortLister ports)
    : QObject(parent), ports_(std::move(ports)) {}

std::string SystemLineBase::OpenErrorDetails() const {
    return PortOpenDetails(failure_, ThisSystem());
}

bool SystemLineBase::FindDeviceToOpen() {
    reported_.clear();
    failure_ = DeviceToOpen(number_, fixedDevice_, ports_);
    device_ = failure_.device;
    return !device_.empty();
}

void SystemLineBase::Report(int code) {
    if (!reported_.insert(code).second) {
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, code] { emit lineEvent(code); }, Qt::QueuedConnection);
}

}  // namespace kelvara
