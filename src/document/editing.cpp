#include "document/editing.h"

#include <algorithm>
#include <limits>

namespace kelvara {

namespace {

bool IsSlot(int plate) { return plate >= 0 && plate <= kMaxPlates; }

void SetPlateDefaults(Document& doc, int plate) {
    doc.IfData[plate].fill(kAny);
    doc.AcData[plate] = kMethodOn;
}

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }
bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

}  // namespace

void CycleCondition(Document& doc, int c) {
    if (c < 0 || c >= kConditionCells || !IsSlot(doc.NowPlate)) return;
    std::int16_t& v = doc.IfData[doc.NowPlate][c];
    if (v == kOff) {
        v = kOn;
    } else if (v == kOn) {
        v = kAny;
    } else {
        v = kOff;
    }
}

void SetMethod(Document& doc, std::int16_t m) {
    if (m < kMethodOff || m > kMethodRandom || !IsSlot(doc.NowPlate)) return;
    doc.AcData[doc.NowPlate] = m;
}

void NextPlate(Document& doc) {
    if (doc.NowPlate >= kMaxPlates) {
        doc.NowPlate = kMaxPlates;
        return;
    }
    if (doc.NowPlate == doc.PlateCount) ++doc.PlateCount;
    ++doc.NowPlate;
}

void PreviousPlate(Document& doc) {
    if (doc.NowPlate <= 1) {
        doc.NowPlate = 1;
    } else {
        --doc.NowPlate;
    }
}

bool DeletePlate(Document& doc) {
    if (doc.PlateCount <= 1) return false;
    // Only plate slots 1..50 are touched, whatever NowPlate and PlateCount say.
    const int first = std::max<int>(doc.NowPlate, 1);
    const int last = std::min<int>(doc.PlateCount, kMaxPlates);
    for (int p = first; p <= last; ++p) {
        if (p == doc.PlateCount || p == kMaxPlates) {
            SetPlateDefaults(doc, p);
        } else {
            doc.IfData[p] = doc.IfData[p + 1];
            doc.AcData[p] = doc.AcData[p + 1];
        }
    }
    if (doc.NowPlate == doc.PlateCount) --doc.NowPlate;
    --doc.PlateCount;
    return true;
}

void TogglePattern(Document& doc, int i) {
    if (i < 0 || i >= kCells) return;
    std::int16_t& v = doc.MaData[i];
    if (v == kOff) {
        v = kOn;
    } else if (v == kOn) {
        v = kOff;
    }
}

void FillPattern(Document& doc, std::int16_t v) {
    if (v != kOff && v != kOn) return;
    doc.MaData.fill(v);
}

void InvertPattern(Document& doc) {
    for (auto& v : doc.MaData) {
        if (v == kOff) {
            v = kOn;
        } else if (v == kOn) {
            v = kOff;
        }
    }
}

std::string HalfWidthNumberText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
        if (i + 2 < text.size() && byte(0) == 0xEF && byte(1) == 0xBC) {
            // U+FF0B '＋', U+FF0D '－', U+FF0E '．', U+FF10..U+FF19 '０'..'９'
            const unsigned char low = byte(2);
            if (low == 0x8B || low == 0x8D || low == 0x8E || (low >= 0x90 && low <= 0x99)) {
                out += static_cast<char>(low - 0x8B + '+');
                i += 2;
                continue;
            }
        }
        if (i + 2 < text.size() && byte(0) == 0xE3 && byte(1) == 0x80 && byte(2) == 0x80) {
            out += ' ';  // U+3000 ideographic space
            i += 2;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::optional<std::int32_t> ReadPlateNumberFloor(std::string_view original) {
    const std::string halfWidth = HalfWidthNumberText(original);
    std::string_view text = halfWidth;
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);

    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }

    // The magnitude of the integer digits, held at 2^31 once it gets there: that is as far as
    // the result can reach, and no digit string can overflow it.
    constexpr std::int64_t kCap = std::int64_t{1} << 31;
    std::int64_t magnitude = 0;
    std::size_t digits = 0;
    std::size_t i = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i, ++digits) {
        magnitude = std::min(kCap, magnitude * 10 + (text[i] - '0'));
    }
    bool fraction = false;  // a non-zero digit after the point
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && IsDigit(text[i]); ++i, ++digits) {
            fraction = fraction || text[i] != '0';
        }
    }
    if (digits == 0 || i != text.size()) return std::nullopt;

    if (!negative) {
        return static_cast<std::int32_t>(
            std::min<std::int64_t>(magnitude, std::numeric_limits<std::int32_t>::max()));
    }
    // Rounding down takes a negative number with a fraction one further from zero.
    if (fraction) magnitude = std::min(kCap, magnitude + 1);
    return static_cast<std::int32_t>(-magnitude);
}

PlateNumberAction PlateNumberChanged(Document& doc, std::string_view text) {
    if (text.empty()) return PlateNumberAction::Nothing;
    const std::optional<std::int32_t> number = ReadPlateNumberFloor(text);
    if (!number || *number > doc.PlateCount) return PlateNumberAction::NotMade;

    if (*number >= std::numeric_limits<std::int16_t>::min() &&
        *number <= std::numeric_limits<std::int16_t>::max()) {
        doc.NowPlate = static_cast<std::int16_t>(*number);
    }
    if (doc.NowPlate <= 1) {
        doc.NowPlate = 1;
    } else if (doc.NowPlate >= kMaxPlates) {
        doc.NowPlate = kMaxPlates;
    }
    return PlateNumberAction::Go;
}

}  // namespace kelvara
