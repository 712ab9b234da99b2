#include "device/qt_serial_line.h"

// The serial line of Linux and macOS. (Windows has a line of its own: win32_serial_line.cpp.)

#include <QByteArray>
#include <QFile>
#include <QSerialPortInfo>
#include <QThread>
#include <QtGlobal>

#if defined(Q_OS_UNIX)
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif
#if defined(__linux__)
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace kelvara {

namespace {

// Why the port at path did not open, from what is there and what Qt reports.
void Classify(const std::string& path, QSerialPort::SerialPortError error,
              const std::string& reason, PortOpenFailure& failure) {
#if defined(Q_OS_UNIX)
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        failure.kind =
            errno == EACCES ? PortOpenFailure::Kind::kPermission : PortOpenFailure::Kind::kNotFound;
        return;
    }
    if (!S_ISCHR(info.st_mode) || reason == std::strerror(ENOTTY)) {
        failure.kind = PortOpenFailure::Kind::kNotTerminal;
        return;
    }
    if (error == QSerialPort::PermissionError) {
        // Either the user's to fix (the device's permissions) or another program holds it (its
        // lock file, or the device is opened exclusively).
        if (::access(path.c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
            failure.kind = PortOpenFailure::Kind::kPermission;
            // Joining the group helps only when the group may read and write it, and the
            // administrator's group is no group to join.
            const group* owner = ::getgrgid(info.st_gid);
            if (info.st_gid != 0 && owner != nullptr && (info.st_mode & S_IRGRP) != 0 &&
                (info.st_mode & S_IWGRP) != 0) {
                failure.group = owner->gr_name;
            }
        } else {
            failure.kind = PortOpenFailure::Kind::kBusy;
        }
        return;
    }
#else
    static_cast<void>(path);
    static_cast<void>(reason);
    if (error == QSerialPort::PermissionError) {
        failure.kind = PortOpenFailure::Kind::kBusy;
        return;
    }
#endif
    failure.kind = error == QSerialPort::DeviceNotFoundError ? PortOpenFailure::Kind::kNotFound
                                                             : PortOpenFailure::Kind::kOther;
}

}  // namespace

std::vector<PortInfo> SystemPorts() {
    std::vector<PortInfo> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortInfo port;
        port.location = info.systemLocation().toStdString();
        port.description = info.description().toStdString();
        port.manufacturer = info.manufacturer().toStdString();
        if (info.hasVendorIdentifier()) port.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier()) port.productId = info.productIdentifier();
        ports.push_back(std::move(port));
    }
    return ports;
}

QtSerialLine::QtSerialLine(QObject* parent, PortLister ports, LowLatency::Control control)
    : SystemLineBase(parent, std::move(ports)), lowLatency_(std::move(control)) {
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialLine::OnError);
    connect(&port_, &QSerialPort::readyRead, this, &SystemLineBase::inputArrived);
}

QtSerialLine::~QtSerialLine() { Close(); }

bool QtSerialLine::Open() {
    if (port_.isOpen()) {
        return true;
    }
    gone_ = false;
    if (!FindDeviceToOpen()) return false;
    path_ = DevicePathToOpen(device_);
    if (path_ != device_) failure_.opened = path_;
    // QSerialPort takes the name as text: a path whose bytes are no text cannot reach it.
    const QString name = QFile::decodeName(QByteArray::fromStdString(path_));
    if (QFile::encodeName(name).toStdString() != path_) {
        failure_.reason = "パスの文字を読み取れません（UTF-8 ではありません）";
        return false;
    }
    port_.setPortName(name);
    opening_ = true;
    const bool opened = port_.open(QIODevice::ReadWrite);
    if (opened) {
        // The driver raises RTS as it opens the device; lower it before anything else.
        port_.setRequestToSend(false);  // fails on a pty, which has no RTS line
        // Each '*' would otherwise wait for the adapter's latency timer.
        lowLatency_.Request(port_.handle());
        port_.clear();  // whatever the device sent before counts for nothing
        ReadLineErrors(false);
    } else {
        NoteOpenFailure();
    }
    port_.clearError();
    opening_ = false;
    return opened;
}

void QtSerialLine::NoteOpenFailure() {
    failure_.reason = port_.errorString().toStdString();
    Classify(path_, port_.error(), failure_.reason, failure_);
}

bool QtSerialLine::IsOpen() const { return port_.isOpen() && !gone_; }

void QtSerialLine::Close() {
    if (port_.isOpen()) {
        // Also after a read error took the line: the adapter may still be there.
        lowLatency_.Restore(port_.handle());
        port_.close();
    }
    port_.clearError();
    gone_ = false;
}

void QtSerialLine::Write(std::string_view text) {
    if (!IsOpen()) {
        return;
    }
    port_.write(text.data(), static_cast<qint64>(text.size()));
    port_.flush();
}

std::string QtSerialLine::ReadAll() {
    if (!IsOpen()) {
        return {};
    }
    ReadLineErrors(true);
    const QByteArray data = port_.readAll();
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

void QtSerialLine::OnError(QSerialPort::SerialPortError error) {
    // Errors of opening are the port-open box's business, and a closed port has no line.
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || opening_ ||
        !port_.isOpen()) {
        return;
    }
    if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError) {
        // The device side went away (adapter pulled, pty closed): once it has, every read
        // fails again. The transfer sees the line closed at its next poll; the port itself is
        // closed by the transfer, outside the port's own notification.
        gone_ = true;
        return;
    }
    Report(kLineErrorUndefined);
}

// Reads the driver's error record of the port; report = false takes the state at opening as
// the starting point.
void QtSerialLine::ReadLineErrors(bool report) {
#if defined(__linux__)
    if (!report) {
        countersReadable_ = true;
    }
    if (!countersReadable_) {
        return;
    }
    serial_icounter_struct now{};
    if (::ioctl(port_.handle(), TIOCGICOUNT, &now) != 0) {
        countersReadable_ = false;  // a pty or an adapter without counters (ENOTTY, EINVAL)
        return;
    }
    const LineErrorCounts counts{now.brk, now.frame, now.overrun, now.buf_overrun, now.parity};
    if (report) {
        for (const int code : LineEventsBetween(counts_, counts)) {
            Report(code);
        }
    }
    counts_ = counts;
#else
    static_cast<void>(report);
#endif
}

}  // namespace kelvara
