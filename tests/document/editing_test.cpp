#include "document/editing.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

namespace kelvara {
namespace {

bool Same(const Document& a, const Document& b) {
    return std::tie(a.MaData, a.MaBackup, a.IfData, a.AcData, a.NowPlate, a.PlateCount, a.GameMode,
                    a.ComPort, a.FileName) == std::tie(b.MaData, b.MaBackup, b.IfData, b.AcData,
                                                       b.NowPlate, b.PlateCount, b.GameMode,
                                                       b.ComPort, b.FileName);
}

const Condition kDefaults{2, 2, 2, 2, 2, 2, 2, 2, 2};

// Plates told apart by their first condition cell (100 + slot) and method (slot mod 4).
Document WithPlates(int count, int now) {
    Document doc;
    InitDocument(doc);
    for (int p = 0; p <= count; ++p) {
        doc.IfData[p][0] = static_cast<std::int16_t>(100 + p);
        doc.AcData[p] = static_cast<std::int16_t>(p % 4);
    }
    doc.PlateCount = static_cast<std::int16_t>(count);
    doc.NowPlate = static_cast<std::int16_t>(now);
    return doc;
}

// The markers of plates 1..PlateCount, e.g. " 101 103".
std::string Plates(const Document& doc) {
    std::string s;
    for (int p = 1; p <= doc.PlateCount; ++p) s += " " + std::to_string(doc.IfData[p][0]);
    return s;
}

TEST(PlateEditingTest, CellsAndMethodOfTheCurrentPlateOnly) {
    Document doc = WithPlates(3, 2);
    doc.IfData[2] = Condition{0, 1, 2, 7, -1, 0, 0, 0, 0};
    const Document before = doc;
    for (int c = -1; c <= kConditionCells; ++c) CycleCondition(doc, c);
    EXPECT_EQ(doc.IfData[2], (Condition{1, 2, 0, 0, 0, 1, 1, 1, 1}));
    SetMethod(doc, kMethodRandom);
    SetMethod(doc, 4);
    EXPECT_EQ(doc.AcData[2], kMethodRandom);
    doc.IfData[2] = before.IfData[2];
    doc.AcData[2] = before.AcData[2];
    EXPECT_TRUE(Same(doc, before));
}

TEST(PlateEditingTest, PagingAddsPlatesUpToFifty) {
    Document doc;
    InitDocument(doc);
    PreviousPlate(doc);
    EXPECT_EQ(doc.NowPlate, 1);
    for (int i = 0; i < 50; ++i) NextPlate(doc);  // one more than needed for 50/50
    EXPECT_EQ(std::tuple(doc.NowPlate, doc.PlateCount), std::tuple(50, 50));

    // From plate 1 of 3 "→" only moves; from the last it adds what the next slot holds.
    doc = WithPlates(3, 1);
    doc.IfData[4][0] = 104;
    NextPlate(doc);
    EXPECT_EQ(std::tuple(doc.NowPlate, doc.PlateCount), std::tuple(2, 3));
    NextPlate(doc);
    NextPlate(doc);
    EXPECT_EQ(doc.NowPlate, 4);
    EXPECT_EQ(Plates(doc), " 101 102 103 104");
}

TEST(PlateEditingTest, DeleteShiftsTheLaterPlatesDown) {
    const struct {
        int count, now;
        const char* plates;
        int now_after;
    } cases[] = {{3, 2, " 101 103", 2},
                 {3, 3, " 101 102", 2},
                 {2, 1, " 102", 1},
                 // a damaged NowPlate only reaches real plates
                 {3, -2, " 102 103", -2}};
    for (const auto& c : cases) {
        Document doc = WithPlates(c.count, c.now);
        ASSERT_TRUE(DeletePlate(doc));
        EXPECT_EQ(Plates(doc), c.plates);
        EXPECT_EQ(doc.NowPlate, c.now_after);
        EXPECT_EQ(std::tuple(doc.IfData[c.count], doc.AcData[c.count]),  // the vacated slot
                  std::tuple(kDefaults, kMethodOn));
        EXPECT_EQ(doc.IfData[0][0], 100);  // slot 0 is no plate
    }
    Document doc = WithPlates(50, 50);
    ASSERT_TRUE(DeletePlate(doc));
    EXPECT_EQ(std::tuple(doc.NowPlate, doc.PlateCount, doc.IfData[50]),
              std::tuple(49, 49, kDefaults));
    doc = WithPlates(50, 49);
    doc.PlateCount = 32767;  // from a damaged file: slot 50 takes the defaults, nothing beyond
    ASSERT_TRUE(DeletePlate(doc));
    EXPECT_EQ(std::tuple(doc.IfData[49][0], doc.IfData[50]), std::tuple(150, kDefaults));
    for (const int count : {1, 0}) {
        doc = WithPlates(count, 1);
        const Document before = doc;
        EXPECT_FALSE(DeletePlate(doc));
        EXPECT_TRUE(Same(doc, before));
    }
}

TEST(PatternEditingTest, ToggleFillAndInvertLeaveOtherValuesAlone) {
    Document doc;
    InitDocument(doc);
    doc.MaData[3] = 7;
    for (const int i : {-1, 0, 3, 63, 64}) TogglePattern(doc, i);
    const Pattern drawn = doc.MaData;
    EXPECT_EQ(drawn[0] + drawn[63] + drawn[3], 1 + 1 + 7);
    InvertPattern(doc);
    EXPECT_EQ(doc.MaData[0] + doc.MaData[1] + doc.MaData[3], 0 + 1 + 7);
    InvertPattern(doc);
    EXPECT_EQ(doc.MaData, drawn);
    FillPattern(doc, 2);
    EXPECT_EQ(doc.MaData, drawn);
    FillPattern(doc, kOff);
    EXPECT_EQ(doc.MaData, Pattern{});
}

TEST(PlateNumberTest, ReadsTheIntegerPartRoundedDownExactly) {
    const std::optional<std::int32_t> no;
    const std::int32_t max = 2147483647, min = -max - 1;
    // clang-format off
    const std::pair<const char*, std::optional<std::int32_t>> cases[] = {
        {" 3 ", 3}, {"\t+12\t", 12}, {"-0.0", 0}, {"2.7", 2}, {"5.", 5}, {".5", 0}, {"-.5", -1},
        {"-3", -3}, {"-3.000", -3}, {"-0.000001", -1}, {"2.99999999999999999999", 2},
        {"-32768", -32768}, {"99999999999", max}, {"-99999999999", min}, {"-2147483648.5", min},
        {"", no}, {" ", no}, {"-", no}, {".", no}, {"abc", no}, {"1e3", no}, {"0x10", no},
        {"1 2", no}, {"- 1", no}, {"1.2.3", no}, {"+-1", no},
        // What a Japanese input method types: full-width digits, signs and point, and the
        // ideographic space, alone or mixed with ASCII.
        {"１２", 12}, {"\u3000＋３\u3000", 3}, {"－２．７", -3}, {"９9", 99}, {"．５", 0},
        {"１ ２", no}, {"１２ａ", no}, {"一", no}, {"\xEF\xBC", no}, {"１\xEF\xBC", no}};
    // clang-format on
    for (const auto& [text, floor] : cases) EXPECT_EQ(ReadPlateNumberFloor(text), floor) << text;
    const std::string digits(100000, '9');
    EXPECT_EQ(ReadPlateNumberFloor("000" + digits), max);
    EXPECT_EQ(ReadPlateNumberFloor("-" + digits + ".1"), min);
}

TEST(PlateNumberTest, GoesToTheTypedPlateWithinItsLimits) {
    using enum PlateNumberAction;
    Document doc = WithPlates(5, 5);
    const Document before = doc;
    // clang-format off
    const std::tuple<const char*, PlateNumberAction, int> steps[] = {
        {"", Nothing, 5}, {"abc", NotMade, 5}, {"-", NotMade, 5}, {"99999999999", NotMade, 5},
        {"-99999999999", Go, 5},  // does not fit 16 bits: NowPlate stays
        {" 3 ", Go, 3}, {"2.7", Go, 2}, {"0", Go, 1}, {"4", Go, 4}, {"-3", Go, 1}, {"5", Go, 5},
        {"1", Go, 1}, {"12", NotMade, 1},  // typing "12" passes through "1"
        {"４", Go, 4}, {"１", Go, 1}};
    // clang-format on
    for (const auto& [text, action, now] : steps) {
        EXPECT_EQ(PlateNumberChanged(doc, text), action) << text;
        EXPECT_EQ(doc.NowPlate, now) << text;
    }
    doc.NowPlate = before.NowPlate;
    EXPECT_TRUE(Same(doc, before));
    doc.PlateCount = 80;  // a damaged count still leaves NowPlate at 50 at most
    EXPECT_EQ(PlateNumberChanged(doc, "70"), Go);
    EXPECT_EQ(doc.NowPlate, 50);
}

}  // namespace
}  // namespace kelvara
