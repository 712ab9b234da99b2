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
#include "files/file_system.h"

namespace kelvara::files_test {
namespace {

TEST_F(DataFileDisk, SaveFailsWholeOnAReadOnlyOrBusyFile) {
    const fs::path file = dir_ / "plates.dat";
    ASSERT_TRUE(SaveDataFile(U8(file), StartUp()));

    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    SaveResult result;
    EXPECT_FALSE(SaveDataFile(U8(file), FiftyPlates(), &result));
    EXPECT_EQ(result.error, SaveError::kNoPermission);
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

DWORD injectedError = ERROR_SUCCESS;
int FailToCreate(files::Step step) {
    return step == files::Step::kCreateTemporary ? static_cast<int>(injectedError) : 0;
}

TEST_F(DataFileDisk, OnlyARefusalForPermissionMakesASaveWriteInPlace) {
    // A full disk fails the save with the old file whole; a folder the user may not write has
    // the file written in place.
    const fs::path file = dir_ / "plates.dat";
    for (const DWORD error : {DWORD{ERROR_DISK_FULL}, DWORD{ERROR_ACCESS_DENIED}}) {
        ASSERT_TRUE(SaveDataFile(U8(file), StartUp()));
        injectedError = error;
        files::SetStepHook(FailToCreate);
        SaveResult result;
        const bool saved = SaveDataFile(U8(file), FiftyPlates(), &result);
        files::SetStepHook(nullptr);
        EXPECT_EQ(saved, error == ERROR_ACCESS_DENIED) << error;
        EXPECT_EQ(result.error, saved ? SaveError::kNone : SaveError::kDiskFull) << error;
        EXPECT_EQ(Contents(file), FormatDataFile(saved ? FiftyPlates() : StartUp())) << error;
        EXPECT_EQ(Entries(), 1) << error;
    }
}

}  // namespace
}  // namespace kelvara::files_test
