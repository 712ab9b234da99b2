// The simulated machine's side of the line, fed directly with characters and a clock.

#include "machine/machine_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/wire_codec.h"

namespace kelvara::machine {
namespace {

// The units the editor puts on the line for doc, made with the editor's own encoders.
std::vector<std::string> WriteUnits(const Document& doc) {
    std::vector<std::string> units{*CountByte(doc.PlateCount)};
    for (int row = 0; row < 8; ++row) {
        units.push_back(*RowByte(doc.MaData, row));
    }
    for (int p = 1; p <= doc.PlateCount; ++p) {
        const Condition& c = doc.IfData[p];
        units.push_back({*PairDigit(c[0], c[1]), *PairDigit(c[2], c[3])});
        units.push_back({*PairDigit(c[4], c[5]), *PairDigit(c[6], c[7])});
        units.push_back({*CellEightMethodDigit(c[8], doc.AcData[p]), '0'});
    }
    return units;
}

// A document whose plates all differ, so that a plate in the wrong place shows.
Document Varied(int plates) {
    Document doc;
    InitDocument(doc);
    doc.PlateCount = static_cast<std::int16_t>(plates);
    for (int i = 0; i < kCells; ++i) {
        doc.MaData[i] = static_cast<std::int16_t>((i * 7 + plates) % 3 == 0);
    }
    for (int p = 1; p <= plates; ++p) {
        for (int c = 0; c < kConditionCells; ++c) {
            doc.IfData[p][c] = static_cast<std::int16_t>((p + c * (p % 5 + 1)) % 3);
        }
        doc.AcData[p] = static_cast<std::int16_t>(p % 4);
    }
    return doc;
}

void ExpectHolds(const MachineProtocol& machine, const Document& doc) {
    const Document& held = machine.Held();
    EXPECT_EQ(held.GameMode, doc.GameMode);
    EXPECT_EQ(held.PlateCount, doc.PlateCount);
    EXPECT_EQ(held.MaData, doc.MaData);
    for (int p = 1; p <= doc.PlateCount; ++p) {
        EXPECT_EQ(held.IfData[p], doc.IfData[p]) << "plate " << p;
        EXPECT_EQ(held.AcData[p], doc.AcData[p]) << "plate " << p;
    }
}

// Feeds the units one by one, 5 ms apart; returns every answer in order.
struct Line {
    MachineProtocol& machine;
    std::int64_t now = 1000;

    std::vector<std::string> SendUnits(const std::vector<std::string>& units) {
        std::vector<std::string> answers;
        for (const std::string& unit : units) {
            now += 5;
            answers.push_back(machine.Take(unit, now));
        }
        return answers;
    }
    std::string Send(const std::string& unit) { return SendUnits({unit}).front(); }
};

constexpr char kNewDocumentReply[] = "*010000000000000000aaaa90*";

TEST(MachineProtocolTest, StartsWithTheNewDocumentAndAnswersTheReadWithoutAcknowledging) {
    MachineProtocol machine;
    Line line{machine};
    EXPECT_EQ(line.Send("00"), kNewDocumentReply);
    EXPECT_EQ(line.Send("00"), kNewDocumentReply);  // every read is answered alike
    EXPECT_FALSE(machine.Receiving());
}

TEST(MachineProtocolTest, WriteIsAcknowledgedUnitByUnitAndKeptOnlyWhenComplete) {
    MachineProtocol machine;
    Line line{machine};
    const Document doc = Varied(3);
    std::vector<std::string> units = WriteUnits(doc);
    const std::string last = units.back();
    units.pop_back();
    EXPECT_EQ(line.SendUnits(units), std::vector<std::string>(units.size(), "*"));
    EXPECT_EQ(machine.Held().PlateCount, 1);  // nothing kept before the last unit
    EXPECT_TRUE(machine.TakeEvents().empty());
    EXPECT_EQ(line.Send(last), "*");
    ExpectHolds(machine, doc);
    const auto events = machine.TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, Event::Kind::kStored);
    EXPECT_EQ(events[0].plates, 3);

    // The reply is lower case with the plates from 3 down to 1.
    const std::string reply = line.Send("00");
    EXPECT_EQ(reply, ReplyText(doc));
    EXPECT_EQ(reply.substr(0, 3), "*03");
    EXPECT_EQ(reply.substr(19, 6), units[15] + units[16] + last);
    EXPECT_EQ(reply.substr(31, 6), units[9] + units[10] + units[11]);

    // The new document, handed over in pieces of any size, is acknowledged 12 times.
    std::string acks;
    for (const char c : std::string("010000000000000000aaaa90")) {
        acks += machine.Take(std::string(1, c), line.now += 1);
    }
    EXPECT_EQ(acks, std::string(12, '*'));
    EXPECT_EQ(line.Send("00"), kNewDocumentReply);
}

TEST(MachineProtocolTest, FiftyPlatesAndLifeGameMode) {
    MachineProtocol machine;
    Line line{machine};
    const Document doc = Varied(50);
    const std::vector<std::string> units = WriteUnits(doc);
    ASSERT_EQ(units.front(), "32");
    EXPECT_EQ(line.SendUnits(units), std::vector<std::string>(159, "*"));
    ExpectHolds(machine, doc);
    const std::string reply = line.Send("00");
    ASSERT_EQ(reply.size(), 6u * 50 + 20);
    EXPECT_EQ(reply.substr(19, 6), units[156] + units[157] + units[158]);       // plate 50
    EXPECT_EQ(reply.substr(6 * 49 + 19, 6), units[9] + units[10] + units[11]);  // plate 1

    // Life game mode keeps the plates and replies with the marker and the pattern only.
    EXPECT_EQ(line.SendUnits({"ff", "B1", "00", "00", "00", "00", "00", "00", "FF"}),
              std::vector<std::string>(9, "*"));
    EXPECT_EQ(machine.Held().GameMode, 1);
    EXPECT_EQ(machine.Held().PlateCount, 50);
    EXPECT_EQ(machine.Held().IfData, doc.IfData);
    EXPECT_EQ(line.Send("00"), "*ffb1000000000000ff*");

    // A write brings normal mode back.
    EXPECT_EQ(line.SendUnits(WriteUnits(Varied(2))), std::vector<std::string>(15, "*"));
    ExpectHolds(machine, Varied(2));
}

TEST(MachineProtocolTest, UnitsThatDoNotFitAreDroppedAndEndTheWrite) {
    // As a first unit: lower-case count, a count above 50, upper-case marker, no digits,
    // control characters. The event carries the unit exactly as it came.
    const std::vector<std::string> misfitFirst = {"0a", "33",    "FF",   "zz",
                                                  "*0", "\033c", "\r\n", std::string("0\0", 2)};
    for (const std::string& unit : misfitFirst) {
        MachineProtocol machine;
        Line line{machine};
        EXPECT_EQ(line.Send(unit), "") << Printable(unit);
        EXPECT_FALSE(machine.Receiving()) << Printable(unit);
        const auto events = machine.TakeEvents();
        ASSERT_EQ(events.size(), 1u) << Printable(unit);
        EXPECT_EQ(events[0].kind, Event::Kind::kDropped);
        EXPECT_EQ(events[0].unit, unit);
        EXPECT_EQ(line.Send("00"), kNewDocumentReply) << Printable(unit);
    }

    // Inside a write: a lower-case row, a pair digit with the code 3, a cell 8 of code 3, a
    // third unit that does not end in "0".
    const Document doc = Varied(2);
    const std::pair<int, const char*> misfits[] = {{3, "b1"}, {10, "3a"}, {11, "c0"}, {11, "91"}};
    for (const auto& [at, unit] : misfits) {
        MachineProtocol machine;
        Line line{machine};
        std::vector<std::string> units = WriteUnits(doc);
        units.resize(static_cast<std::size_t>(at));
        EXPECT_EQ(line.SendUnits(units), std::vector<std::string>(units.size(), "*")) << unit;
        EXPECT_EQ(line.Send(unit), "") << unit;
        EXPECT_FALSE(machine.Receiving()) << unit;
        // The rest of the broken write does not complete anything; "00" is a request again.
        EXPECT_EQ(line.Send("00"), kNewDocumentReply) << unit;
        EXPECT_EQ(machine.Held().PlateCount, 1) << unit;
    }

    // "00" inside a write is an empty row, not a read request.
    MachineProtocol machine;
    Line line{machine};
    EXPECT_EQ(line.SendUnits({"01", "00"}), (std::vector<std::string>{"*", "*"}));
}

TEST(MachineProtocolTest, WhatCameOffTheLineIsShownWithEveryControlCharacterEscaped) {
    const std::pair<std::string, std::string> cases[] = {
        {"0a", "0a"},
        {"\033c", "\\x1bc"},  // the terminal reset
        {"\r\n", "\\r\\n"},   // would break the redraw in place
        {"\t\b", "\\t\\x08"},
        {std::string("\0\x7f", 2), "\\x00\\x7f"},
        {"\x9b\xff", "\\x9b\\xff"},  // a C1 control and a byte outside ASCII
        {"\\x", "\\\\x"},            // a backslash cannot pass for an escape
        {"\"}", "\\\"}"},            // nor a quote for the end of the unit
    };
    for (const auto& [received, shown] : cases) {
        EXPECT_EQ(Printable(received), shown);
    }
}

TEST(MachineProtocolTest, APauseDropsAHalfUnitOrAnUnfinishedWrite) {
    MachineProtocol machine;
    // A stray half unit is forgotten after the pause; the pairing starts again.
    EXPECT_EQ(machine.Take("0", 1000), "");
    EXPECT_TRUE(machine.Receiving());
    EXPECT_EQ(machine.Take("01", 1000 + kResyncPauseMs + 1), "*");

    // Gaps up to the pause keep the write going.
    std::int64_t now = 1000 + kResyncPauseMs + 1;
    for (int row = 0; row < 8; ++row) {
        now += kResyncPauseMs;
        EXPECT_EQ(machine.Take("FF", now), "*");
    }
    machine.Expire(now + kResyncPauseMs);
    EXPECT_TRUE(machine.Receiving());
    machine.TakeEvents();

    // A longer one ends it: the write is dropped and a read is answered again.
    machine.Expire(now + kResyncPauseMs + 1);
    EXPECT_FALSE(machine.Receiving());
    const auto events = machine.TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, Event::Kind::kAbandoned);
    EXPECT_EQ(machine.Take("00", now + kResyncPauseMs + 2), kNewDocumentReply);

    // The machine's own sending counts as activity on the line.
    EXPECT_EQ(machine.Take("01", 5000), "*");
    machine.LineBusy(5000 + kResyncPauseMs);
    EXPECT_EQ(machine.Take("00", 5000 + kResyncPauseMs + 10), "*");
}

TEST(MachineProtocolTest, Faults) {
    const std::vector<std::string> units = WriteUnits(Varied(1));  // 12 units

    Faults silent;
    silent.silent = true;
    MachineProtocol deaf(silent);
    Line deafLine{deaf};
    EXPECT_EQ(deafLine.SendUnits(units), std::vector<std::string>(12, ""));
    EXPECT_EQ(deafLine.Send("00"), "");
    ExpectHolds(deaf, Varied(1));  // it still takes what it is given

    Faults stop;
    stop.stopAfter = 9;
    MachineProtocol stopping(stop);
    Line stopLine{stopping};
    std::vector<std::string> expected(9, "*");
    expected.resize(12);
    EXPECT_EQ(stopLine.SendUnits(units), expected);
    EXPECT_EQ(stopLine.Send("00"), "");

    Faults doubled;
    doubled.doubleAck = true;
    MachineProtocol twice(doubled);
    Line twiceLine{twice};
    EXPECT_EQ(twiceLine.SendUnits(units), std::vector<std::string>(12, "**"));
    EXPECT_EQ(twiceLine.Send("00"), ReplyText(Varied(1)));  // the reply itself is as ever

    Faults stray;
    stray.stray = "*";
    MachineProtocol noisy(stray);
    Line noisyLine{noisy};
    EXPECT_EQ(noisyLine.SendUnits(units), std::vector<std::string>(12, "*"));  // acks are clean
    EXPECT_EQ(noisyLine.Send("00"), "*" + ReplyText(Varied(1)));
    EXPECT_EQ(noisyLine.Send("00"), ReplyText(Varied(1)));  // only before the next reply
}

TEST(MachineProtocolTest, StepsRunWhatIsHeldButNotDuringAWrite) {
    ClockRandom random;
    MachineProtocol machine;
    Line line{machine};
    // The new document's plate (all any, method ON) turns every cell ON, and the reply shows it.
    EXPECT_TRUE(machine.Step(random));
    EXPECT_EQ(line.Send("00"), "*01ffffffffffffffffaaaa90*");

    // Life game mode: a blinker across the left and right edges turns upright and back.
    EXPECT_EQ(line.SendUnits({"ff", "00", "00", "00", "C1", "00", "00", "00", "00"}),
              std::vector<std::string>(9, "*"));
    EXPECT_TRUE(machine.Step(random));
    EXPECT_EQ(line.Send("00"), "*ff0000808080000000*");
    EXPECT_TRUE(machine.Step(random));
    EXPECT_EQ(line.Send("00"), "*ff000000c100000000*");

    // Half a write: no step until it has arrived.
    EXPECT_EQ(line.SendUnits({"ff", "FF"}), (std::vector<std::string>{"*", "*"}));
    EXPECT_FALSE(machine.Step(random));
    EXPECT_EQ(machine.Held().MaData[0], kOff);
    machine.Expire(line.now + kResyncPauseMs + 1);
    EXPECT_EQ(machine.Take("0", line.now + kResyncPauseMs + 2), "");  // half a unit as well
    EXPECT_FALSE(machine.Step(random));
}

}  // namespace
}  // namespace kelvara::machine
