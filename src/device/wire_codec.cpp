#include "device/wire_codec.h"

#include <algorithm>
#include <cstddef>

namespace kelvara {
namespace {

constexpr std::string_view kUpperDigits = "0123456789ABCDEF";
constexpr std::string_view kLowerDigits = "0123456789abcdef";
constexpr std::size_t kReplyHead = 19;  // '*', count byte, sixteen pattern digits
constexpr int kGroupLength = 6;

bool InRange(int value, int low, int high) { return value >= low && value <= high; }

// The first n characters, or the whole text when it is shorter.
std::string_view Left(std::string_view text, std::size_t n) {
    return text.substr(0, std::min(n, text.size()));
}

// The last n characters, or the whole text when it is shorter.
std::string_view Right(std::string_view text, std::size_t n) {
    return text.substr(text.size() - std::min(n, text.size()));
}

// Value of the first character of text as a lower-case hexadecimal digit.
std::optional<int> ReplyDigit(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    return HexDigitValue(text.front(), DigitCase::kLower);
}

// Two-bit cell code of the reply: 0 OFF, 1 ON, 2 and 3 any.
std::int16_t CellFromCode(int code) { return code >= 2 ? kAny : static_cast<std::int16_t>(code); }

// The row's two digits in the given letter case; none when a cell is not 0 or 1.
std::optional<std::string> RowDigits(const Pattern& pattern, int row, std::string_view digits) {
    if (!InRange(row, 0, 7)) {
        return std::nullopt;
    }
    std::string byte;
    for (int half = 0; half < 2; ++half) {
        int value = 0;
        for (int i = row * 8 + half * 4; i < row * 8 + half * 4 + 4; ++i) {
            if (!InRange(pattern[i], kOff, kOn)) {
                return std::nullopt;
            }
            value = value * 2 + pattern[i];
        }
        byte += digits[value];
    }
    return byte;
}

char OrUnknown(std::optional<char> digit) { return digit.value_or('?'); }

}  // namespace

std::optional<int> HexDigitValue(char c, DigitCase letterCase) {
    const char a = letterCase == DigitCase::kUpper ? 'A' : 'a';
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= a && c <= a + 5) {
        return c - a + 10;
    }
    return std::nullopt;
}

std::optional<std::string> CountByte(std::int16_t count) {
    if (!InRange(count, 1, kMaxPlates)) {
        return std::nullopt;
    }
    return std::string{kUpperDigits[count / 16], kUpperDigits[count % 16]};
}

std::optional<std::string> RowByte(const Pattern& pattern, int row) {
    return RowDigits(pattern, row, kUpperDigits);
}

std::optional<char> PairDigit(std::int16_t a, std::int16_t b) {
    if (!InRange(a, kOff, kAny) || !InRange(b, kOff, kAny)) {
        return std::nullopt;
    }
    return kLowerDigits[4 * a + b];
}

std::optional<char> CellEightMethodDigit(std::int16_t cell8, std::int16_t method) {
    if (!InRange(cell8, kOff, kAny) || !InRange(method, kMethodOff, kMethodRandom)) {
        return std::nullopt;
    }
    return kLowerDigits[4 * cell8 + method];
}

ReplyCount DecodeReplyCount(std::string_view reply) {
    const std::string_view field = Right(Left(reply, 3), 2);
    if (field == kLifeGameMarker) {
        return {ReplyCount::Kind::kLifeGame, 0};
    }
    if (field.size() == 2 && field[0] >= '0' && field[0] <= '9') {
        if (const auto low = ReplyDigit(field.substr(1))) {
            return {ReplyCount::Kind::kPlates, 16 * (field[0] - '0') + *low};
        }
    }
    return {};
}

void DecodeReply(std::string_view reply, Document& doc) {
    const ReplyCount count = DecodeReplyCount(reply);
    if (count.kind == ReplyCount::Kind::kLifeGame) {
        doc.GameMode = 1;
    } else if (count.kind == ReplyCount::Kind::kPlates) {
        doc.PlateCount = static_cast<std::int16_t>(count.plates);
        doc.GameMode = 0;
    }

    const std::string_view pattern = Right(Left(reply, kReplyHead), 16);
    for (int k = 0; k < 16; ++k) {
        if (const auto digit = ReplyDigit(Right(Left(pattern, k + 1), 1))) {
            for (int bit = 0; bit < 4; ++bit) {
                doc.MaData[4 * k + bit] = static_cast<std::int16_t>((*digit >> (3 - bit)) & 1);
            }
        }
    }

    if (doc.GameMode != 0) {
        return;
    }
    // The groups stand in reverse order, plate PlateCount first, and are found by counting back
    // from the end of the region that would hold them.
    const int plates = std::min<int>(doc.PlateCount, kMaxPlates);
    if (plates < 1) {
        return;
    }
    const std::string_view region = Left(reply, kGroupLength * doc.PlateCount + kReplyHead);
    const auto character = [&](int p, int j) {
        return ReplyDigit(Left(Right(region, kGroupLength * p - j + 1), 1));
    };
    for (int p = 1; p <= plates; ++p) {
        Condition& cells = doc.IfData[p];
        for (int j = 1; j <= 4; ++j) {
            if (const auto digit = character(p, j)) {
                cells[2 * (j - 1)] = CellFromCode(*digit >> 2);
                cells[2 * (j - 1) + 1] = CellFromCode(*digit & 3);
            }
        }
        if (const auto digit = character(p, 5)) {
            cells[8] = CellFromCode(*digit >> 2);
            doc.AcData[p] = static_cast<std::int16_t>(*digit & 3);
        }
    }
}

bool ReplyAcceptable(std::string_view reply, const Document& doc) {
    if (reply.size() < 2 || reply.front() != kAck[0] || reply.back() != kAck[0]) {
        return false;
    }
    int mode = doc.GameMode;
    int plates = doc.PlateCount;
    const ReplyCount count = DecodeReplyCount(reply);
    if (count.kind == ReplyCount::Kind::kLifeGame) {
        mode = 1;
    } else if (count.kind == ReplyCount::Kind::kPlates) {
        mode = 0;
        plates = count.plates;
    }
    if (mode != 0) {
        return reply.size() >= kReplyHead + 1;  // only the pattern is read
    }
    return InRange(plates, 1, kMaxPlates) &&
           reply.size() == static_cast<std::size_t>(kGroupLength * plates) + kReplyHead + 1;
}

std::string ReplyText(const Document& doc) {
    std::string text(kAck);
    const bool lifeGame = doc.GameMode == 1;
    if (lifeGame) {
        text += kLifeGameMarker;
    } else if (InRange(doc.PlateCount, 1, kMaxPlates)) {
        text += kLowerDigits[doc.PlateCount / 16];
        text += kLowerDigits[doc.PlateCount % 16];
    } else {
        text += "??";
    }
    for (int row = 0; row < 8; ++row) {
        text += RowDigits(doc.MaData, row, kLowerDigits).value_or("??");
    }
    if (!lifeGame) {
        for (int p = std::min<int>(doc.PlateCount, kMaxPlates); p >= 1; --p) {
            const Condition& cells = doc.IfData[p];
            for (int c = 0; c < 8; c += 2) {
                text += OrUnknown(PairDigit(cells[c], cells[c + 1]));
            }
            text += OrUnknown(CellEightMethodDigit(cells[8], doc.AcData[p]));
            text += kPlateTrailer;
        }
    }
    text += kAck;
    return text;
}

}  // namespace kelvara
