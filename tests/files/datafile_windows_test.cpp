// Saving where only Windows can set the scene: the read-only attribute, and files other
// programs hold open with the sharing they chose.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

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

files::Step injectedStep = files::Step::kCreateTemporary;
DWORD injectedError = ERROR_SUCCESS;
int FailStep(files::Step step) {
    return step == injectedStep ? static_cast<int>(injectedError) : 0;
}

TEST_F(DataFileDisk, OnlyARefusalForPermissionMakesASaveWriteInPlace) {
    // A full disk fails the save with the old file whole; a folder the user may not write, and a
    // file another user owns (its replacement is refused), have the file written in place.
    const fs::path file = dir_ / "plates.dat";
    const struct {
        files::Step step;
        DWORD error;
        bool saved;
    } cases[] = {
        {files::Step::kCreateTemporary, ERROR_DISK_FULL, false},
        {files::Step::kCreateTemporary, ERROR_ACCESS_DENIED, true},
        {files::Step::kRename, ERROR_ACCESS_DENIED, true},
        {files::Step::kRename, ERROR_DISK_FULL, false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(SaveDataFile(U8(file), StartUp()));
        injectedStep = c.step;
        injectedError = c.error;
        files::SetStepHook(FailStep);
        SaveResult result;
        const bool saved = SaveDataFile(U8(file), FiftyPlates(), &result);
        files::SetStepHook(nullptr);
        EXPECT_EQ(saved, c.saved) << c.error;
        EXPECT_EQ(result.error, saved ? SaveError::kNone : SaveError::kDiskFull) << c.error;
        EXPECT_EQ(Contents(file), FormatDataFile(saved ? FiftyPlates() : StartUp())) << c.error;
        EXPECT_EQ(Entries(), 1) << c.error;  // no temporary file left
    }
    // A new file in a folder the user may not write is refused before anything is written.
    injectedStep = files::Step::kCreateTemporary;
    injectedError = ERROR_ACCESS_DENIED;
    files::SetStepHook(FailStep);
    const SaveResult probed = CheckSaveTarget(U8(dir_ / "new.dat"));
    files::SetStepHook(nullptr);
    EXPECT_EQ(probed.error, SaveError::kNoPermission);
}

// The end of the program asked for during a save (a second Ctrl+C, whose handler then lets the
// system end it) waits until the file is whole: in a child process, the end comes while the
// temporary file exists, and the program ends only after the rename.
int EndWhileTheTemporaryFileExists(files::Step step) {
    if (step != files::Step::kTemporaryMade) return 0;
    std::thread([] {
        files::HoldSavesForEnd();
        std::_Exit(7);
    }).detach();
    ::Sleep(300);
    return 0;
}

TEST_F(DataFileDisk, AnEndAskedForDuringASaveWaitsForTheWholeFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child runs this test from its start: it saves into the file the parent names, and
    // leaves no folder of its own.
    if (const char* parents = std::getenv("KELVARA_HELD_SAVE")) {
        fs::remove(dir_);
        dir_ = PathFromUtf8(parents).value_or(fs::path()).parent_path();
    }
    const fs::path file = dir_ / "plates.dat";
    ASSERT_TRUE(SaveDataFile(U8(file), StartUp()));
    ASSERT_EQ(::_putenv_s("KELVARA_HELD_SAVE", U8(file).c_str()), 0);
    EXPECT_EXIT(
        {
            files::SetStepHook(EndWhileTheTemporaryFileExists);
            SaveDataFile(std::getenv("KELVARA_HELD_SAVE"), FiftyPlates());
            ::Sleep(INFINITE);
        },
        ::testing::ExitedWithCode(7), "");
    ::_putenv_s("KELVARA_HELD_SAVE", "");
    EXPECT_EQ(Contents(file), FormatDataFile(FiftyPlates()));
    EXPECT_EQ(Entries(), 1);
}

// A device's name is no file on Windows, in any folder: a save to it is refused before anything
// is opened (COM3.dat would write into the serial port).
TEST_F(DataFileDisk, DeviceNamesAreRefused) {
    for (const char* name : {"COM3.dat", "nul", "CON.dat", "aux.dat"}) {
        SaveResult result;
        EXPECT_FALSE(SaveDataFile(U8(dir_ / name), FiftyPlates(), &result)) << name;
        EXPECT_EQ(result.error, SaveError::kDeviceName) << name;
        EXPECT_EQ(CheckSaveTarget(U8(dir_ / name)).error, SaveError::kDeviceName) << name;
    }
    EXPECT_EQ(Entries(), 0);
    // The system's words come as UTF-16, given in UTF-8 without a line break.
    const std::string text = SystemErrorText(ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace kelvara::files_test
