// Saving and opening where only POSIX systems can set the scene: symbolic links, permissions
// and owners, FIFOs, /dev/full, file size limits, kernel files.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <tuple>

#include "datafile_test_support.h"
#include "files/datafile.h"
#include "files/file_system.h"

namespace kelvara::files_test {
namespace {

ino_t Inode(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Saves as a user who neither owns the files nor is privileged: as nobody in a child process
// when the test runs as root, as the test's own user otherwise. Returns why the save failed.
SaveError SaveAsUnprivileged(const fs::path& path, const Document& doc) {
    SaveResult result;
    if (::geteuid() != 0) {
        SaveDataFile(path, doc, &result);
        return result.error;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        SaveDataFile(path, doc, &result);
        ::_exit(dropped ? static_cast<int>(result.error) : 100);
    }
    int status = 0;
    const bool exited = child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status);
    return exited && WEXITSTATUS(status) < 100 ? static_cast<SaveError>(WEXITSTATUS(status))
                                               : SaveError::kOther;
}

// An extended attribute of a file, "-" when it has none of that name.
std::string Attribute(const fs::path& path, const char* name) {
    std::string value(256, '\0');
    const ssize_t size = ::getxattr(path.c_str(), name, value.data(), value.size());
    return size < 0 ? "-" : value.substr(0, static_cast<std::size_t>(size));
}

// A POSIX ACL as Linux stores it: version 2, then (tag, permissions, id) little-endian.
std::string Acl(
    std::initializer_list<std::tuple<std::uint16_t, std::uint16_t, std::uint32_t>> entries) {
    std::string bytes;
    const auto put = [&](std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i) & 0xff);
    };
    put(2, 4);
    for (const auto& [tag, permissions, id] : entries) {
        put(tag, 2);
        put(permissions, 2);
        put(id, 4);
    }
    return bytes;
}
constexpr std::uint32_t kNoId = 0xffffffff;
constexpr const char* kAccessAcl = "system.posix_acl_access";

TEST_F(DataFileDisk, SaveReplacesKeepingModeAndLinkAndLoadReadsItBack) {
    const fs::path file = dir_ / "plates.dat", link = dir_ / "link.dat";
    fs::create_symlink("plates.dat", link);  // dangling until the first save
    ASSERT_TRUE(SaveDataFile(link, StartUp()));
    EXPECT_EQ(Contents(file), FormatDataFile(StartUp()));
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);

    // Extended attributes, an ACL among them (nobody may read, which the mode's group bits, the
    // ACL's mask, allow): the new file gets them all.
    const std::string acl =
        Acl({{1, 6, kNoId}, {2, 4, 65534}, {4, 4, kNoId}, {0x10, 4, kNoId}, {0x20, 0, kNoId}});
    ASSERT_EQ(::setxattr(file.c_str(), "user.kelvara", "class 2", 7, 0), 0);
    const bool acls = ::setxattr(file.c_str(), kAccessAcl, acl.data(), acl.size(), 0) == 0;
    const ino_t inode = Inode(file);

    ASSERT_TRUE(SaveDataFile(link, FiftyPlates()));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Contents(file), FormatDataFile(FiftyPlates()));
    EXPECT_NE(Inode(file), inode);  // replaced, not written in place
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640));
    EXPECT_EQ(Attribute(file, "user.kelvara"), "class 2");
    if (acls) {
        EXPECT_EQ(Attribute(file, kAccessAcl), acl);
    }
    EXPECT_EQ(Entries(), 2);
    Document doc = StartUp();
    ASSERT_EQ(LoadDataFile(file, doc), LoadStatus::Loaded);
    EXPECT_EQ(Fields(doc), Fields(FiftyPlates()));

    // A folder that gives new files an ACL: a file that had none gets none.
    const fs::path plain = dir_ / "plain.dat";
    ASSERT_TRUE(SaveDataFile(plain, StartUp()));
    const std::string inherited = Acl({{1, 6, kNoId}, {4, 6, kNoId}, {0x20, 6, kNoId}});
    if (acls && ::setxattr(dir_.c_str(), "system.posix_acl_default", inherited.data(),
                           inherited.size(), 0) == 0) {
        ASSERT_TRUE(SaveDataFile(plain, FiftyPlates()));
        EXPECT_EQ(Attribute(plain, kAccessAcl), "-");
        EXPECT_EQ(fs::status(plain).permissions(), fs::perms(0644));
    }
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
    EXPECT_EQ(SaveAsUnprivileged(shared, FiftyPlates()), SaveError::kNone);
    EXPECT_EQ(Contents(shared), FormatDataFile(FiftyPlates()));
    EXPECT_EQ(std::tuple(Inode(shared), Entries(closed)), std::tuple(inode, 1));

    // A file the user may not write, in a folder anyone may write: not replaced.
    const fs::path open = dir_ / "open", kept = open / "plates.dat";
    fs::create_directory(open);
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    ASSERT_TRUE(SaveDataFile(kept, StartUp()));
    ASSERT_EQ(::chmod(kept.c_str(), 0444), 0);
    EXPECT_EQ(SaveAsUnprivileged(kept, FiftyPlates()), SaveError::kNoPermission);
    EXPECT_EQ(Contents(kept), FormatDataFile(StartUp()));
    EXPECT_EQ(Entries(open), 1);
    ::chmod(closed.c_str(), 0755);

    // Another user's file the user may write, in a folder anyone may write (where a replacement
    // would take the file over and lose its attributes) and in a sticky one such as /tmp (where
    // only its owner may replace it): written in place, it stays the owner's with everything.
    if (::geteuid() != 0) return;
    for (const mode_t mode : {0777, 01777}) {
        const fs::path folder = dir_ / std::to_string(mode), theirs = folder / "plates.dat";
        fs::create_directory(folder);
        ASSERT_EQ(::chmod(folder.c_str(), mode), 0);
        ASSERT_TRUE(SaveDataFile(theirs, StartUp()));
        ASSERT_EQ(::chmod(theirs.c_str(), 0666), 0);
        ASSERT_EQ(::setxattr(theirs.c_str(), "user.kelvara", "theirs", 6, 0), 0);
        const ino_t before = Inode(theirs);
        EXPECT_EQ(SaveAsUnprivileged(theirs, FiftyPlates()), SaveError::kNone) << mode;
        EXPECT_EQ(Contents(theirs), FormatDataFile(FiftyPlates())) << mode;
        struct stat info {};
        ASSERT_EQ(::stat(theirs.c_str(), &info), 0);
        EXPECT_EQ(std::tuple(info.st_ino, info.st_uid, info.st_mode & 07777),
                  std::tuple(before, 0u, 0666u))
            << mode;
        EXPECT_EQ(Attribute(theirs, "user.kelvara"), "theirs") << mode;
        EXPECT_EQ(Entries(folder), 1) << mode;
    }
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
    const std::pair<fs::path, SaveError> devices[] = {{fifo, SaveError::kNoReader},
                                                      {"/dev/full", SaveError::kDiskFull}};
    for (const auto& [target, error] : devices) {
        SaveResult result;
        EXPECT_FALSE(SaveDataFile(target, FiftyPlates(), &result)) << target;
        EXPECT_EQ(result.error, error) << target;
    }
    // A full disk: the file size limit makes a write of the temporary file itself fail, and
    // the write of a file that is written in place (one with another name), whose old text is
    // then written back.
    const fs::path linked = dir_ / "linked.dat";
    ASSERT_TRUE(SaveDataFile(linked, StartUp()));
    fs::create_hard_link(linked, dir_ / "other.dat");
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = limit;
    small.rlim_cur = 500;  // more than the old text, less than the new
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    SaveResult replaced, inPlace;
    const bool saved = SaveDataFile(file, FiftyPlates(), &replaced);
    const bool savedInPlace = SaveDataFile(linked, FiftyPlates(), &inPlace);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(saved);
    EXPECT_FALSE(savedInPlace);
    EXPECT_EQ(std::tuple(replaced.error, inPlace.error),
              std::tuple(SaveError::kDiskFull, SaveError::kDiskFull));
    EXPECT_EQ(Contents(file), FormatDataFile(StartUp()));
    EXPECT_EQ(Contents(dir_ / "other.dat"), FormatDataFile(StartUp()));
    EXPECT_EQ(Entries(), 4);

    const Document before = FiftyPlates();
    Document doc = before;
    EXPECT_EQ(LoadDataFile(fifo, doc), LoadStatus::CannotOpen);
    EXPECT_EQ(Fields(doc), Fields(before));
}

TEST_F(DataFileDisk, NamesOfOpenFilesAreWrittenThroughAsTheShellOpenedThem) {
    const std::string text = FormatDataFile(StartUp());
    const auto fdName = [](const char* folder, int fd) { return folder + std::to_string(fd); };
    // A file the shell opened for appending (">> log.dat"): appended to through every name of
    // its descriptor, and never replaced.
    const fs::path log = dir_ / "log.dat";
    std::ofstream(log, std::ios::binary) << "earlier\n";
    const ino_t inode = Inode(log);
    const int appending = ::open(log.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(appending, 0);
    for (const char* folder : {"/dev/fd/", "/proc/self/fd/"}) {
        bool stream = false;
        EXPECT_TRUE(CheckSaveTarget(fdName(folder, appending), &stream).Ok()) << folder;
        EXPECT_TRUE(stream) << folder;
        EXPECT_TRUE(SaveDataFile(fdName(folder, appending), StartUp())) << folder;
    }
    EXPECT_EQ(Contents(log), "earlier\n" + text + text);
    EXPECT_EQ(std::tuple(Inode(log), Entries()), std::tuple(inode, 1));
    // Opened anew ("> log.dat"): written where the descriptor stands.
    const int truncated = ::open(log.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    EXPECT_TRUE(SaveDataFile(fdName("/dev/fd/", truncated), StartUp()));
    EXPECT_EQ(Contents(log), text);
    // A pipe ("| cat"): the text goes down it.
    int pipe[2] = {-1, -1};
    ASSERT_EQ(::pipe(pipe), 0);
    EXPECT_TRUE(SaveDataFile(fdName("/dev/fd/", pipe[1]), StartUp()));
    std::string piped(text.size() + 1, '\0');
    EXPECT_EQ(::read(pipe[0], piped.data(), piped.size()), static_cast<ssize_t>(text.size()));
    EXPECT_EQ(piped.substr(0, text.size()), text);

    // A socket (as some services give a program for its output), which cannot be opened anew.
    int sockets[2] = {-1, -1};
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets), 0);
    EXPECT_TRUE(SaveDataFile(fdName("/dev/fd/", sockets[1]), StartUp()));
    EXPECT_EQ(::recv(sockets[0], piped.data(), piped.size(), MSG_DONTWAIT),
              static_cast<ssize_t>(text.size()));
    ::close(sockets[0]);
    ::close(sockets[1]);

    // A descriptor that is closed, one open only for reading, a pipe nobody reads any more
    // (which must fail the save, not end the program with SIGPIPE).
    const auto pipeHandler = std::signal(SIGPIPE, SIG_DFL);
    const int reading = ::open(log.c_str(), O_RDONLY | O_CLOEXEC);
    ::close(pipe[0]);
    ::close(truncated);
    const std::pair<int, SaveError> failures[] = {{truncated, SaveError::kClosed},
                                                  {reading, SaveError::kNoPermission},
                                                  {pipe[1], SaveError::kNoReader}};
    for (const auto& [fd, error] : failures) {
        SaveResult result;
        EXPECT_FALSE(SaveDataFile(fdName("/dev/fd/", fd), StartUp(), &result)) << fd;
        EXPECT_EQ(result.error, error) << fd;
        if (error != SaveError::kNoReader) {
            EXPECT_EQ(CheckSaveTarget(fdName("/proc/self/fd/", fd)).error, error) << fd;
        }
    }
    std::signal(SIGPIPE, pipeHandler);
    EXPECT_EQ(Contents(log), text);
    for (const int fd : {appending, reading, pipe[1]}) ::close(fd);
}

// The step of a replacement at which the test makes the system fail, and with what.
files::Step failingStep = files::Step::kCreateTemporary;
int failingError = 0;
int FailStep(files::Step step) { return step == failingStep ? failingError : 0; }

TEST_F(DataFileDisk, OnlyARefusalForPermissionMakesASaveWriteInPlace) {
    using files::Step;
    const fs::path file = dir_ / "plates.dat";
    const struct {
        Step step;
        int error;
        SaveError expected;  // kNone: saved in place
    } cases[] = {
        {Step::kCreateTemporary, ENOSPC, SaveError::kDiskFull},
        {Step::kCreateTemporary, EDQUOT, SaveError::kDiskFull},
        {Step::kCreateTemporary, EMFILE, SaveError::kOther},
        {Step::kCreateTemporary, ENAMETOOLONG, SaveError::kOther},
        {Step::kTemporaryMade, ENOSPC, SaveError::kDiskFull},
        {Step::kRename, EIO, SaveError::kOther},
        {Step::kCreateTemporary, EACCES, SaveError::kNone},  // a folder the user may not write
        {Step::kRename, EPERM, SaveError::kNone},            // a sticky folder
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(SaveDataFile(file, StartUp()));
        const ino_t inode = Inode(file);
        std::tie(failingStep, failingError) = std::tuple(c.step, c.error);
        files::SetStepHook(FailStep);
        SaveResult result;
        const bool saved = SaveDataFile(file, FiftyPlates(), &result);
        files::SetStepHook(nullptr);
        EXPECT_EQ(saved, c.expected == SaveError::kNone) << c.error;
        EXPECT_EQ(std::tuple(result.error, result.systemCode),
                  std::tuple(c.expected, saved ? 0 : c.error));
        // The same file, with the whole new text or the whole old one, and nothing beside it.
        EXPECT_EQ(Contents(file), FormatDataFile(saved ? FiftyPlates() : StartUp())) << c.error;
        EXPECT_EQ(std::tuple(Inode(file), Entries()), std::tuple(inode, 1)) << c.error;
    }
    // A new file has nothing to be written in place.
    std::tie(failingStep, failingError) = std::tuple(Step::kCreateTemporary, EACCES);
    files::SetStepHook(FailStep);
    SaveResult result;
    EXPECT_FALSE(SaveDataFile(dir_ / "new.dat", StartUp(), &result));
    files::SetStepHook(nullptr);
    EXPECT_EQ(result.error, SaveError::kNoPermission);
    EXPECT_EQ(Entries(), 1);
}

TEST_F(DataFileDisk, ASignalThatEndsTheProgramWaitsUntilTheTemporaryFileIsGone) {
    const fs::path file = dir_ / "plates.dat";
    ASSERT_TRUE(SaveDataFile(file, StartUp()));
    const pid_t child = ::fork();
    if (child == 0) {
        // As kelvara does: the first SIGTERM is caught once (and has come), the second one
        // arrives while the temporary file exists.
        struct sigaction once {};
        once.sa_handler = [](int) {};
        once.sa_flags = SA_RESETHAND;
        ::sigaction(SIGTERM, &once, nullptr);
        ::raise(SIGTERM);
        files::SetStepHook([](files::Step step) {
            if (step == files::Step::kTemporaryMade) ::raise(SIGTERM);
            return 0;
        });
        SaveDataFile(file, FiftyPlates());
        ::_exit(0);  // not reached: the signal ends the child once the file is saved
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(Contents(file), FormatDataFile(FiftyPlates()));
    EXPECT_EQ(Entries(), 1);
}

}  // namespace
}  // namespace kelvara::files_test
