#pragma once

#include <cstdint>
#include <optional>
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
    virtual void ArmStatusTimer() = 0;                    // MesCount = 0, MesLimit = 3, timer on
    virtual void ShowPortOpenError() = 0;  // "ポートオープンエラー発生", "通信エラー", OK, no icon
    virtual void ShowTransferError(const std::string& text) = 0;  // "通信エラー", OK, exclamation
    virtual bool Closing() const = 0;  // the window is closing: stop at once
};

// Transfer modes of ComMain; any other mode opens and closes the port and sends nothing.
inline constexpr std::int16_t kTransferRead = 0;
inline constexpr std::int16_t kTransferWrite = 1;
inline constexpr std::int16_t kTransferLifeGame = 2;

// Texts the transfers put on the status label.
inline constexpr char kWriteSendingText[] = "書き込みデータ送信中";
inline constexpr char kWriteDoneText[] = "データ書き込み完了";
inline constexpr char kLifeGameSendingText[] = "ライフゲームモードデータ送信中";
inline constexpr char kLifeGameDoneText[] = "ライフゲームモード送信完了";
inline constexpr char kReadingText[] = "データ読み出し中";
inline constexpr char kReadDoneText[] = "データ読み出し完了";
inline constexpr char kTransferRetryText[] = "通信エラーもう一度やってください。";

// Pacing of a transfer. A wait polls until the device has answered or the poll counter has
// passed pollLimit, so at most pollLimit + 2 polls.
struct TransferTiming {
    int pollLimit = 1000;
    int pollSleepMs = 3;      // after every poll that finds no answer
    int unitSleepMs = 10;     // after the count byte, the last row and each plate's last byte
    int requestSleepMs = 30;  // between the read request and the first poll
};

// Why doc cannot go out in the given mode: a value that has no character on the line (a
// pattern cell other than 0 or 1; for a write also a plate count outside 1..50, or in plates
// 1..PlateCount a condition cell outside 0..2 or a method outside 0..3). None when it can, and
// always none for a read or an unknown mode.
std::optional<std::string> UnsendableReason(const Document& doc, std::int16_t mode);

// One exchange with the device: gives doc.ComPort to the line, opens it, reads (0), writes (1)
// or sends life game mode (2), closes the line and reports a wait that gave up on the status
// label. A document that cannot be sent is refused with host.ShowTransferError before the
// port is opened. A read changes doc only when a whole, well-formed reply arrived. When
// host.Closing() turns true the exchange stops at its next poll, closes the port and returns
// without any further text.
void ComMain(std::int16_t mode, Document& doc, SerialLine& line, TransferHost& host,
             const TransferTiming& timing = {});

}  // namespace kelvara
