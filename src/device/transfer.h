#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "document/document.h"

namespace kelvara {

// The serial line as the transfer routine sees it. The Qt adapter implements it over
// QSerialPort; tests implement it with a scripted device.
class SerialLine {
public:
    virtual ~SerialLine() = default;
    virtual void SetPort(std::int16_t number) = 0;  // COM number 1..9, used by the next Open
    virtual bool Open() = 0;                        // false when the port cannot be opened
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    virtual void Write(std::string_view text) = 0;  // hands characters to the port
    virtual std::string ReadAll() = 0;              // every character waiting, maybe none
};

// What the transfer routine needs from the window.
class TransferHost {
public:
    virtual ~TransferHost() = default;
    virtual void ProcessEvents() = 0;  // one pass of the window's pending events
    virtual void Sleep(int milliseconds) = 0;
    virtual void SetStatus(const std::string& text) = 0;  // the status label
    virtual void ArmStatusTimer() = 0;  // MesCount = 0, MesLimit = 3, timer on
    virtual void ShowPortOpenError() = 0;  // "ポートオープンエラー発生", "通信エラー", OK, no icon
    virtual void ShowTransferError(const std::string& text) = 0;  // "通信エラー", OK, exclamation
    virtual bool Closing() const = 0;  // the window is closing: stop at once
};

}  // namespace kelvara
