#include "device/wire_codec.h"

#include <gtest/gtest.h>

#include "device/line_events.h"

namespace kelvara {
namespace {

Document NewDoc() {
    Document doc;
    InitDocument(doc);
    return doc;
}

const std::string kZeros(16, '0');

TEST(WireCodecTest, EncodesEveryTableValueAndNothingElse) {
    const std::pair<int, const char*> counts[] = {{1, "01"},  {9, "09"},  {12, "0C"}, {15, "0F"},
                                                  {16, "10"}, {26, "1A"}, {50, "32"}};
    for (const auto& [count, text] : counts) {
        EXPECT_EQ(CountByte(static_cast<std::int16_t>(count)), text);
    }
    EXPECT_EQ(CountByte(0), std::nullopt);
    EXPECT_EQ(CountByte(51), std::nullopt);

    Pattern pattern{1, 0, 1, 1, 0, 0, 0, 1};
    std::fill(pattern.begin() + 56, pattern.end(), kOn);
    EXPECT_EQ(RowByte(pattern, 0), "B1");
    EXPECT_EQ(RowByte(pattern, 1), "00");
    EXPECT_EQ(RowByte(pattern, 7), "FF");
    pattern[20] = 2;
    EXPECT_EQ(RowByte(pattern, 2), std::nullopt);

    for (std::int16_t a = -1; a <= 3; ++a) {
        for (std::int16_t b = -1; b <= 4; ++b) {
            const bool pair = a >= 0 && a <= 2 && b >= 0 && b <= 2;
            EXPECT_EQ(PairDigit(a, b), pair ? std::optional("01245689a"[3 * a + b]) : std::nullopt);
            const bool e = a >= 0 && a <= 2 && b >= 0 && b <= 3;
            EXPECT_EQ(CellEightMethodDigit(a, b),
                      e ? std::optional("0123456789ab"[4 * a + b]) : std::nullopt);
        }
    }
}

TEST(ReplyDecodeTest, CountByteForms) {
    for (const auto& [count, plates] :
         {std::pair{"05", 5}, {"0a", 10}, {"1f", 31}, {"20", 32}, {"32", 50}}) {
        Document doc = NewDoc();
        doc.GameMode = 1;
        DecodeReply(std::string("*") + count + kZeros, doc);
        EXPECT_EQ(doc.PlateCount, plates) << count;
        EXPECT_EQ(doc.GameMode, 0) << count;
    }
    // "ff" switches to life game mode and reads the pattern only.
    Document life = NewDoc();
    life.PlateCount = 4;
    DecodeReply("*fff0" + kZeros.substr(2) + "aaaa90*", life);
    EXPECT_EQ(life.GameMode, 1);
    EXPECT_EQ(life.PlateCount, 4);
    EXPECT_EQ(life.IfData, NewDoc().IfData);
    EXPECT_EQ(life.MaData, (Pattern{1, 1, 1, 1, 0, 0, 0, 0}));
    // Unreadable counts keep count and mode; the plates are read with the kept count.
    for (const char* count : {"0A", "a0", "*0"}) {
        Document doc = NewDoc();
        doc.PlateCount = 2;
        DecodeReply(std::string("*") + count + kZeros + "000000555570*", doc);
        EXPECT_EQ(doc.PlateCount, 2) << count;
        EXPECT_EQ(doc.IfData[2], Condition{}) << count;
        EXPECT_EQ(doc.IfData[1], (Condition{1, 1, 1, 1, 1, 1, 1, 1, 1})) << count;
        EXPECT_EQ(doc.AcData[1], kMethodRandom) << count;
    }
}

TEST(ReplyDecodeTest, PlatesComeLastFirstAndEveryCodeDecodes) {
    Document doc = NewDoc();
    doc.MaData.fill(kOn);
    DecodeReply("*010000000000000000aaaa90*", doc);
    EXPECT_EQ(doc.MaData, Pattern{});
    EXPECT_EQ(doc.IfData[1], NewDoc().IfData[1]);
    DecodeReply("*02" + kZeros + "a5a590000080*", doc);
    EXPECT_EQ(doc.IfData[2], (Condition{2, 2, 1, 1, 2, 2, 1, 1, 2}));
    EXPECT_EQ(doc.AcData[2], kMethodOn);
    EXPECT_EQ(doc.IfData[1], (Condition{0, 0, 0, 0, 0, 0, 0, 0, 2}));
    EXPECT_EQ(doc.AcData[1], kMethodOff);
    // The two-bit code 3 means any; fifth character "c" is any with OFF(0), "7" ON with random.
    DecodeReply("*02" + kZeros + "37bfc037f070*", doc);
    EXPECT_EQ(doc.IfData[2], (Condition{0, 2, 1, 2, 2, 2, 2, 2, 2}));
    EXPECT_EQ(doc.AcData[2], kMethodOff);
    EXPECT_EQ(doc.IfData[1], (Condition{0, 2, 1, 2, 2, 2, 0, 0, 1}));
    EXPECT_EQ(doc.AcData[1], kMethodRandom);
}

TEST(ReplyDecodeTest, NoDigitsShortAndShiftedReplies) {
    // Upper-case "F" keeps cells 0..3, "G" keeps cells 2 and 3; plate 3 outlives a smaller count.
    Document doc = NewDoc();
    doc.PlateCount = 3;
    doc.MaData.fill(kOn);
    doc.IfData[3].fill(kOn);
    DecodeReply("*01F0" + kZeros.substr(2) + "0G0000*", doc);
    EXPECT_EQ(doc.PlateCount, 1);
    EXPECT_EQ(doc.MaData, (Pattern{1, 1, 1, 1}));
    EXPECT_EQ(doc.IfData[1], (Condition{0, 0, 2, 2, 0, 0, 0, 0, 0}));
    EXPECT_EQ(doc.IfData[3][0], kOn);

    Document same = NewDoc();
    DecodeReply("**", same);
    EXPECT_EQ(same.IfData, NewDoc().IfData);
    EXPECT_EQ(same.MaData, Pattern{});

    // "*05f": the pattern field is the whole text: digit 0 is "*", 1 is "0", 2 is "5", every
    // later one "f". Plate 1's fifth character is "5", its fourth "0", the rest "*".
    Document shortReply = NewDoc();
    shortReply.MaData.fill(kOn);
    DecodeReply("*05f", shortReply);
    Pattern expected;
    expected.fill(kOn);
    std::fill(expected.begin() + 4, expected.begin() + 8, kOff);
    expected[8] = expected[10] = kOff;
    EXPECT_EQ(shortReply.PlateCount, 5);
    EXPECT_EQ(shortReply.MaData, expected);
    EXPECT_EQ(shortReply.IfData[1], (Condition{2, 2, 2, 2, 2, 2, 0, 0, 1}));
    EXPECT_EQ(shortReply.IfData[2], NewDoc().IfData[2]);

    // A stray '*' in front shifts every field by one.
    Document shifted = NewDoc();
    DecodeReply("**010000000000000000aaaa90*", shifted);
    EXPECT_EQ(shifted.MaData[3], kOn);
    EXPECT_EQ(shifted.IfData[1], (Condition{0, 0, 2, 2, 2, 2, 2, 2, 2}));
    EXPECT_EQ(shifted.AcData[1], kMethodInvert);
}

TEST(ReplyDecodeTest, OnlyWholeRepliesThatAgreeWithTheirCountAreAcceptable) {
    Document doc = NewDoc();
    for (const std::string& good : {"*01" + kZeros + "aaaa90*", "*ff" + kZeros + "*",
                                    "*ff" + kZeros + "aaaa90*", "*0A" + kZeros + "aaaa90*"}) {
        EXPECT_TRUE(ReplyAcceptable(good, doc)) << good;
    }
    for (const std::string& bad :
         {std::string("**"), "*ff" + kZeros.substr(1) + "*", "*01" + kZeros + "aaaa9*",
          "*01" + kZeros + "aaaa900*", "**01" + kZeros + "aaaa90*", "*01" + kZeros + "aaaa90",
          "*00" + kZeros + "*", "*33" + kZeros + std::string(6 * 51, '0') + "*"}) {
        EXPECT_FALSE(ReplyAcceptable(bad, doc)) << bad;
    }
    doc.PlateCount = 2;  // an unreadable count is measured against the kept count and mode
    EXPECT_FALSE(ReplyAcceptable("*0A" + kZeros + "aaaa90*", doc));
    doc.GameMode = 1;
    EXPECT_TRUE(ReplyAcceptable("*0A" + kZeros + "*", doc));
}

TEST(ReplyDecodeTest, ReplyTextOfADocumentDecodesBackToIt) {
    Document held = NewDoc();
    held.PlateCount = 7;
    for (int i = 0; i < kCells; ++i) {
        held.MaData[i] = static_cast<std::int16_t>((i * 7 / 3) % 2);
    }
    for (int p = 1; p <= held.PlateCount; ++p) {
        for (int k = 0; k < kConditionCells; ++k) {
            held.IfData[p][k] = static_cast<std::int16_t>((p + k) % 3);
        }
        held.AcData[p] = static_cast<std::int16_t>(p % 4);
    }
    const std::string reply = ReplyText(held);
    EXPECT_EQ(reply.find_first_of("ABCDEF"), std::string::npos);
    Document read = NewDoc();
    ASSERT_TRUE(ReplyAcceptable(reply, read));
    DecodeReply(reply, read);
    EXPECT_EQ(read.MaData, held.MaData);
    EXPECT_EQ(read.IfData, held.IfData);
    EXPECT_EQ(read.AcData, held.AcData);
}

TEST(LineEventTest, MessagesCountersAndErrorBits) {
    for (int code = kLineEventSent; code <= kLineEventEof; ++code) {
        EXPECT_EQ(LineEventMessage(code), std::nullopt) << code;
    }
    const std::pair<int, const char*> shown[] = {
        {1001, "中断信号受信"},       {1004, "フレームエラー"},
        {1006, "オーバーランエラー"}, {1008, "受信バッファオーバー"},
        {1009, "受信パリティエラー"}, {1010, "送信バッファフル"},
        {1011, "DCB取得エラー"},      {1002, "未定義エラー発生"},
        {1003, "未定義エラー発生"},   {1007, "未定義エラー発生"},
        {0, "未定義エラー発生"},      {kLineErrorUndefined, "未定義エラー発生"}};
    for (const auto& [code, text] : shown) {
        EXPECT_EQ(LineEventMessage(code), text) << code;
    }

    const LineErrorCounts before{3, 1, 0, 2, 5};
    EXPECT_TRUE(LineEventsBetween(before, before).empty());
    EXPECT_TRUE(LineEventsBetween(before, {}).empty());
    EXPECT_EQ(LineEventsBetween(before, {3, 4, 0, 2, 6}), (std::vector<int>{1004, 1009}));
    EXPECT_EQ(LineEventsBetween(before, {4, 2, 1, 3, 6}),
              (std::vector<int>{1001, 1004, 1006, 1008, 1009}));
    EXPECT_TRUE(LineEventsFromCommErrors(0).empty());
    EXPECT_EQ(LineEventsFromCommErrors(kCommFrame), std::vector<int>{1004});
    EXPECT_EQ(LineEventsFromCommErrors(kCommBreak | kCommFrame | kCommOverrun | kCommRxOver |
                                       kCommRxParity | kCommTxFull),
              (std::vector<int>{1001, 1004, 1006, 1008, 1009, 1010}));
    const std::pair<const char*, std::optional<int>> web[] = {{"BreakError", 1001},
                                                              {"FramingError", 1004},
                                                              {"ParityError", 1009},
                                                              {"BufferOverrunError", 1008},
                                                              {"UnknownError", kLineErrorUndefined},
                                                              {"NetworkError", std::nullopt}};
    for (const auto& [name, code] : web) EXPECT_EQ(LineEventFromWebSerialError(name), code) << name;
}

}  // namespace
}  // namespace kelvara
