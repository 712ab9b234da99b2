// The file operations of the data files on Linux, macOS and other POSIX systems.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "files/file_system.h"

#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#endif

namespace kelvara::files {

namespace {

namespace fs = std::filesystem;

SaveResult Failure(int code) {
    SaveError error = SaveError::kOther;
    switch (code) {
        case ENOENT:
        case ENOTDIR:
            error = SaveError::kNoFolder;
            break;
        case EISDIR:
            error = SaveError::kIsDirectory;
            break;
        case EACCES:
        case EPERM:
            error = SaveError::kNoPermission;
            break;
        case EROFS:
            error = SaveError::kReadOnly;
            break;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            error = SaveError::kDiskFull;
            break;
        case ENXIO:
        case EPIPE:
            error = SaveError::kNoReader;
            break;
        case EBADF:
            error = SaveError::kClosed;
            break;
        case EBUSY:
        case ETXTBSY:
            error = SaveError::kBusy;
            break;
        default:
            break;
    }
    return SaveResult{error, code};
}

bool RefusedForPermission(int code) { return code == EACCES || code == EPERM; }

// Whether the user (as the effective user, which is what opening checks) may do mode to path;
// why not otherwise.
bool Accessible(const fs::path& path, int mode, SaveResult& why) {
    if (::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0) return true;
    why = Failure(errno);
    return false;
}

// Writes all of text to fd at its position, through short writes, interruptions and a
// descriptor someone else made non-blocking.
bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd ready{fd, POLLOUT, 0};
            if (::poll(&ready, 1, -1) < 0 && errno != EINTR) return false;
            continue;
        }
        if (written <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The same at offset in a regular file.
bool WriteAllAt(int fd, std::string_view text, off_t offset) {
    while (!text.empty()) {
        const ssize_t written = ::pwrite(fd, text.data(), text.size(), offset);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(written));
        offset += written;
    }
    return true;
}

// The signals by which a user ends a program: Ctrl+C, kill, a closed terminal, Ctrl+\.
constexpr std::array<int, 4> kStopSignals{SIGINT, SIGTERM, SIGHUP, SIGQUIT};
std::array<std::atomic<int>, kStopSignals.size()> heldSignals{};
static_assert(std::atomic<int>::is_always_lock_free, "counted in a signal handler");

extern "C" void CountHeldSignal(int signal) {
    for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
        if (kStopSignals[i] == signal) ++heldSignals[i];
    }
}

// While a temporary file exists or a file is rewritten in place, the stop signals are only
// counted; afterwards each one counted is raised again under the program's own handling. So a
// signal that would end the program (a second Ctrl+C once the first one's handler is spent)
// ends it only once the temporary file is renamed or removed and the file is whole. Blocking
// the signals would not do: another thread that does not block them would take them at once.
class StopSignalsHeld {
  public:
    StopSignalsHeld() : lock_(mutex_) {
        struct sigaction hold {};
        hold.sa_handler = CountHeldSignal;
        sigemptyset(&hold.sa_mask);
        hold.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
            ::sigaction(kStopSignals[i], &hold, &old_[i]);
        }
    }
    ~StopSignalsHeld() {
        for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
            ::sigaction(kStopSignals[i], &old_[i], nullptr);
        }
        for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
            for (int n = heldSignals[i].exchange(0); n > 0; --n) ::raise(kStopSignals[i]);
        }
    }
    StopSignalsHeld(const StopSignalsHeld&) = delete;
    StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

  private:
    static inline std::mutex mutex_;
    std::lock_guard<std::mutex> lock_;
    std::array<struct sigaction, kStopSignals.size()> old_{};
};

// A write to a pipe or FIFO whose reader has gone fails with EPIPE instead of ending the
// program with SIGPIPE: the signal is blocked in this thread meanwhile, and one the write
// raised is taken off again.
class BrokenPipeHeld {
  public:
    BrokenPipeHeld() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        wasPending_ = ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
        ::pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    }
    ~BrokenPipeHeld() {
        sigset_t pending;
        if (!wasPending_ && ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
            const timespec now{};
            ::sigtimedwait(&pipe_, nullptr, &now);
        }
        ::pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    BrokenPipeHeld(const BrokenPipeHeld&) = delete;
    BrokenPipeHeld& operator=(const BrokenPipeHeld&) = delete;

  private:
    sigset_t pipe_{};
    sigset_t old_{};
    bool wasPending_ = false;
};

// Creates a new, empty file of a name no other file has, in dir. Returns its descriptor, or -1
// with errno set.
int CreateTemporary(const fs::path& dir, mode_t mode, fs::path& name) {
    if (const int injected = InjectedFailure(Step::kCreateTemporary)) {
        errno = injected;
        return -1;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = TemporaryName(dir);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

#ifdef __linux__
// The names of a file's extended attributes (ACLs are among them), by path or descriptor; an
// empty list where the file system has none. False with errno set when they cannot be read.
template <typename List>
bool AttributeNames(List list, std::vector<std::string>& names) {
    names.clear();
    for (int attempt = 0; attempt < 5; ++attempt) {
        const ssize_t size = list(nullptr, 0);
        if (size < 0 && (errno == ENOTSUP || errno == ENOSYS)) return true;
        if (size <= 0) return size == 0;
        std::string buffer(static_cast<std::size_t>(size), '\0');
        const ssize_t got = list(buffer.data(), buffer.size());
        if (got < 0 && errno == ERANGE) continue;  // grew meanwhile
        if (got < 0) return false;
        for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
            const std::size_t end = buffer.find('\0', at);
            names.push_back(buffer.substr(at, end - at));
            at = end + 1;
        }
        return true;
    }
    errno = ERANGE;
    return false;
}

template <typename Get>
bool AttributeValue(Get get, std::string& value) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        const ssize_t size = get(nullptr, 0);
        if (size < 0) return false;
        value.assign(static_cast<std::size_t>(size), '\0');
        const ssize_t got = get(value.data(), value.size());
        if (got < 0 && errno == ERANGE) continue;
        if (got < 0) return false;
        value.resize(static_cast<std::size_t>(got));
        return true;
    }
    errno = ERANGE;
    return false;
}

// Gives the new file fd exactly the extended attributes of the old file: each of the old
// file's that it lacks or holds otherwise is set, and any it has that the old file has not
// (an ACL inherited from the folder) is removed. Returns 0, or the errno of what failed.
int CopyAttributes(const fs::path& old, int fd) {
    std::vector<std::string> oldNames, newNames;
    const char* path = old.c_str();
    if (!AttributeNames([&](char* b, std::size_t n) { return ::listxattr(path, b, n); },
                        oldNames) ||
        !AttributeNames([&](char* b, std::size_t n) { return ::flistxattr(fd, b, n); }, newNames)) {
        return errno;
    }
    for (const std::string& name : oldNames) {
        std::string value, present;
        if (!AttributeValue(
                [&](void* b, std::size_t n) { return ::getxattr(path, name.c_str(), b, n); },
                value)) {
            return errno;
        }
        const bool same =
            std::find(newNames.begin(), newNames.end(), name) != newNames.end() &&
            AttributeValue(
                [&](void* b, std::size_t n) { return ::fgetxattr(fd, name.c_str(), b, n); },
                present) &&
            present == value;
        if (!same && ::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0) {
            return errno;
        }
    }
    for (const std::string& name : newNames) {
        if (std::find(oldNames.begin(), oldNames.end(), name) == oldNames.end() &&
            ::fremovexattr(fd, name.c_str()) != 0) {
            return errno;
        }
    }
    return 0;
}
#else
// Systems without the Linux calls: extended attributes are not looked at.
int CopyAttributes(const fs::path&, int) { return 0; }
#endif

// The program's own descriptor a name in /proc stands for: N for /proc/<this process>/fd/N
// (which /proc/self/fd/N, /dev/fd/N and /dev/stdout lead to) and for a thread's
// /proc/<this process>/task/<thread>/fd/N; -1 for anything else.
int OwnDescriptor(const fs::path& path) {
    const std::string leaf = path.filename().string();
    if (leaf.empty() || leaf.size() > 9 ||
        !std::all_of(leaf.begin(), leaf.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return -1;
    }
    std::error_code error;
    const fs::path folder =
        fs::canonical(path.parent_path().empty() ? "." : path.parent_path(), error);
    if (error) return -1;
    std::vector<std::string> parts;
    for (const fs::path& part : folder) parts.push_back(part.string());
    const std::string pid = std::to_string(::getpid());
    const std::size_t n = parts.size();
    const bool own =
        n >= 3 && parts[n - 1] == "fd" &&
        (parts[n - 2] == pid || (n >= 5 && parts[n - 3] == "task" && parts[n - 4] == pid));
    return own ? std::stoi(leaf) : -1;
}

}  // namespace

bool IsOpenFileName([[maybe_unused]] const fs::path& path) {
#ifdef __linux__
    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    struct statfs info {};
    return ::statfs(folder.c_str(), &info) == 0 && info.f_type == PROC_SUPER_MAGIC;
#else
    // Elsewhere /dev/fd/N are devices of their own, which are written through anyway.
    return false;
#endif
}

// A device here is a node of its own, which Examine finds wherever it is.
bool NamesADevice(const fs::path&) { return false; }

}  // namespace kelvara::files

namespace kelvara {

std::string SystemErrorText(int code) { return std::system_category().message(code); }

}  // namespace kelvara

namespace kelvara::files {

FileFacts Examine(const fs::path& path) {
    using Kind = FileFacts::Kind;
    FileFacts facts;
    if (IsOpenFileName(path)) {
        facts.kind = Kind::kStream;
        facts.descriptor = OwnDescriptor(path);
        if (facts.descriptor < 0) {
            facts.writable = Accessible(path, W_OK, facts.why);
            if (facts.why.systemCode == ENOENT) facts.why = SaveResult{SaveError::kClosed, ENOENT};
            return facts;
        }
        // A descriptor that is no file of any kind (an event counter, say) is not one the
        // program was given to write to: its number was free and something took it since.
        const int flags = ::fcntl(facts.descriptor, F_GETFL);
        struct stat info {};
        if (flags < 0 || ::fstat(facts.descriptor, &info) != 0) {
            facts.why = Failure(errno);
        } else if (S_ISDIR(info.st_mode)) {
            facts.why = Failure(EISDIR);
        } else if (!S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode) && !S_ISSOCK(info.st_mode) &&
                   !S_ISCHR(info.st_mode) && !S_ISBLK(info.st_mode)) {
            facts.why = SaveResult{SaveError::kClosed, EBADF};
        } else if ((flags & O_ACCMODE) == O_RDONLY) {
            facts.why = SaveResult{SaveError::kNoPermission, EBADF};
        } else {
            facts.writable = true;
        }
        return facts;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            facts.why = Failure(errno);
            return facts;
        }
        // A new file: its folder must be there and let the user create files in it.
        facts.kind = Kind::kMissing;
        const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
        struct stat dir {};
        if (::stat(folder.c_str(), &dir) != 0) {
            facts.why = Failure(errno);
        } else if (!S_ISDIR(dir.st_mode)) {
            facts.why = Failure(ENOTDIR);
        } else {
            facts.writable = Accessible(folder, W_OK | X_OK, facts.why);
        }
        return facts;
    }
    if (S_ISDIR(info.st_mode)) {
        facts.kind = Kind::kDirectory;
        facts.why = Failure(EISDIR);
        return facts;
    }
    facts.kind = S_ISREG(info.st_mode) ? Kind::kRegular : Kind::kStream;
    facts.writable = Accessible(path, W_OK, facts.why);
    facts.names = static_cast<std::uintmax_t>(info.st_nlink);
    return facts;
}

// The new file gets the old one's owner, group, permission bits and extended attributes; a new
// file gets the usual permissions of a new file (0666 less umask) and whatever its folder gives.
Replaced ReplaceWhole(const fs::path& target, std::string_view text, SaveResult& why) {
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    const StopSignalsHeld held;
    fs::path temporary;
    const int fd = CreateTemporary(dir, exists ? 0600 : 0666, temporary);
    if (fd < 0) {
        // Only a folder the user may not write leaves the file to be written in place; no
        // space, no quota, no descriptors, a name too long and the like fail the save.
        why = Failure(errno);
        return RefusedForPermission(errno) ? Replaced::kInPlaceInstead : Replaced::kFailed;
    }
    // Ends the replacement at a step that failed with code: the temporary file is removed.
    bool open = true;
    const auto give_up = [&](int code, Replaced how) {
        if (open) ::close(fd);
        ::unlink(temporary.c_str());
        why = Failure(code);
        return how;
    };
    if (const int injected = InjectedFailure(Step::kTemporaryMade)) {
        return give_up(injected, Replaced::kFailed);
    }
    if (!WriteAll(fd, text)) return give_up(errno, Replaced::kFailed);
    if (exists) {
        // What cannot be given to the new file stays with the old one written in place: the
        // owner of another user's file, a group the user is not in, an attribute only the
        // owner or a privileged user may set.
        struct stat made {};
        if (::fstat(fd, &made) != 0) return give_up(errno, Replaced::kFailed);
        if ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) &&
            ::fchown(fd, old.st_uid, old.st_gid) != 0) {
            return give_up(errno, Replaced::kInPlaceInstead);
        }
        if (::fchmod(fd, old.st_mode & 07777) != 0) return give_up(errno, Replaced::kFailed);
        if (const int error = CopyAttributes(target, fd)) {
            return give_up(error, Replaced::kInPlaceInstead);
        }
    }
    if (::fsync(fd) != 0) return give_up(errno, Replaced::kFailed);
    open = false;
    if (::close(fd) != 0) return give_up(errno, Replaced::kFailed);
    int renamed = InjectedFailure(Step::kRename);
    if (renamed == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) renamed = errno;
    if (renamed != 0) {
        // A sticky folder lets only a file's owner replace it.
        return give_up(
            renamed, RefusedForPermission(renamed) ? Replaced::kInPlaceInstead : Replaced::kFailed);
    }
    // Make the rename itself durable. The new content is in place whatever this reports, so a
    // failure here is not a failure of the save.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return Replaced::kYes;
}

// Opened without waiting, should the file have become a FIFO since it was examined.
SaveResult WriteInPlace(const fs::path& target, std::string_view text) {
    const StopSignalsHeld held;
    bool readable = true;
    int fd = ::open(target.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) {
        readable = false;  // a file the user may write but not read: nothing to write back
        fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    }
    if (fd < 0) return Failure(errno);
    struct stat info {};
    const int unusable = ::fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : EINVAL;
    if (unusable != 0) {
        ::close(fd);
        return Failure(unusable);
    }
    // The old text, to be written back should the new one not go in whole.
    std::string old;
    if (readable && static_cast<std::uintmax_t>(info.st_size) <= kMaxDataFileSize) {
        old.resize(static_cast<std::size_t>(info.st_size));
        std::size_t got = 0;
        while (got < old.size()) {
            const ssize_t n =
                ::pread(fd, old.data() + got, old.size() - got, static_cast<off_t>(got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        readable = got == old.size();
    } else {
        readable = false;
    }
#ifdef __linux__
    // Space for the new text first, without changing the file: a full disk or an exhausted
    // quota then fails the save before anything is written. File systems that cannot reserve
    // space go on without.
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(text.size())) != 0 &&
        (errno == ENOSPC || errno == EDQUOT)) {
        const int error = errno;
        ::close(fd);
        return Failure(error);
    }
#endif
    SaveResult result;
    if (!WriteAllAt(fd, text, 0) || ::ftruncate(fd, static_cast<off_t>(text.size())) != 0 ||
        ::fsync(fd) != 0) {
        result = Failure(errno);
        if (readable) {
            WriteAllAt(fd, old, 0);
            [[maybe_unused]] const int cut = ::ftruncate(fd, static_cast<off_t>(old.size()));
            ::fsync(fd);
        }
    }
    if (::close(fd) != 0 && result.Ok()) result = Failure(errno);
    return result;
}

SaveResult WriteThrough(const fs::path& target, int descriptor, std::string_view text) {
    const BrokenPipeHeld pipeHeld;
    const bool own = descriptor >= 0;
    // Not waiting for a FIFO reader that is not there; appending, so that a regular file behind
    // the name (another process's open file) keeps what it holds.
    const int fd =
        own ? descriptor
            : ::open(target.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return Failure(errno);
    SaveResult result;
    if (!own) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) result = Failure(errno);
    }
    struct stat info {};
    if (result.Ok() && (!WriteAll(fd, text) || ::fstat(fd, &info) != 0 ||
                        (S_ISREG(info.st_mode) && ::fsync(fd) != 0))) {
        result = Failure(errno);
    }
    if (!own && ::close(fd) != 0 && result.Ok()) result = Failure(errno);
    return result;
}

ReadResult ReadSmallFile(const fs::path& path, std::size_t limit, std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return ReadResult::CannotOpen;
    struct stat info {};
    ReadResult result = ReadResult::CannotOpen;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        result = static_cast<std::uintmax_t>(info.st_size) > limit ? ReadResult::TooLarge
                                                                   : ReadResult::Read;
    }
    text.clear();
    std::array<char, 4096> buffer{};
    while (result == ReadResult::Read) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) result = ReadResult::CannotOpen;
        if (got <= 0) break;
        text.append(buffer.data(), static_cast<std::size_t>(got));
        if (text.size() > limit) result = ReadResult::TooLarge;
    }
    ::close(fd);
    return result;
}

}  // namespace kelvara::files
