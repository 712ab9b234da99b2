// The file operations of the data files on Windows, through the wide-character API so that
// names in any script work.

#include <windows.h>

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "files/file_system.h"
#include "files/utf8_path.h"

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

SaveResult Failure(DWORD code) {
    SaveError error = SaveError::kOther;
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DIRECTORY:
            error = SaveError::kNoFolder;
            break;
        case ERROR_ACCESS_DENIED:
            error = SaveError::kNoPermission;
            break;
        case ERROR_WRITE_PROTECT:
            error = SaveError::kReadOnly;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
        case ERROR_FILE_TOO_LARGE:
            error = SaveError::kDiskFull;
            break;
        case ERROR_NO_DATA:
        case ERROR_BROKEN_PIPE:
        case ERROR_PIPE_NOT_CONNECTED:
            error = SaveError::kNoReader;
            break;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            error = SaveError::kBusy;
            break;
        case ERROR_INVALID_NAME:
        case ERROR_FILENAME_EXCED_RANGE:
            error = SaveError::kBadName;
            break;
        default:
            break;
    }
    return SaveResult{error, static_cast<int>(code)};
}

SaveResult LastFailure() { return Failure(::GetLastError()); }

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

// Saves under way hold this lock shared; the end of the program asked for from a console's
// control handler takes it exclusively (HoldSavesForEnd) and keeps it.
SRWLOCK savesLock = SRWLOCK_INIT;

// While a temporary file exists or a file is rewritten in place, a second Ctrl+C (which would
// have the system end the program at once) waits: the file is whole first.
class SaveUnderWay {
  public:
    SaveUnderWay() { ::AcquireSRWLockShared(&savesLock); }
    ~SaveUnderWay() { ::ReleaseSRWLockShared(&savesLock); }
    SaveUnderWay(const SaveUnderWay&) = delete;
    SaveUnderWay& operator=(const SaveUnderWay&) = delete;
};

// Creates a new, empty file of a name no other file has, in dir; an invalid handle if none can
// be made (GetLastError tells why).
Handle CreateTemporary(const fs::path& dir, fs::path& name, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    if (const int injected = InjectedFailure(Step::kCreateTemporary)) {
        ::SetLastError(static_cast<DWORD>(injected));
        return Handle(INVALID_HANDLE_VALUE);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = TemporaryName(dir);
        Handle file = Open(name, GENERIC_WRITE, 0, CREATE_NEW, flags);
        const DWORD error = file.Valid() ? ERROR_SUCCESS : ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            ::SetLastError(error);
            return file;
        }
    }
    return Handle(INVALID_HANDLE_VALUE);
}

// Whether a program has the file open without letting it be deleted, which is what stops its
// replacement.
bool HeldByAnotherProgram(const fs::path& file) {
    const Handle probe = Open(file, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    return !probe.Valid() && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace

void HoldSavesForEnd() { ::AcquireSRWLockExclusive(&savesLock); }

// Windows keeps no names of open files among the folders' entries.
bool IsOpenFileName(const fs::path&) { return false; }

bool NamesADevice(const fs::path& path) { return IsWindowsDeviceName(Utf8FromPath(path)); }

}  // namespace kelvara::files

namespace kelvara {

std::string SystemErrorText(int code) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string utf8;
    if (length > 0) {
        const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr,
                                               0, nullptr, nullptr);
        utf8.resize(static_cast<std::size_t>(std::max(size, 0)));
        ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), size,
                              nullptr, nullptr);
    }
    ::LocalFree(text);
    while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == ' ')) {
        utf8.pop_back();
    }
    return utf8.empty() ? "エラー " + std::to_string(code) : utf8;
}

}  // namespace kelvara

namespace kelvara::files {

FileFacts Examine(const fs::path& path) {
    using Kind = FileFacts::Kind;
    FileFacts facts;
    Handle file =
        Open(path, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (!file.Valid()) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            facts.why = Failure(error);
            return facts;
        }
        // A new file: its folder must be there, and the user must be allowed to create files
        // in it (Program Files is not a standard user's), which only trying tells: a file of
        // our own is made there and removed again at once.
        facts.kind = Kind::kMissing;
        const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
        const DWORD attributes = ::GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            facts.why = LastFailure();
        } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            facts.why = Failure(ERROR_DIRECTORY);
        } else {
            fs::path probe;
            const Handle made = CreateTemporary(
                folder, probe, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE);
            // Anything but a refusal (a full disk, say) is left for the save to meet.
            facts.writable = made.Valid() || ::GetLastError() != ERROR_ACCESS_DENIED;
            if (!facts.writable) facts.why = Failure(ERROR_ACCESS_DENIED);
        }
        return facts;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!RegularFile(file.Get(), info)) {
        const bool folder = ::GetFileType(file.Get()) == FILE_TYPE_DISK &&
                            ::GetFileInformationByHandle(file.Get(), &info) &&
                            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        facts.kind = folder ? Kind::kDirectory : Kind::kStream;
        facts.writable = !folder;
        if (folder) facts.why = SaveResult{SaveError::kIsDirectory, 0};
        return facts;
    }
    facts.kind = Kind::kRegular;
    facts.names = info.nNumberOfLinks;
    // A symbolic link would be replaced itself rather than the file it points to: count its
    // name as one more, so the file is written in place through it.
    const DWORD own = ::GetFileAttributesW(path.c_str());
    if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        ++facts.names;
    }
    // Writable when neither the read-only attribute nor the file's permissions forbid it. A
    // file another program holds open without sharing writes counts as writable: it is busy,
    // and the save itself then fails without harm.
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        facts.why = Failure(ERROR_ACCESS_DENIED);
        return facts;
    }
    Handle probe = Open(path, FILE_WRITE_DATA, kShareAll, OPEN_EXISTING, 0);
    const DWORD error = probe.Valid() ? ERROR_SUCCESS : ::GetLastError();
    facts.writable = error == ERROR_SUCCESS || error == ERROR_SHARING_VIOLATION;
    if (!facts.writable) facts.why = Failure(error);
    return facts;
}

// The new file takes the permissions the folder gives new files, as any file saved there.
Replaced ReplaceWhole(const fs::path& target, std::string_view text, SaveResult& why) {
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    const SaveUnderWay underWay;
    fs::path temporary;
    Handle file = CreateTemporary(dir, temporary);
    if (!file.Valid()) {
        // Only a folder the user may not write leaves the file to be written in place.
        const DWORD error = ::GetLastError();
        why = Failure(error);
        return error == ERROR_ACCESS_DENIED ? Replaced::kInPlaceInstead : Replaced::kFailed;
    }
    DWORD error = static_cast<DWORD>(InjectedFailure(Step::kTemporaryMade));
    if (error == ERROR_SUCCESS &&
        (!WriteAll(file.Get(), text) || !::FlushFileBuffers(file.Get()))) {
        error = ::GetLastError();
    }
    if (!file.Close() && error == ERROR_SUCCESS) error = ::GetLastError();
    if (error == ERROR_SUCCESS) error = static_cast<DWORD>(InjectedFailure(Step::kRename));
    if (error == ERROR_SUCCESS &&
        !::MoveFileExW(temporary.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = ::GetLastError();
    }
    if (error != ERROR_SUCCESS) {
        ::DeleteFileW(temporary.c_str());
        why = Failure(error);
        // A file the user may write but not replace (another user's, whose folder the user may
        // not change) is written in place, as on other systems. A file another program holds
        // open (the system refuses its replacement with the same error) is left alone.
        return error == ERROR_ACCESS_DENIED && !HeldByAnotherProgram(target)
                   ? Replaced::kInPlaceInstead
                   : Replaced::kFailed;
    }
    return Replaced::kYes;
}

// Should the new text not go in whole, the old one is written back.
SaveResult WriteInPlace(const fs::path& target, std::string_view text) {
    const SaveUnderWay underWay;
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    Handle both =
        Open(target, GENERIC_READ | GENERIC_WRITE, kShare, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    bool readable = both.Valid();
    Handle file = readable
                      ? std::move(both)
                      : Open(target, GENERIC_WRITE, kShare, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (!file.Valid()) return LastFailure();
    std::string old;
    BY_HANDLE_FILE_INFORMATION info{};
    readable = readable && RegularFile(file.Get(), info) && info.nFileSizeHigh == 0 &&
               info.nFileSizeLow <= kMaxDataFileSize;
    if (readable) {
        old.resize(info.nFileSizeLow);
        DWORD got = 0;
        readable =
            old.empty() || (::ReadFile(file.Get(), old.data(), info.nFileSizeLow, &got, nullptr) &&
                            got == info.nFileSizeLow);
    }
    const auto rewrite = [&](std::string_view content) {
        LARGE_INTEGER start{};
        return ::SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN) &&
               WriteAll(file.Get(), content) && ::SetEndOfFile(file.Get()) &&
               ::FlushFileBuffers(file.Get());
    };
    DWORD error = ERROR_SUCCESS;
    if (!rewrite(text)) {
        error = ::GetLastError();
        if (readable) rewrite(old);
    }
    if (!file.Close() && error == ERROR_SUCCESS) error = ::GetLastError();
    return error == ERROR_SUCCESS ? SaveResult{} : Failure(error);
}

SaveResult WriteThrough(const fs::path& target, int, std::string_view text) {
    Handle file = Open(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL);
    if (!file.Valid()) return LastFailure();
    DWORD error = WriteAll(file.Get(), text) ? ERROR_SUCCESS : ::GetLastError();
    if (!file.Close() && error == ERROR_SUCCESS) error = ::GetLastError();
    return error == ERROR_SUCCESS ? SaveResult{} : Failure(error);
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
