#include "device/transfer.h"

#include <algorithm>

#include "device/wire_codec.h"

namespace kelvara {
namespace {

constexpr int kRows = 8;
constexpr int kUnitsBeforePlates = 9;  // the count (or the marker) and eight rows
constexpr int kUnitsPerPlate = 3;
constexpr std::size_t kReplyFrame = 20;  // '*', count, 16 pattern digits, '*'
constexpr std::size_t kReplyPlate = 6;

bool InRange(int value, int low, int high) { return value >= low && value <= high; }

// The units a write of that many plates sends.
int WriteUnits(int plates) {
    return kUnitsBeforePlates + kUnitsPerPlate * std::clamp(plates, 0, kMaxPlates);
}

const std::string kPatternReason =
    "パターンに送信できない値があります。ファイルを確認してください。";
const std::string kCountReason =
    "プレート数が範囲外のため送信できません。ファイルを確認してください。";

std::string PlateReason(int plate) {
    return "プレート" + std::to_string(plate) +
           "に送信できない値があります。ファイルを確認してください。";
}

// How one exchange ends before its last unit.
enum class Stop { kNone, kClosing, kStopped, kLineLost, kUnsendable, kGaveUp };

// One call's exchange with the device. Everything sent is read from the document at the
// moment it goes out, so an edit made while a wait lets the window run goes out with the
// units that follow it.
class Exchange {
  public:
    Exchange(Document& doc, SerialLine& line, TransferHost& host, const TransferTiming& timing)
        : doc_(doc), line_(line), host_(host), timing_(timing) {}

    bool TimedOut() const { return timedOut_; }
    Stop Stopped() const { return stop_; }
    const std::string& UnsendableText() const { return unsendable_; }

    void Write() {
        host_.SetStatus(kWriteSendingText);
        total_ = WriteUnits(doc_.PlateCount);
        if (!Send(CountByte(doc_.PlateCount), kCountReason)) {
            return;
        }
        host_.Sleep(timing_.unitSleepMs);
        if (!SendRows()) {
            return;
        }
        host_.Sleep(timing_.unitSleepMs);
        if (!AwaitAck()) {
            return;
        }
        // The plate count is read again as the plates start: an edit during the rows counts.
        const int plates = std::min<int>(doc_.PlateCount, kMaxPlates);
        total_ = WriteUnits(plates);
        for (int p = 1; p <= plates; ++p) {
            const Condition& cells = doc_.IfData[p];
            const std::string reason = PlateReason(p);
            if (!SendUnit(PairDigit(cells[0], cells[1]), PairDigit(cells[2], cells[3]), reason) ||
                !AwaitAck()) {
                return;
            }
            if (!SendUnit(PairDigit(cells[4], cells[5]), PairDigit(cells[6], cells[7]), reason) ||
                !AwaitAck()) {
                return;
            }
            if (!SendUnit(CellEightMethodDigit(cells[8], doc_.AcData[p]), kPlateTrailer[0],
                          reason)) {
                return;
            }
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
        total_ = kUnitsBeforePlates;
        line_.Write(kLifeGameMarker);
        host_.Sleep(timing_.unitSleepMs);
        if (!SendRows() || !AwaitAck()) {
            return;
        }
        host_.SetStatus(kLifeGameDoneText);
        host_.ArmStatusTimer();
    }

    void Read() {
        host_.SetStatus(kReadingText);
        line_.Write(kReadRequest);
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
            if (!AwaitAck() || !Send(RowByte(doc_.MaData, row), kPatternReason)) {
                return false;
            }
        }
        return true;
    }

    // A value without a character on the line ends the exchange here: nothing is sent in its
    // place, and nothing after it, or the device would fall out of step.
    bool Send(const std::optional<std::string>& text, const std::string& reason) {
        if (!text) {
            return Unsendable(reason);
        }
        line_.Write(*text);
        return true;
    }
    // The two characters of a plate unit go out one at a time, and only when both have one:
    // half a unit would leave the device waiting for the other half.
    bool SendUnit(std::optional<char> first, std::optional<char> second,
                  const std::string& reason) {
        if (!first || !second) {
            return Unsendable(reason);
        }
        line_.Write(std::string_view(&*first, 1));
        line_.Write(std::string_view(&*second, 1));
        return true;
    }
    bool Unsendable(const std::string& reason) {
        stop_ = Stop::kUnsendable;
        unsendable_ = reason;
        return false;
    }

    // One poll: the window runs its pending events, then whatever arrived is appended. False
    // when the exchange must end here: the window is closing, the user stopped it, or the line
    // went away.
    bool Poll(std::string& received) {
        host_.ProcessEvents();
        if (host_.Closing()) {
            stop_ = Stop::kClosing;
            return false;
        }
        if (host_.StopRequested()) {
            stop_ = Stop::kStopped;
            return false;
        }
        received += line_.ReadAll();
        if (!line_.IsOpen()) {
            stop_ = Stop::kLineLost;
            return false;
        }
        return true;
    }

    // Waits until everything received since the last send is exactly one '*'. A wait that
    // gives up sets the time-out flag; the exchange goes on regardless. False only when the
    // exchange must end (see Poll).
    bool AwaitAck() {
        std::string received;
        for (int counter = 0;; ++counter) {
            if (!Poll(received)) {
                return false;
            }
            if (received == kAck) {
                host_.Progress(++acknowledged_, total_);
                return true;
            }
            line_.WaitForInput(timing_.pollSleepMs);
            if (counter > timing_.pollLimit) {
                host_.Progress(acknowledged_, total_);
                return GiveUp();
            }
        }
    }

    // Waits until the reply is framed by '*' at both ends. False only when the exchange must
    // end (see Poll).
    bool AwaitReply(std::string& reply) {
        for (int counter = 0;; ++counter) {
            const std::size_t before = reply.size();
            if (!Poll(reply)) {
                return false;
            }
            if (reply.size() != before) {
                host_.Progress(static_cast<int>(reply.size()), ExpectedReplyLength(reply));
            }
            if (reply.size() > 1 && reply.front() == kAck[0] && reply.back() == kAck[0]) {
                return true;
            }
            line_.WaitForInput(timing_.pollSleepMs);
            if (counter > timing_.pollLimit) {
                return GiveUp();
            }
        }
    }

    // A wait that ran out sets the time-out flag; the exchange goes on unless the timing says
    // to end it there.
    bool GiveUp() {
        timedOut_ = true;
        if (timing_.endAtFirstTimeOut) {
            stop_ = Stop::kGaveUp;
            return false;
        }
        return true;
    }

    // The length the reply announces by its count byte; 0 while that is not known.
    static int ExpectedReplyLength(std::string_view reply) {
        const ReplyCount count = DecodeReplyCount(reply);
        switch (count.kind) {
            case ReplyCount::Kind::kLifeGame:
                return static_cast<int>(kReplyFrame);
            case ReplyCount::Kind::kPlates:
                return static_cast<int>(kReplyFrame + kReplyPlate * count.plates);
            case ReplyCount::Kind::kUnreadable:
                break;
        }
        return 0;
    }

    Document& doc_;
    SerialLine& line_;
    TransferHost& host_;
    const TransferTiming& timing_;
    bool timedOut_ = false;
    Stop stop_ = Stop::kNone;
    std::string unsendable_;
    int acknowledged_ = 0;
    int total_ = 0;
};

}  // namespace

std::vector<UnsendableValue> UnsendableValues(const Document& doc, std::int16_t mode) {
    std::vector<UnsendableValue> values;
    if (mode != kTransferWrite && mode != kTransferLifeGame) {
        return values;
    }
    using Kind = UnsendableValue::Kind;
    if (mode == kTransferWrite && !InRange(doc.PlateCount, 1, kMaxPlates)) {
        values.push_back({Kind::kPlateCount, 0, -1, doc.PlateCount});
    }
    for (int i = 0; i < kCells; ++i) {
        if (!InRange(doc.MaData[i], kOff, kOn)) {
            values.push_back({Kind::kPatternCell, 0, i, doc.MaData[i]});
        }
    }
    if (mode == kTransferLifeGame) {
        return values;
    }
    const int plates = std::clamp<int>(doc.PlateCount, 0, kMaxPlates);
    for (int p = 1; p <= plates; ++p) {
        for (int c = 0; c < kConditionCells; ++c) {
            if (!InRange(doc.IfData[p][c], kOff, kAny)) {
                values.push_back({Kind::kConditionCell, p, c, doc.IfData[p][c]});
            }
        }
        if (!InRange(doc.AcData[p], kMethodOff, kMethodRandom)) {
            values.push_back({Kind::kMethod, p, -1, doc.AcData[p]});
        }
    }
    return values;
}

std::optional<std::string> UnsendableReason(const Document& doc, std::int16_t mode) {
    const std::vector<UnsendableValue> values = UnsendableValues(doc, mode);
    if (values.empty()) {
        return std::nullopt;
    }
    // The pattern is named before the count, as the file shows them to the user.
    const auto pattern = std::find_if(values.begin(), values.end(), [](const UnsendableValue& v) {
        return v.kind == UnsendableValue::Kind::kPatternCell;
    });
    if (pattern != values.end()) {
        return kPatternReason;
    }
    switch (values.front().kind) {
        case UnsendableValue::Kind::kPlateCount:
            return kCountReason;
        default:
            return PlateReason(values.front().plate);
    }
}

TransferResult ComMain(std::int16_t mode, Document& doc, SerialLine& line, TransferHost& host,
                       const TransferTiming& timing) {
    if (host.Closing()) {
        return TransferResult::kClosing;
    }
    if (const auto reason = UnsendableReason(doc, mode)) {
        host.ShowTransferError(*reason);
        return TransferResult::kRefused;
    }
    line.SelectPort(doc.ComPort);
    line.Open();
    if (!line.IsOpen()) {
        host.ShowPortOpenError();
        return TransferResult::kPortOpenFailed;
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
    switch (exchange.Stopped()) {
        case Stop::kClosing:
            return TransferResult::kClosing;
        case Stop::kUnsendable:
            host.ShowTransferError(exchange.UnsendableText());
            return TransferResult::kRefused;
        case Stop::kStopped:
        case Stop::kLineLost:
        case Stop::kGaveUp:
            host.SetStatus(kTransferRetryText);
            return exchange.Stopped() == Stop::kStopped    ? TransferResult::kStopped
                   : exchange.Stopped() == Stop::kLineLost ? TransferResult::kLineLost
                                                           : TransferResult::kGaveUp;
        case Stop::kNone:
            break;
    }
    if (exchange.TimedOut()) {
        host.SetStatus(kTransferRetryText);
        return TransferResult::kTimedOut;
    }
    return TransferResult::kDone;
}

}  // namespace kelvara
