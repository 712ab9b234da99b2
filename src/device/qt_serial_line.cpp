#include "device/qt_serial_line.h"

#include <QByteArray>
#include <QMetaObject>
#include <QtGlobal>

#if defined(__linux__)
#include <linux/serial.h>
#include <sys/ioctl.h>
#elif defined(_WIN32)
#include <windows.h>
#endif

namespace kelvara {

#if defined(_WIN32)
static_assert(kCommRxOver == CE_RXOVER && kCommOverrun == CE_OVERRUN &&
              kCommRxParity == CE_RXPARITY && kCommFrame == CE_FRAME && kCommBreak == CE_BREAK &&
              kCommTxFull == CE_TXFULL);
#endif

QString PortNameFor(int n) {
    if (n >= 1 && n <= 9) {
        const QByteArray variable = "KELVARA_COM" + QByteArray::number(n);
        const QString name = qEnvironmentVariable(variable.constData());
        if (!name.isEmpty()) {
            return name;
        }
    }
#if defined(Q_OS_WIN)
    return QStringLiteral("COM%1").arg(n);
#else
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
#endif
}

QtSerialLine::QtSerialLine(QObject* parent) : QObject(parent) {
    port_.setPortName(PortNameFor(1));
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialLine::OnError);
}

QtSerialLine::~QtSerialLine() { Close(); }

void QtSerialLine::SetPort(std::int16_t number) { port_.setPortName(PortNameFor(number)); }

bool QtSerialLine::Open() {
    if (port_.isOpen()) {
        return true;
    }
    gone_ = false;
    opening_ = true;
    const bool opened = port_.open(QIODevice::ReadWrite);
    if (opened) {
        port_.setRequestToSend(false);  // fails on a pty, which has no RTS line
        port_.clear();                  // whatever the device sent before counts for nothing
        ReadLineErrors(false);
    }
    port_.clearError();
    opening_ = false;
    return opened;
}

bool QtSerialLine::IsOpen() const { return port_.isOpen(); }

void QtSerialLine::Close() {
    if (port_.isOpen()) {
        port_.close();
    }
    port_.clearError();
    gone_ = false;
}

void QtSerialLine::Write(std::string_view text) {
    if (LineGone() || !port_.isOpen()) {
        return;
    }
    port_.write(text.data(), static_cast<qint64>(text.size()));
    port_.flush();
}

std::string QtSerialLine::ReadAll() {
    if (LineGone() || !port_.isOpen()) {
        return {};
    }
    ReadLineErrors(true);
    const QByteArray data = port_.readAll();
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

void QtSerialLine::OnError(QSerialPort::SerialPortError error) {
    // Errors of opening are the port-open box's business; a closed port has no line.
    if (error == QSerialPort::NoError || opening_ || !port_.isOpen()) {
        return;
    }
    if (error == QSerialPort::ResourceError) {
        // The device side went away (adapter pulled, pty closed). The port is closed at its
        // next use, outside the port's own notification.
        gone_ = true;
        return;
    }
    Report(kLineErrorUndefined);
}

void QtSerialLine::Report(int code) {
    QMetaObject::invokeMethod(
        this, [this, code] { emit lineEvent(code); }, Qt::QueuedConnection);
}

bool QtSerialLine::LineGone() {
    if (gone_ && port_.isOpen()) {
        port_.close();
        port_.clearError();
    }
    return gone_;
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
#elif defined(_WIN32)
    DWORD errors = 0;
    if (ClearCommError(port_.handle(), &errors, nullptr) && report) {
        for (const int code : LineEventsFromCommErrors(errors)) {
            Report(code);
        }
    }
#else
    static_cast<void>(report);
#endif
}

}  // namespace kelvara
