// The plate number box. Every text either goes to a plate that exists, or reports that the plate
// has not been made and changes nothing. The number read is checked against a slow reference: a
// regular expression for what counts as a number and a long double parse for its value, used
// only where that parse is exact.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <utility>

#include "document/editing.h"
#include "fuzz_support.h"

namespace kelvara::fuzz {
namespace {

// Texts longer than this are left to the invariants alone: the standard library's regular
// expressions recurse once per character.
constexpr std::size_t kReferenceLength = 256;

// Up to this many significant decimal digits, a long double (64-bit mantissa) holds every
// integer exactly and lies nearer to the decimal value than any integer other than its floor,
// so floorl of the parse is the exact floor.
constexpr std::size_t kExactDigits = 18;

struct Reference {
    bool known = false;  // the reference could judge this text
    std::optional<std::int32_t> floor;
};

std::int32_t Saturate(long double value) {
    constexpr auto kLow = std::numeric_limits<std::int32_t>::min();
    constexpr auto kHigh = std::numeric_limits<std::int32_t>::max();
    if (value <= kLow) return kLow;
    if (value >= kHigh) return kHigh;
    return static_cast<std::int32_t>(value);
}

// The floor depends only on the sign, the integer digits and whether any fraction digit is not
// zero, so the number is rewritten in that short form before the long double parse: the
// integer digits without leading zeros, then ".5" for a fraction. Integer parts too long to
// parse exactly are far beyond the 32-bit range on either side.
// What an input method types for each ASCII character a number may hold: full-width digits,
// plus, minus, full stop, and the ideographic space for a blank.
constexpr std::pair<std::string_view, char> kFullWidth[] = {
    {"０", '0'}, {"１", '1'}, {"２", '2'}, {"３", '3'}, {"４", '4'}, {"５", '5'}, {"６", '6'},
    {"７", '7'}, {"８", '8'}, {"９", '9'}, {"＋", '+'}, {"－", '-'}, {"．", '.'}, {"\u3000", ' '}};

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

Reference ReferenceFloor(std::string_view text) {
    if (text.size() > kReferenceLength) return {};
    static const std::regex number(R"(^[ \t]*([+-]?)([0-9]*)(?:\.([0-9]*))?[ \t]*$)");
    std::string subject(text);
    for (const auto& [wide, ascii] : kFullWidth) {
        subject = ReplaceAll(std::move(subject), wide, std::string_view(&ascii, 1));
    }
    std::smatch parts;
    if (!std::regex_match(subject, parts, number) || parts[2].length() + parts[3].length() == 0) {
        return {true, std::nullopt};
    }
    const bool negative = parts[1].str() == "-";
    std::string integer = parts[2].str();
    integer.erase(0, integer.find_first_not_of('0'));
    const bool fraction = parts[3].str().find_first_not_of('0') != std::string::npos;
    if (integer.size() > kExactDigits - 1) {
        return {true, negative ? std::numeric_limits<std::int32_t>::min()
                               : std::numeric_limits<std::int32_t>::max()};
    }
    const std::string shortForm =
        (negative ? "-" : "") + (integer.empty() ? "0" : integer) + (fraction ? ".5" : "");
    return {true, Saturate(std::floor(std::strtold(shortForm.c_str(), nullptr)))};
}

void CheckReading(std::string_view text, const std::optional<std::int32_t>& floor) {
    const Reference reference = ReferenceFloor(text);
    if (reference.known) {
        Require(floor.has_value() == reference.floor.has_value(),
                "the text is a number exactly when the reference reads one");
        Require(!floor || *floor == *reference.floor, "the floor agrees with the reference");
    }
    // Blanks around a text never change what it reads as.
    if (!text.empty()) {
        const std::string padded = " \t" + std::string(text) + "\t ";
        Require(ReadPlateNumberFloor(padded) == floor, "blanks around the text change nothing");
    }
    // Typed in full width, an ASCII text reads the same.
    if (std::all_of(text.begin(), text.end(), [](char c) { return c > 0; })) {
        std::string wide;
        for (const char c : text) {
            const auto* form = std::find_if(std::begin(kFullWidth), std::end(kFullWidth),
                                            [c](const auto& entry) { return entry.second == c; });
            wide += form != std::end(kFullWidth) ? std::string(form->first) : std::string(1, c);
        }
        Require(ReadPlateNumberFloor(wide) == floor, "full-width input reads as its ASCII text");
    }
}

void CheckBox(std::string_view text, const std::optional<std::int32_t>& floor,
              const Document& start) {
    Document doc = start;
    const PlateNumberAction action = PlateNumberChanged(doc, text);
    if (text.empty()) {
        Require(action == PlateNumberAction::Nothing, "an empty box does nothing");
    } else if (!floor || *floor > start.PlateCount) {
        Require(action == PlateNumberAction::NotMade, "no number, or no such plate: not made");
    } else {
        Require(action == PlateNumberAction::Go, "a number up to the plate count goes");
    }
    if (action != PlateNumberAction::Go) {
        Require(SameDocument(doc, start), "Nothing and NotMade leave the document unchanged");
        return;
    }
    Require(PlateIndicesValid(doc), "1 <= NowPlate <= PlateCount after a go");
    const bool fits = *floor >= std::numeric_limits<std::int16_t>::min();
    Require(doc.NowPlate == (fits ? std::max<std::int32_t>(*floor, 1) : start.NowPlate),
            "the box goes to the number read, at least plate 1");
    Document expected = start;
    expected.NowPlate = doc.NowPlate;
    Require(SameDocument(doc, expected), "the box changes nothing but NowPlate");
}

}  // namespace
}  // namespace kelvara::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvara::fuzz;
    const std::string_view text = AsText(data, size);
    const std::optional<std::int32_t> floor = kelvara::ReadPlateNumberFloor(text);
    CheckReading(text, floor);

    Mixer mix(text);
    kelvara::Document doc = ValidDocument(mix);
    for (int count = 1; count <= kelvara::kMaxPlates; ++count) {
        doc.PlateCount = static_cast<std::int16_t>(count);
        doc.NowPlate = mix.Between(1, count);
        CheckBox(text, floor, doc);
    }
    return 0;
}
