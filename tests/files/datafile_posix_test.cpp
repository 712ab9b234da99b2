// Saving and opening where only POSIX systems can set the scene: symbolic links, permissions
// and owners, FIFOs, /dev/full, file size limits, kernel files.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <tuple>

#include "datafile_test_support.h"
#include "files/datafile.h"

namespace kelvara::files_test {
namespace {

ino_t Inode(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Saves as a user who neither owns the files nor is privileged: as nobody in a child process
// when the test runs as root, as the test's own user otherwise.
bool SaveAsUnprivileged(const fs::path& path, const Document& doc) {
    if (::geteuid() != 0) return SaveDataFile(path, doc);
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(dropped && SaveDataFile(path, doc) ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

TEST_F(DataFileDisk, SaveReplacesKeepingModeAndLinkAndLoadReadsItBack) {
    const fs::path file = dir_ / "plates.dat", link = dir_ / "link.dat";
    fs::create_symlink("plates.dat", link);  // dangling until the first save
    ASSERT_TRUE(SaveDataFile(link, StartUp()));
    EXPECT_EQ(Contents(file), FormatDataFile(StartUp()));
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);

    ASSERT_TRUE(SaveDataFile(link, FiftyPlates()));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Contents(file), FormatDataFile(FiftyPlates()));
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640));
    EXPECT_EQ(Entries(), 2);
    Document doc = StartUp();
    ASSERT_EQ(LoadDataFile(file, doc), LoadStatus::Loaded);
    EXPECT_EQ(Fields(doc), Fields(FiftyPlates()));
}

TEST_F(DataFileDisk, SaveWritesInPlaceInAFolderTheUserMayNotWrite) {
    // A file anyone may write, in a folder the user may not write: saved in place.
    ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
    const fs::path closed = dir_ / "closed", shared = closed / "plates.dat";
    fs::create_directory(closed);
    ASSERT_TRUE(SaveDataFile(shared, StartUp()));
    const ino_t inode = Inode(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(closed.c_str(), 0555), 0);
    EXPECT_TRUE(SaveAsUnprivileged(shared, FiftyPlates()));
    EXPECT_EQ(Contents(shared), FormatDataFile(FiftyPlates()));
    EXPECT_EQ(std::tuple(Inode(shared), Entries(closed)), std::tuple(inode, 1));

    // A file the user may not write, in a folder anyone may write: not replaced.
    const fs::path open = dir_ / "open", kept = open / "plates.dat";
    fs::create_directory(open);
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    ASSERT_TRUE(SaveDataFile(kept, StartUp()));
    ASSERT_EQ(::chmod(kept.c_str(), 0444), 0);
    EXPECT_FALSE(SaveAsUnprivileged(kept, FiftyPlates()));
    EXPECT_EQ(Contents(kept), FormatDataFile(StartUp()));
    EXPECT_EQ(Entries(open), 1);
    ::chmod(closed.c_str(), 0755);
}

TEST_F(DataFileDisk, LoadStopsReadingAFileThatNeverEnds) {
    // A kernel file that says it is empty and reads on for the size of the address space stands
    // for a file that grows while it is read.
    Document doc = StartUp();
    EXPECT_EQ(LoadDataFile("/proc/self/pagemap", doc), LoadStatus::TooLarge);
    EXPECT_EQ(Fields(doc), Fields(StartUp()));
}

TEST_F(DataFileDisk, FailuresLeaveFilesAndDocumentAsTheyWere) {
    const fs::path file = dir_ / "plates.dat", fifo = dir_ / "fifo.dat";
    ASSERT_TRUE(SaveDataFile(file, StartUp()));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Failures that hold for root too: a full device, a FIFO nobody reads (which must fail
    // rather than hang).
    for (const fs::path& target : {fifo, fs::path("/dev/full")}) {
        EXPECT_FALSE(SaveDataFile(target, FiftyPlates())) << target;
    }
    // A full disk: the file size limit makes a write of the temporary file itself fail.
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = limit;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = SaveDataFile(file, FiftyPlates());
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(Contents(file), FormatDataFile(StartUp()));
    EXPECT_EQ(Entries(), 2);

    const Document before = FiftyPlates();
    Document doc = before;
    EXPECT_EQ(LoadDataFile(fifo, doc), LoadStatus::CannotOpen);
    EXPECT_EQ(Fields(doc), Fields(before));
}

}  // namespace
}  // namespace kelvara::files_test
