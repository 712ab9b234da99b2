// The file operations of the data files on Windows, through the wide-character API so that
// names in any script work.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <array>
#include <utility>

#include "files/file_system.h"

namespace kelvara::files {

namespace {

namespace fs = std::filesystem;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A file handle, closed when it goes out of scope.
class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Close(); }

    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    // Closes the file now; false when closing reported an error (a write that did not reach
    // the file).
    bool Close() {
        const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
        return handle == INVALID_HANDLE_VALUE || ::CloseHandle(handle) != 0;
    }

  private:
    HANDLE handle_;
};

Handle Open(const fs::path& path, DWORD access, DWORD share, DWORD creation, DWORD flags) {
    return Handle(::CreateFileW(path.c_str(), access, share, nullptr, creation, flags, nullptr));
}

// A regular file on a disk (not a directory, a device or a pipe), and its information.
bool RegularFile(HANDLE file, BY_HANDLE_FILE_INFORMATION& info) {
    return ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Writes all of text to file, in pieces WriteFile can take.
bool WriteAll(HANDLE file, std::string_view text) {
    while (!text.empty()) {
        const auto piece = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1 << 20));
        DWORD written = 0;
        if (!::WriteFile(file, text.data(), piece, &written, nullptr) || written == 0) {
            return false;
        }
        text.remove_prefix(written);
    }
    return true;
}

// Creates a new, empty file of a name no other file has, in dir; an invalid handle if none can
// be made.
Handle CreateTemporary(const fs::path& dir, fs::path& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = TemporaryName(dir);
        Handle file = Open(name, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
        const DWORD error = file.Valid() ? ERROR_SUCCESS : ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return file;
    }
    return Handle(INVALID_HANDLE_VALUE);
}

}  // namespace

std::optional<FileFacts> Examine(const fs::path& path) {
    Handle file =
        Open(path, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (!file.Valid()) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return FileFacts{};
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!RegularFile(file.Get(), info)) return FileFacts{.kind = FileFacts::Kind::Other};
    FileFacts facts{.kind = FileFacts::Kind::Regular, .names = info.nNumberOfLinks};
    // A symbolic link would be replaced itself rather than the file it points to: count its
    // name as one more, so the file is written in place through it.
    const DWORD own = ::GetFileAttributesW(path.c_str());
    if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        ++facts.names;
    }
    // Writable when neither the read-only attribute nor the file's permissions forbid it. A
    // file another program holds open without sharing writes counts as writable: it is busy,
    // and the save itself then fails without harm.
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0) {
        Handle probe = Open(path, FILE_WRITE_DATA, kShareAll, OPEN_EXISTING, 0);
        facts.writable = probe.Valid() || ::GetLastError() == ERROR_SHARING_VIOLATION;
    }
    return facts;
}

// The new file takes the permissions the folder gives new files, as any file saved there.
Replaced ReplaceWhole(const fs::path& target, std::string_view text) {
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    fs::path temporary;
    Handle file = CreateTemporary(dir, temporary);
    if (!file.Valid()) return Replaced::NoTemporary;
    bool ok = WriteAll(file.Get(), text) && ::FlushFileBuffers(file.Get());
    ok = file.Close() && ok;
    ok = ok && ::MoveFileExW(temporary.c_str(), target.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        ::DeleteFileW(temporary.c_str());
        return Replaced::Failed;
    }
    return Replaced::Yes;
}

bool WriteInPlace(const fs::path& target, std::string_view text) {
    Handle file = Open(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL);
    if (!file.Valid()) return false;
    bool ok = WriteAll(file.Get(), text);
    BY_HANDLE_FILE_INFORMATION info{};
    if (ok && RegularFile(file.Get(), info)) {
        // The write left the file position at the end of the text.
        ok = ::SetEndOfFile(file.Get()) && ::FlushFileBuffers(file.Get());
    }
    ok = file.Close() && ok;
    return ok;
}

ReadResult ReadSmallFile(const fs::path& path, std::size_t limit, std::string& text) {
    Handle file = Open(path, GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (!file.Valid()) return ReadResult::CannotOpen;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!RegularFile(file.Get(), info)) return ReadResult::CannotOpen;
    const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    if (size > limit) return ReadResult::TooLarge;
    text.clear();
    std::array<char, 4096> buffer{};
    while (true) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), buffer.data(), buffer.size(), &got, nullptr)) {
            return ReadResult::CannotOpen;
        }
        if (got == 0) return ReadResult::Read;
        text.append(buffer.data(), got);
        if (text.size() > limit) return ReadResult::TooLarge;
    }
}

}  // namespace kelvara::files
