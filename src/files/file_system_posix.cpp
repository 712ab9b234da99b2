// The file operations of the data files on Linux, macOS and other POSIX systems.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "files/file_system.h"

namespace kelvara::files {

namespace {

namespace fs = std::filesystem;

// Writes all of text to fd, through short writes and interruptions.
bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Creates a new, empty file of a name no other file has, in dir. Returns its descriptor, or -1.
int CreateTemporary(const fs::path& dir, mode_t mode, fs::path& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = TemporaryName(dir);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

std::optional<FileFacts> Examine(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) return FileFacts{};
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) return FileFacts{.kind = FileFacts::Kind::Other};
    return FileFacts{.kind = FileFacts::Kind::Regular,
                     .writable = ::access(path.c_str(), W_OK) == 0,
                     .names = static_cast<std::uintmax_t>(info.st_nlink)};
}

// The new file gets the old one's permission bits and, where the system allows it, its owner;
// a new file gets the usual permissions of a new file (0666 less umask).
Replaced ReplaceWhole(const fs::path& target, std::string_view text) {
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    fs::path temporary;
    const int fd = CreateTemporary(dir, exists ? 0600 : 0666, temporary);
    if (fd < 0) return Replaced::NoTemporary;
    bool ok = WriteAll(fd, text);
    if (ok && exists) {
        // Best effort: only a privileged user can give the file to another owner.
        [[maybe_unused]] const int chowned = ::fchown(fd, old.st_uid, old.st_gid);
        ok = ::fchmod(fd, old.st_mode & 0777) == 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return Replaced::Failed;
    }
    // Make the rename itself durable. The new content is in place whatever this reports, so a
    // failure here is not a failure of the save.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return Replaced::Yes;
}

// The open does not wait for a FIFO reader; it fails instead, so the window never hangs on a
// FIFO nobody reads.
bool WriteInPlace(const fs::path& target, std::string_view text) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    const int flags = ::fcntl(fd, F_GETFL);
    bool ok = ::fstat(fd, &info) == 0 && flags >= 0 &&
              ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 && WriteAll(fd, text);
    if (ok && S_ISREG(info.st_mode)) {
        ok = ::ftruncate(fd, static_cast<off_t>(text.size())) == 0 && ::fsync(fd) == 0;
    }
    ok = ::close(fd) == 0 && ok;
    return ok;
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
