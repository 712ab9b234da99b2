#include "document/document.h"

#include <gtest/gtest.h>

namespace kelvara {
namespace {

Condition AllAny() {
    Condition c;
    c.fill(kAny);
    return c;
}

TEST(DocumentTest, StartUpDefaultsLeaveSlotZeroEmpty) {
    Document doc;
    InitDocument(doc);
    EXPECT_EQ(doc.ComPort, 1);
    EXPECT_EQ(doc.GameMode, 0);
    EXPECT_EQ(doc.NowPlate, 1);
    EXPECT_EQ(doc.PlateCount, 1);
    EXPECT_TRUE(doc.FileName.empty());
    for (int p = 1; p <= kMaxPlates; ++p) {
        EXPECT_EQ(doc.IfData[p], AllAny()) << "plate " << p;
        EXPECT_EQ(doc.AcData[p], kMethodOn) << "plate " << p;
    }
    EXPECT_EQ(doc.IfData[0], Condition{});
    EXPECT_EQ(doc.AcData[0], 0);
    EXPECT_EQ(doc.MaData, Pattern{});
    EXPECT_EQ(doc.MaBackup, Pattern{});
}

TEST(DocumentTest, NewResetsTheRulesButKeepsPortFileBackupAndSlotZero) {
    Document doc;
    InitDocument(doc);
    doc.PlateCount = 12;
    doc.NowPlate = 7;
    doc.GameMode = 1;
    doc.ComPort = 4;
    doc.FileName = "/tmp/a.dat";
    doc.MaData.fill(kOn);
    doc.MaBackup.fill(kOn);
    doc.IfData[0].fill(5);
    doc.AcData[0] = 3;
    doc.IfData[50].fill(kOff);
    doc.AcData[50] = kMethodRandom;

    NewDocument(doc);

    EXPECT_EQ(doc.PlateCount, 1);
    EXPECT_EQ(doc.NowPlate, 1);
    EXPECT_EQ(doc.GameMode, 0);
    EXPECT_EQ(doc.MaData, Pattern{});
    EXPECT_EQ(doc.IfData[50], AllAny());
    EXPECT_EQ(doc.AcData[50], kMethodOn);
    // What New keeps.
    EXPECT_EQ(doc.ComPort, 4);
    EXPECT_EQ(doc.FileName, "/tmp/a.dat");
    Pattern full;
    full.fill(kOn);
    EXPECT_EQ(doc.MaBackup, full);
    Condition five;
    five.fill(5);
    EXPECT_EQ(doc.IfData[0], five);
    EXPECT_EQ(doc.AcData[0], 3);
}

TEST(DocumentTest, AllDataTakesOnlyCellValues) {
    Document doc;
    InitDocument(doc);
    doc.PlateCount = 2;
    doc.NowPlate = 2;
    EXPECT_TRUE(AllData(doc, kOff));
    EXPECT_EQ(doc.IfData[2], Condition{});
    EXPECT_EQ(doc.IfData[1], AllAny());  // other plates untouched
    EXPECT_FALSE(AllData(doc, 3));
    EXPECT_FALSE(AllData(doc, -1));
    EXPECT_EQ(doc.IfData[2], Condition{});
}

}  // namespace
}  // namespace kelvara
