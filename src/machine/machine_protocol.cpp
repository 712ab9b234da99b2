#include "machine/machine_protocol.h"

#include <utility>

#include "device/wire_codec.h"

namespace kelvara::machine {
namespace {

constexpr int kRows = 8;
constexpr int kUnitsPerPlate = 3;

// The count and the rows are upper case, the plate digits lower case.
std::optional<int> UpperDigit(char c) { return HexDigitValue(c, DigitCase::kUpper); }
std::optional<int> LowerDigit(char c) { return HexDigitValue(c, DigitCase::kLower); }

std::optional<int> UpperByte(std::string_view unit) {
    const auto high = UpperDigit(unit[0]);
    const auto low = UpperDigit(unit[1]);
    if (!high || !low) {
        return std::nullopt;
    }
    return *high * 16 + *low;
}

// A condition pair digit: two cells of two bits each, OFF 0, ON 1, any 2.
std::optional<std::pair<std::int16_t, std::int16_t>> PairCells(char c) {
    const auto value = LowerDigit(c);
    if (!value || (*value >> 2) > kAny || (*value & 3) > kAny) {
        return std::nullopt;
    }
    return std::pair{static_cast<std::int16_t>(*value >> 2), static_cast<std::int16_t>(*value & 3)};
}

}  // namespace

MachineProtocol::MachineProtocol(Faults faults, std::int64_t resyncPauseMs)
    : faults_(std::move(faults)), resyncPauseMs_(resyncPauseMs) {
    InitDocument(held_);
    incoming_ = held_;
}

std::string MachineProtocol::Take(std::string_view chars, std::int64_t nowMs) {
    Expire(nowMs);
    std::string answer;
    for (const char c : chars) {
        half_ += c;
        if (half_.size() == 2) {
            const std::string unit = std::exchange(half_, {});
            answer += TakeUnit(unit);
        }
    }
    if (!chars.empty()) {
        lastActivity_ = nowMs;
    }
    return answer;
}

void MachineProtocol::Expire(std::int64_t nowMs) {
    if (Receiving() && nowMs - lastActivity_ > resyncPauseMs_) {
        events_.push_back({Event::Kind::kAbandoned, 0, half_});
        Reset();
    }
}

std::string MachineProtocol::TakeUnit(std::string_view unit) {
    switch (stage_) {
        case Stage::kFirstUnit: {
            if (unit == kReadRequest) {
                return Reply();
            }
            incoming_ = held_;
            index_ = 0;
            if (unit == kLifeGameMarker) {
                lifeGame_ = true;
                stage_ = Stage::kRows;
                return Acknowledge();
            }
            const auto count = UpperByte(unit);
            if (!count || *count < 1 || *count > kMaxPlates) {
                Drop(unit);
                return {};
            }
            lifeGame_ = false;
            plates_ = *count;
            stage_ = Stage::kRows;
            return Acknowledge();
        }
        case Stage::kRows: {
            const auto row = UpperByte(unit);
            if (!row) {
                Drop(unit);
                return {};
            }
            for (int bit = 0; bit < 8; ++bit) {
                incoming_.MaData[index_ * 8 + bit] =
                    static_cast<std::int16_t>((*row >> (7 - bit)) & 1);
            }
            if (++index_ < kRows) {
                return Acknowledge();
            }
            index_ = 0;
            if (lifeGame_) {
                incoming_.GameMode = 1;
                held_ = incoming_;
                events_.push_back({Event::Kind::kLifeGameStored, 0, {}});
                Reset();
            } else {
                stage_ = Stage::kPlates;
            }
            return Acknowledge();
        }
        case Stage::kPlates: {
            const int p = index_ / kUnitsPerPlate + 1;
            const int part = index_ % kUnitsPerPlate;
            Condition& cells = incoming_.IfData[p];
            if (part < 2) {
                const auto first = PairCells(unit[0]);
                const auto second = PairCells(unit[1]);
                if (!first || !second) {
                    Drop(unit);
                    return {};
                }
                cells[4 * part] = first->first;
                cells[4 * part + 1] = first->second;
                cells[4 * part + 2] = second->first;
                cells[4 * part + 3] = second->second;
            } else {
                const auto value = LowerDigit(unit[0]);
                if (!value || (*value >> 2) > kAny || unit[1] != kPlateTrailer[0]) {
                    Drop(unit);
                    return {};
                }
                cells[8] = static_cast<std::int16_t>(*value >> 2);
                incoming_.AcData[p] = static_cast<std::int16_t>(*value & 3);
            }
            if (++index_ == kUnitsPerPlate * plates_) {
                incoming_.PlateCount = static_cast<std::int16_t>(plates_);
                incoming_.GameMode = 0;
                held_ = incoming_;
                events_.push_back({Event::Kind::kStored, plates_, {}});
                Reset();
            }
            return Acknowledge();
        }
    }
    return {};
}

std::string MachineProtocol::Acknowledge() {
    const bool stopped = faults_.stopAfter && acks_ >= *faults_.stopAfter;
    ++acks_;
    if (faults_.silent || stopped) {
        return {};
    }
    return faults_.doubleAck ? "**" : std::string(kAck);
}

std::string MachineProtocol::Reply() {
    events_.push_back({Event::Kind::kReplied, held_.PlateCount, {}});
    if (faults_.silent || (faults_.stopAfter && acks_ >= *faults_.stopAfter)) {
        return {};
    }
    std::string text;
    if (!straySent_) {
        text = faults_.stray;
        straySent_ = true;
    }
    // The pattern in the reply is the one the machine runs now.
    return text + ReplyText(held_);
}

void MachineProtocol::Drop(std::string_view unit) {
    events_.push_back({Event::Kind::kDropped, 0, std::string(unit)});
    Reset();
}

void MachineProtocol::Reset() {
    stage_ = Stage::kFirstUnit;
    half_.clear();
    index_ = 0;
}

bool MachineProtocol::Step(RandomSource& random) {
    if (Receiving()) {
        return false;
    }
    if (held_.GameMode == 1) {
        LifeGame(held_, work_);
    } else {
        std::string matches;  // the machine has no status line to report them on
        SerchData(held_, work_, random, matches);
    }
    return true;
}

std::vector<Event> MachineProtocol::TakeEvents() { return std::exchange(events_, {}); }

std::string Printable(std::string_view text) {
    constexpr char kHex[] = "0123456789abcdef";
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            shown += '\\';
            shown += c;
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (byte >= 0x20 && byte < 0x7f) {
            shown += c;
        } else {
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 15];
        }
    }
    return shown;
}

}  // namespace kelvara::machine
