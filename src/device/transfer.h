#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/document.h"

namespace kelvara {

// The serial line as the transfer routine sees it. The Qt adapter implements it over
// QSerialPort; tests implement it with a scripted device. Nothing of it waits: the routine's
// caller waits between polls, woken by the line's input where the line can tell of it.
class SerialLine {
  public:
    virtual ~SerialLine() = default;
    // COM number 1..9, used by the next Open. (Not "SetPort": a full <windows.h> makes that
    // name a macro for the printer function SetPortW, which renames whatever it meets.)
    virtual void SelectPort(std::int16_t number) = 0;
    virtual bool Open() = 0;  // false when the port cannot be opened
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    virtual void Write(std::string_view text) = 0;  // hands characters to the port
    virtual std::string ReadAll() = 0;              // every character waiting, maybe none
    // Why the last Open failed, in words for the user (the device tried and the system's
    // reason); empty when there is nothing to add to the port-open box.
    virtual std::string OpenErrorDetails() const { return {}; }
    // A line that opens in the background (a browser's port, which may first ask the user which
    // one): after Open, true until it is open or has failed. The routine waits meanwhile, and
    // the line announces the end of the opening as it announces input.
    virtual bool Opening() const { return false; }
    // After an Open that failed: the user was asked for a port and chose none.
    virtual bool NoPortChosen() const { return false; }
};

// What the transfer routine needs from the window.
class TransferHost {
  public:
    virtual ~TransferHost() = default;
    virtual void SetStatus(const std::string& text) = 0;  // the status label
    virtual void ArmStatusTimer() = 0;                    // MesCount = 0, MesLimit = 3, timer on
    virtual void ShowPortOpenError() = 0;  // "ポートオープンエラー発生", "通信エラー", OK, no icon
    virtual void ShowTransferError(const std::string& text) = 0;  // "通信エラー", OK, exclamation
    virtual bool Closing() const = 0;  // the window is closing: stop at once
    // The user asked to stop the transfer (Esc): it ends at its next poll like a time-out.
    virtual bool StopRequested() const { return false; }
    // done of total units after every wait (a write or life game mode: the units acknowledged
    // so far; a read: characters of the reply, total 0 while its length is not known yet).
    virtual void Progress(int done, int total) {
        static_cast<void>(done);
        static_cast<void>(total);
    }
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
inline constexpr char kNoPortChosenText[] = "ポートが選ばれなかったため、通信しませんでした。";

// Pacing of a transfer. A wait polls until the device has answered or the poll counter has
// passed pollLimit, so at most pollLimit + 2 polls.
struct TransferTiming {
    int pollLimit = 1000;
    int pollSleepMs = 3;      // after every poll that finds no answer, cut short by input
    int unitSleepMs = 10;     // after the count byte, the last row and each plate's last byte
    int requestSleepMs = 30;  // between the read request and the first poll
    // The editor goes on after a wait that gave up, sending the next unit and waiting again;
    // true ends the exchange at the first wait that gives up (nothing more is sent).
    bool endAtFirstTimeOut = false;
    // Silence on the line once the port is open, before the first character: after an exchange
    // that ended in the middle, the machine drops what it took of it only once the line has
    // been quiet for half a second.
    int restMs = 0;
};

// A value that has no character on the line. plate is 0 for the pattern and for the plate
// count; index is the pattern cell, or the condition cell 0..8 of the plate, or -1 for the
// plate's change method and for the plate count.
struct UnsendableValue {
    enum class Kind { kPatternCell, kPlateCount, kConditionCell, kMethod };
    Kind kind;
    int plate = 0;
    int index = -1;
    std::int16_t value = 0;
};

// Every value of doc that cannot go out in the given mode, in the order they would be sent: a
// pattern cell other than 0 or 1; for a write also a plate count outside 1..50, and in plates
// 1..PlateCount a condition cell outside 0..2 or a method outside 0..3. None for a read or an
// unknown mode.
std::vector<UnsendableValue> UnsendableValues(const Document& doc, std::int16_t mode);

// Why doc cannot go out in the given mode, for the user: the first of UnsendableValues. None when
// it can.
std::optional<std::string> UnsendableReason(const Document& doc, std::int16_t mode);

// How one call of ComMain ended.
enum class TransferResult {
    kDone,  // every unit acknowledged, or a whole reply taken
    kTimedOut,  // a wait gave up, or the reply was unusable: "通信エラーもう一度やってください。"
    kStopped,         // the user stopped it; reported like a time-out
    kLineLost,        // the device side went away; reported like a time-out
    kPortOpenFailed,  // the port could not be opened: the port-open box
    kRefused,         // a value has no character on the line: the "通信エラー" box
    kClosing,         // the window is closing: nothing reported
    kGaveUp,     // endAtFirstTimeOut: a wait gave up and nothing more was sent; like a time-out
    kNotChosen,  // the user chose no port: nothing sent, the status label says so
};

// What the routine waits for when it hands control back to its caller. The caller's event loop
// resumes it (ComMain::Resume) once the wait is over; meanwhile the window goes on as usual.
struct TransferWait {
    enum class Kind {
        kEvents,  // before a poll: let the window run its pending events once, then resume
        kInput,   // after a poll that found no answer: resume when input arrives, or after
                  // milliseconds at the latest
        kPause,   // the fixed pause after a unit or the read request: resume after milliseconds
        kDone,    // the transfer is over: Result() says how it ended
    };
    // How long the routine waits at most for a line that is opening before it looks again (the
    // line announces the end of the opening).
    static constexpr int kOpeningCheckMs = 100;
    Kind kind = Kind::kDone;
    int milliseconds = 0;
};

// One exchange with the device: gives doc.ComPort to the line, opens it, reads (0), writes (1)
// or sends life game mode (2), closes the line and reports a wait that gave up on the status
// label. A document that cannot be sent is refused with host.ShowTransferError before the
// port is opened; a value edited into it during the transfer that has no character stops the
// transfer at that unit (nothing more is sent, the port is closed) with the same box. A read
// changes doc only when a whole, well-formed reply arrived. The exchange also ends at its next
// poll, sending nothing more and closing the port, when the user stops it or the line goes away
// (both reported like a time-out) and when host.Closing() turns true (no further text); with
// timing.endAtFirstTimeOut also at the first wait that gives up.
//
// Nothing happens at construction. Each Resume runs the exchange on until its next wait and
// returns that wait; the caller resumes it when the wait is over, until kDone. Everything sent
// is read from doc at the moment it goes out, so an edit made while the routine waits goes out
// with the units that follow it. doc, line and host must outlive the transfer.
class ComMain {
  public:
    ComMain(std::int16_t mode, Document& doc, SerialLine& line, TransferHost& host,
            const TransferTiming& timing = {});

    TransferWait Resume();
    bool Finished() const { return phase_ == Phase::kFinished; }
    std::int16_t Mode() const { return mode_; }
    // Characters went out on the line (a machine may hold the start of an unfinished write).
    bool SentAnything() const { return sent_; }
    TransferResult Result() const { return result_; }  // once Finished

  private:
    // One step of the exchange; the wait comes from Execute.
    enum class Op {
        kRest,           // the silence before the first character
        kSendingText,    // the mode's status text before the first unit
        kSendCount,      // the plate count byte
        kSendMarker,     // life game mode's "ff"
        kSendRequest,    // the read request "00"
        kSendRow,        // pattern row arg
        kBeginPlates,    // the plate count is read again: the plates' steps follow
        kSendPlateUnit,  // unit arg % 3 of plate arg / 3
        kPause,          // the pause after a unit
        kPauseRequest,   // the pause after the read request
        kAwaitAck,       // until the device has sent exactly one '*'
        kAwaitReply,     // until the reply is framed by '*'
        kTakeReply,      // a whole reply goes into the document
        kDoneText,       // the mode's completion text, and the status timer armed
    };
    struct Step {
        Op op;
        int arg = 0;
    };
    // How the exchange ends before its last step.
    enum class Stop { kNone, kClosing, kStopped, kLineLost, kUnsendable, kGaveUp };
    enum class Phase { kStart, kOpening, kRun, kPoll, kSlept, kFinished };

    std::optional<TransferWait> Advance();
    std::optional<TransferWait> Start();
    std::optional<TransferWait> Opened();
    std::optional<TransferWait> Execute(Step step);  // a copy: a step may add steps
    std::optional<TransferWait> Poll();
    std::optional<TransferWait> Slept();
    TransferWait Await(Op op);
    TransferWait End(Stop stop);
    TransferWait Finish(TransferResult result);
    bool Send(const std::optional<std::string>& text, const std::string& reason);
    bool SendUnit(std::optional<char> first, std::optional<char> second, const std::string& reason);

    std::int16_t mode_;
    Document& doc_;
    SerialLine& line_;
    TransferHost& host_;
    const TransferTiming timing_;
    Phase phase_ = Phase::kStart;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    Op awaiting_ = Op::kAwaitAck;
    std::string received_;  // since the last send
    int counter_ = 0;       // polls of the wait so far
    bool timedOut_ = false;
    std::string unsendable_;
    int acknowledged_ = 0;
    int total_ = 0;
    bool sent_ = false;
    TransferResult result_ = TransferResult::kDone;
};

}  // namespace kelvara
