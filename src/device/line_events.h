#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvara {

// Events the serial line reports while the port is open. Codes 1..7 are ordinary traffic and
// line changes and are not shown; the others are errors shown in a box titled
// kLineEventTitle.
inline constexpr int kLineEventSent = 1;      // characters sent
inline constexpr int kLineEventReceived = 2;  // characters received
inline constexpr int kLineEventCts = 3;       // CTS changed
inline constexpr int kLineEventDsr = 4;       // DSR changed
inline constexpr int kLineEventCd = 5;        // CD changed
inline constexpr int kLineEventRing = 6;      // ring detected
inline constexpr int kLineEventEof = 7;       // end-of-file character received
inline constexpr int kLineErrorBreak = 1001;  // break signal received
inline constexpr int kLineErrorCtsTimeout = 1002;
inline constexpr int kLineErrorDsrTimeout = 1003;
inline constexpr int kLineErrorFrame = 1004;
inline constexpr int kLineErrorOverrun = 1006;  // the port missed characters
inline constexpr int kLineErrorCdTimeout = 1007;
inline constexpr int kLineErrorRxOver = 1008;  // receive buffer overflow
inline constexpr int kLineErrorParity = 1009;
inline constexpr int kLineErrorTxFull = 1010;     // transmit buffer full
inline constexpr int kLineErrorDcb = 1011;        // the port's settings could not be read
inline constexpr int kLineErrorUndefined = 9999;  // any fault of the port without its own code

inline constexpr std::string_view kLineEventTitle = "通信エラー";

// The message shown for a line event; none for the ignored codes 1..7.
std::optional<std::string> LineEventMessage(int code);

// The port's running error counters (Linux keeps them per tty).
struct LineErrorCounts {
    long breaks = 0;
    long frames = 0;
    long overruns = 0;
    long bufferOverruns = 0;
    long parities = 0;
};

// One event code for every counter that went up between two readings, in code order.
std::vector<int> LineEventsBetween(const LineErrorCounts& before, const LineErrorCounts& now);

// The error bits the Windows port driver reports (the CE_ values of its API).
inline constexpr std::uint32_t kCommRxOver = 0x0001;
inline constexpr std::uint32_t kCommOverrun = 0x0002;
inline constexpr std::uint32_t kCommRxParity = 0x0004;
inline constexpr std::uint32_t kCommFrame = 0x0008;
inline constexpr std::uint32_t kCommBreak = 0x0010;
inline constexpr std::uint32_t kCommTxFull = 0x0100;

// One event code for every error bit set, in code order.
std::vector<int> LineEventsFromCommErrors(std::uint32_t errors);

// What a browser's serial port reports when a read fails, by the name of the error it raises
// (Web Serial): a line event the port survives, or nothing for "NetworkError", the port gone.
std::optional<int> LineEventFromWebSerialError(std::string_view name);

}  // namespace kelvara
