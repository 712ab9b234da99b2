// Saving where only Windows can set the scene: the read-only attribute, and files other
// programs hold open with the sharing they chose.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "datafile_test_support.h"
#include "files/datafile.h"

namespace kelvara::files_test {
namespace {

TEST_F(DataFileDisk, SaveFailsWholeOnAReadOnlyOrBusyFile) {
    const fs::path file = dir_ / "plates.dat";
    ASSERT_TRUE(SaveDataFile(U8(file), StartUp()));

    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(SaveDataFile(U8(file), FiftyPlates()));
    EXPECT_EQ(Contents(file), FormatDataFile(StartUp()));
    EXPECT_EQ(Entries(), 1);
    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL));

    // Another program holds the file open: without letting it be deleted (so it cannot be
    // replaced), and also without letting it be written.
    for (const DWORD share :
         {DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE}, DWORD{FILE_SHARE_READ}, DWORD{0}}) {
        const HANDLE holder = ::CreateFileW(file.c_str(), GENERIC_READ, share, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(SaveDataFile(U8(file), FiftyPlates())) << share;
        ::CloseHandle(holder);
        EXPECT_EQ(Contents(file), FormatDataFile(StartUp())) << share;
        EXPECT_EQ(Entries(), 1) << share;
    }
    // Let go, the file is replaced.
    EXPECT_TRUE(SaveDataFile(U8(file), FiftyPlates()));
    EXPECT_EQ(Contents(file), FormatDataFile(FiftyPlates()));
    EXPECT_EQ(Entries(), 1);
}

}  // namespace
}  // namespace kelvara::files_test
