#include "device/transfer.h"

#include <algorithm>

#include "device/wire_codec.h"

namespace kelvara {
namespace {

constexpr int kRows = 8;

bool InRange(int value, int low, int high) { return value >= low && value <= high; }

// One call's exchange with the device. Everything sent is read from the document at the
// moment it goes out, so an edit made while a wait lets the window run goes out with the
// units that follow it.
class Exchange {
  public:
    Exchange(Document& doc, SerialLine& line, TransferHost& host, const TransferTiming& timing)
        : doc_(doc), line_(line), host_(host), timing_(timing) {}

    bool TimedOut() const { return timedOut_; }
    bool Aborted() const { return aborted_; }

    void Write() {
        host_.SetStatus(kWriteSendingText);
        Send(CountByte(doc_.PlateCount));
        host_.Sleep(timing_.unitSleepMs);
        if (!SendRows()) {
            return;
        }
        host_.Sleep(timing_.unitSleepMs);
        if (!AwaitAck()) {
            return;
        }
        const int plates = std::min<int>(doc_.PlateCount, kMaxPlates);
        for (int p = 1; p <= plates; ++p) {
            const Condition& cells = doc_.IfData[p];
            Send(PairDigit(cells[0], cells[1]));
            Send(PairDigit(cells[2], cells[3]));
            if (!AwaitAck()) {
                return;
            }
            Send(PairDigit(cells[4], cells[5]));
            Send(PairDigit(cells[6], cells[7]));
            if (!AwaitAck()) {
                return;
            }
            Send(CellEightMethodDigit(cells[8], doc_.AcData[p]));
            Send(kPlateTrailer);
            host_.Sleep(timing_.unitSleepMs);
            if (!AwaitAck()) {
                return;
            }
        }
        host_.SetStatus(kWriteDoneText);
        host_.ArmStatusTimer();
    }

    void LifeGame() {
        host_.SetStatus(kLifeGameSendingText);
        Send(kLifeGameMarker);
        host_.Sleep(timing_.unitSleepMs);
        if (!SendRows() || !AwaitAck()) {
            return;
        }
        host_.SetStatus(kLifeGameDoneText);
        host_.ArmStatusTimer();
    }

    void Read() {
        host_.SetStatus(kReadingText);
        Send(kReadRequest);
        host_.Sleep(timing_.requestSleepMs);
        std::string reply;
        if (!AwaitReply(reply)) {
            return;
        }
        // Only a whole reply that agrees with its own count is taken; anything else would
        // leave the document half old and half new.
        if (!timedOut_ && ReplyAcceptable(reply, doc_)) {
            DecodeReply(reply, doc_);
        } else {
            timedOut_ = true;
        }
        host_.SetStatus(kReadDoneText);
        host_.ArmStatusTimer();
    }

  private:
    // The count or marker has gone out; each row follows the acknowledgement of the unit
    // before it.
    bool SendRows() {
        for (int row = 0; row < kRows; ++row) {
            if (!AwaitAck()) {
                return false;
            }
            Send(RowByte(doc_.MaData, row));
        }
        return true;
    }

    // A value without a character on the line sends nothing in its place.
    void Send(std::string_view text) { line_.Write(text); }
    void Send(const std::optional<std::string>& text) {
        if (text) {
            line_.Write(*text);
        }
    }
    void Send(std::optional<char> digit) {
        if (digit) {
            line_.Write(std::string_view(&*digit, 1));
        }
    }

    // One poll: the window runs its pending events, then whatever arrived is appended.
    // False when the window is closing.
    bool Poll(std::string& received) {
        host_.ProcessEvents();
        if (host_.Closing()) {
            aborted_ = true;
            return false;
        }
        received += line_.ReadAll();
        return true;
    }

    // Waits until everything received since the last send is exactly one '*'. A wait that
    // gives up sets the time-out flag; the exchange goes on regardless. False only when the
    // window is closing.
    bool AwaitAck() {
        std::string received;
        for (int counter = 0;; ++counter) {
            if (!Poll(received)) {
                return false;
            }
            if (received == kAck) {
                return true;
            }
            host_.Sleep(timing_.pollSleepMs);
            if (counter > timing_.pollLimit) {
                timedOut_ = true;
                return true;
            }
        }
    }

    // Waits until the reply is framed by '*' at both ends. False only when the window is
    // closing.
    bool AwaitReply(std::string& reply) {
        for (int counter = 0;; ++counter) {
            if (!Poll(reply)) {
                return false;
            }
            if (reply.size() > 1 && reply.front() == kAck[0] && reply.back() == kAck[0]) {
                return true;
            }
            host_.Sleep(timing_.pollSleepMs);
            if (counter > timing_.pollLimit) {
                timedOut_ = true;
                return true;
            }
        }
    }

    Document& doc_;
    SerialLine& line_;
    TransferHost& host_;
    const TransferTiming& timing_;
    bool timedOut_ = false;
    bool aborted_ = false;
};

bool PatternSendable(const Pattern& pattern) {
    return std::all_of(pattern.begin(), pattern.end(),
                       [](std::int16_t cell) { return InRange(cell, kOff, kOn); });
}

}  // namespace

std::optional<std::string> UnsendableReason(const Document& doc, std::int16_t mode) {
    if (mode != kTransferWrite && mode != kTransferLifeGame) {
        return std::nullopt;
    }
    if (!PatternSendable(doc.MaData)) {
        return "パターンに送信できない値があります。ファイルを確認してください。";
    }
    if (mode == kTransferLifeGame) {
        return std::nullopt;
    }
    if (!InRange(doc.PlateCount, 1, kMaxPlates)) {
        return "プレート数が範囲外のため送信できません。ファイルを確認してください。";
    }
    for (int p = 1; p <= doc.PlateCount; ++p) {
        const Condition& cells = doc.IfData[p];
        const bool cellsOk = std::all_of(cells.begin(), cells.end(), [](std::int16_t cell) {
            return InRange(cell, kOff, kAny);
        });
        if (!cellsOk || !InRange(doc.AcData[p], kMethodOff, kMethodRandom)) {
            return "プレート" + std::to_string(p) +
                   "に送信できない値があります。ファイルを確認してください。";
        }
    }
    return std::nullopt;
}

void ComMain(std::int16_t mode, Document& doc, SerialLine& line, TransferHost& host,
             const TransferTiming& timing) {
    if (host.Closing()) {
        return;
    }
    if (const auto reason = UnsendableReason(doc, mode)) {
        host.ShowTransferError(*reason);
        return;
    }
    line.SetPort(doc.ComPort);
    line.Open();
    if (!line.IsOpen()) {
        host.ShowPortOpenError();
        return;
    }
    Exchange exchange(doc, line, host, timing);
    switch (mode) {
        case kTransferRead:
            exchange.Read();
            break;
        case kTransferWrite:
            exchange.Write();
            break;
        case kTransferLifeGame:
            exchange.LifeGame();
            break;
        default:
            break;
    }
    line.Close();
    if (!exchange.Aborted() && exchange.TimedOut()) {
        host.SetStatus(kTransferRetryText);
    }
}

}  // namespace kelvara
