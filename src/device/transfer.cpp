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

// The length the reply announces by its count byte; 0 while that is not known.
int ExpectedReplyLength(std::string_view reply) {
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

ComMain::ComMain(std::int16_t mode, Document& doc, SerialLine& line, TransferHost& host,
                 const TransferTiming& timing)
    : mode_(mode), doc_(doc), line_(line), host_(host), timing_(timing) {}

TransferWait ComMain::Resume() {
    for (;;) {
        if (const std::optional<TransferWait> wait = Advance()) {
            return *wait;
        }
    }
}

// One step on; a wait when the routine must hand control back.
std::optional<TransferWait> ComMain::Advance() {
    switch (phase_) {
        case Phase::kStart:
            return Start();
        case Phase::kOpening:
            return Opened();
        case Phase::kRun:
            if (next_ == steps_.size()) {
                return End(Stop::kNone);
            }
            return Execute(steps_[next_++]);
        case Phase::kPoll:
            return Poll();
        case Phase::kSlept:
            return Slept();
        case Phase::kFinished:
            break;
    }
    return TransferWait{};
}

std::optional<TransferWait> ComMain::Start() {
    if (host_.Closing()) {
        return Finish(TransferResult::kClosing);
    }
    if (const auto reason = UnsendableReason(doc_, mode_)) {
        host_.ShowTransferError(*reason);
        return Finish(TransferResult::kRefused);
    }
    line_.SelectPort(doc_.ComPort);
    line_.Open();
    phase_ = Phase::kOpening;
    return Opened();
}

// The line has opened, failed to, or is still opening (the window may close meanwhile, or the
// user stop the transfer: the opening is then given up).
std::optional<TransferWait> ComMain::Opened() {
    if (line_.Opening()) {
        if (host_.Closing() || host_.StopRequested()) {
            line_.Close();
            if (host_.Closing()) return Finish(TransferResult::kClosing);
            host_.SetStatus(kTransferRetryText);
            return Finish(TransferResult::kStopped);
        }
        return TransferWait{TransferWait::Kind::kInput, TransferWait::kOpeningCheckMs};
    }
    if (!line_.IsOpen()) {
        if (line_.NoPortChosen()) {
            host_.SetStatus(kNoPortChosenText);
            return Finish(TransferResult::kNotChosen);
        }
        host_.ShowPortOpenError();
        return Finish(TransferResult::kPortOpenFailed);
    }
    // The steps of the mode, in the order they happen. A write's plates are added when its
    // plate loop starts, from the count at that moment.
    const auto rows = [this](bool lastAfterPause) {
        for (int row = 0; row < kRows; ++row) {
            steps_.push_back({Op::kAwaitAck});
            steps_.push_back({Op::kSendRow, row});
        }
        if (lastAfterPause) steps_.push_back({Op::kPause});
        steps_.push_back({Op::kAwaitAck});
    };
    if (timing_.restMs > 0) steps_.push_back({Op::kRest});
    switch (mode_) {
        case kTransferWrite:
            steps_.insert(steps_.end(), {{Op::kSendingText}, {Op::kSendCount}, {Op::kPause}});
            rows(true);
            steps_.push_back({Op::kBeginPlates});
            break;
        case kTransferLifeGame:
            steps_.insert(steps_.end(), {{Op::kSendingText}, {Op::kSendMarker}, {Op::kPause}});
            rows(false);  // no pause before the last wait
            steps_.push_back({Op::kDoneText});
            break;
        case kTransferRead:
            steps_.insert(steps_.end(), {{Op::kSendingText},
                                         {Op::kSendRequest},
                                         {Op::kPauseRequest},
                                         {Op::kAwaitReply},
                                         {Op::kTakeReply}});
            break;
        default:
            break;
    }
    phase_ = Phase::kRun;
    return std::nullopt;
}

std::optional<TransferWait> ComMain::Execute(Step step) {
    switch (step.op) {
        case Op::kRest:
            return TransferWait{TransferWait::Kind::kPause, timing_.restMs};
        case Op::kSendingText:
            host_.SetStatus(mode_ == kTransferWrite      ? kWriteSendingText
                            : mode_ == kTransferLifeGame ? kLifeGameSendingText
                                                         : kReadingText);
            total_ = mode_ == kTransferWrite ? WriteUnits(doc_.PlateCount) : kUnitsBeforePlates;
            break;
        case Op::kSendCount:
            if (!Send(CountByte(doc_.PlateCount), kCountReason)) return End(Stop::kUnsendable);
            break;
        case Op::kSendMarker:
            line_.Write(kLifeGameMarker);
            sent_ = true;
            break;
        case Op::kSendRequest:
            line_.Write(kReadRequest);
            sent_ = true;
            break;
        case Op::kSendRow:
            if (!Send(RowByte(doc_.MaData, step.arg), kPatternReason)) {
                return End(Stop::kUnsendable);
            }
            break;
        case Op::kBeginPlates: {
            // The plate count is read again as the plates start: an edit during the rows counts.
            const int plates = std::min<int>(doc_.PlateCount, kMaxPlates);
            total_ = WriteUnits(plates);
            for (int p = 1; p <= plates; ++p) {
                for (int unit = 0; unit < kUnitsPerPlate; ++unit) {
                    steps_.push_back({Op::kSendPlateUnit, p * kUnitsPerPlate + unit});
                    if (unit == kUnitsPerPlate - 1) steps_.push_back({Op::kPause});
                    steps_.push_back({Op::kAwaitAck});
                }
            }
            steps_.push_back({Op::kDoneText});
            break;
        }
        case Op::kSendPlateUnit: {
            const int p = step.arg / kUnitsPerPlate;
            const Condition& cells = doc_.IfData[p];
            const std::string reason = PlateReason(p);
            bool sent = false;
            switch (step.arg % kUnitsPerPlate) {
                case 0:
                    sent = SendUnit(PairDigit(cells[0], cells[1]), PairDigit(cells[2], cells[3]),
                                    reason);
                    break;
                case 1:
                    sent = SendUnit(PairDigit(cells[4], cells[5]), PairDigit(cells[6], cells[7]),
                                    reason);
                    break;
                default:
                    sent = SendUnit(CellEightMethodDigit(cells[8], doc_.AcData[p]),
                                    kPlateTrailer[0], reason);
                    break;
            }
            if (!sent) return End(Stop::kUnsendable);
            break;
        }
        case Op::kPause:
            return TransferWait{TransferWait::Kind::kPause, timing_.unitSleepMs};
        case Op::kPauseRequest:
            return TransferWait{TransferWait::Kind::kPause, timing_.requestSleepMs};
        case Op::kAwaitAck:
        case Op::kAwaitReply:
            return Await(step.op);
        case Op::kTakeReply:
            // Only a whole reply that agrees with its own count is taken; anything else would
            // leave the document half old and half new.
            if (!timedOut_ && ReplyAcceptable(received_, doc_)) {
                DecodeReply(received_, doc_);
            } else {
                timedOut_ = true;
            }
            [[fallthrough]];
        case Op::kDoneText:
            host_.SetStatus(mode_ == kTransferWrite      ? kWriteDoneText
                            : mode_ == kTransferLifeGame ? kLifeGameDoneText
                                                         : kReadDoneText);
            host_.ArmStatusTimer();
            break;
    }
    return std::nullopt;
}

// A wait starts: nothing received since the send, the poll counter at 0, and the window runs
// its events before the first poll.
TransferWait ComMain::Await(Op op) {
    awaiting_ = op;
    received_.clear();
    counter_ = 0;
    phase_ = Phase::kPoll;
    return TransferWait{TransferWait::Kind::kEvents};
}

// One poll, after the window has run its pending events: whatever arrived is appended. The
// exchange ends here when the window is closing, the user stopped it, or the line went away.
std::optional<TransferWait> ComMain::Poll() {
    if (host_.Closing()) {
        return End(Stop::kClosing);
    }
    if (host_.StopRequested()) {
        return End(Stop::kStopped);
    }
    const std::size_t before = received_.size();
    received_ += line_.ReadAll();
    if (!line_.IsOpen()) {
        return End(Stop::kLineLost);
    }
    bool answered = false;
    if (awaiting_ == Op::kAwaitAck) {
        // Everything received since the send must be exactly one '*'.
        answered = received_ == kAck;
        if (answered) host_.Progress(++acknowledged_, total_);
    } else {
        if (received_.size() != before) {
            host_.Progress(static_cast<int>(received_.size()), ExpectedReplyLength(received_));
        }
        answered =
            received_.size() > 1 && received_.front() == kAck[0] && received_.back() == kAck[0];
    }
    if (answered) {
        phase_ = Phase::kRun;
        return std::nullopt;
    }
    phase_ = Phase::kSlept;
    return TransferWait{TransferWait::Kind::kInput, timing_.pollSleepMs};
}

// The pause after an unanswered poll is over. A wait that has run out sets the time-out flag;
// the exchange goes on with its next step unless the timing says to end it there.
std::optional<TransferWait> ComMain::Slept() {
    if (counter_ > timing_.pollLimit) {
        if (awaiting_ == Op::kAwaitAck) host_.Progress(acknowledged_, total_);
        timedOut_ = true;
        if (timing_.endAtFirstTimeOut) {
            return End(Stop::kGaveUp);
        }
        phase_ = Phase::kRun;
        return std::nullopt;
    }
    ++counter_;
    phase_ = Phase::kPoll;
    return TransferWait{TransferWait::Kind::kEvents};
}

// A value without a character on the line ends the exchange here: nothing is sent in its
// place, and nothing after it, or the device would fall out of step.
bool ComMain::Send(const std::optional<std::string>& text, const std::string& reason) {
    if (!text) {
        unsendable_ = reason;
        return false;
    }
    line_.Write(*text);
    sent_ = true;
    return true;
}

// The two characters of a plate unit go out one at a time, and only when both have one: half a
// unit would leave the device waiting for the other half.
bool ComMain::SendUnit(std::optional<char> first, std::optional<char> second,
                       const std::string& reason) {
    if (!first || !second) {
        unsendable_ = reason;
        return false;
    }
    line_.Write(std::string_view(&*first, 1));
    line_.Write(std::string_view(&*second, 1));
    sent_ = true;
    return true;
}

// The port is closed and the outcome reported.
TransferWait ComMain::End(Stop stop) {
    line_.Close();
    switch (stop) {
        case Stop::kClosing:
            return Finish(TransferResult::kClosing);
        case Stop::kUnsendable:
            host_.ShowTransferError(unsendable_);
            return Finish(TransferResult::kRefused);
        case Stop::kStopped:
        case Stop::kLineLost:
        case Stop::kGaveUp:
            host_.SetStatus(kTransferRetryText);
            return Finish(stop == Stop::kStopped    ? TransferResult::kStopped
                          : stop == Stop::kLineLost ? TransferResult::kLineLost
                                                    : TransferResult::kGaveUp);
        case Stop::kNone:
            break;
    }
    if (timedOut_) {
        host_.SetStatus(kTransferRetryText);
        return Finish(TransferResult::kTimedOut);
    }
    return Finish(TransferResult::kDone);
}

TransferWait ComMain::Finish(TransferResult result) {
    result_ = result;
    phase_ = Phase::kFinished;
    steps_.clear();
    return TransferWait{};
}

}  // namespace kelvara
