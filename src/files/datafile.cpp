#include "files/datafile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <random>
#include <span>

namespace kelvara {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kPatternLine = 16;  // pattern cells per line of the file

// ---- Writing the text -------------------------------------------------------------------

void AppendLine(std::string& out, std::span<const std::int16_t> values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ',';
        std::array<char, 8> digits{};  // "-32768" is the longest
        out.append(digits.data(),
                   std::to_chars(digits.data(), digits.data() + digits.size(), values[i]).ptr);
    }
    out += "\r\n";
}

// ---- Reading the text -------------------------------------------------------------------

// The values of a data file as one sequence. A line ends with CR LF, LF or a lone CR; within a
// line every comma ends a value, so "1,,2" holds an empty value and a trailing comma ends the
// line with one. Lines that are empty or hold only blanks carry no value at all: they are
// passed over, so a blank line left by a hand edit or at the end of the file shifts nothing.
// A UTF-8 byte order mark in front of the first value, as some text editors add, is ignored.
class ValueSequence {
  public:
    explicit ValueSequence(std::string_view text) : rest_(text) {
        constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
        if (rest_.starts_with(kByteOrderMark)) rest_.remove_prefix(kByteOrderMark.size());
    }

    // The text of the next value, or nothing at the end of the input.
    std::optional<std::string_view> Next() {
        while (!inLine_) {
            if (rest_.empty()) return std::nullopt;
            const std::size_t end = rest_.find_first_of("\r\n");
            line_ = rest_.substr(0, end);
            if (end == std::string_view::npos) {
                rest_ = {};
            } else {
                const bool crlf = rest_[end] == '\r' && rest_.substr(end + 1).starts_with('\n');
                rest_.remove_prefix(end + (crlf ? 2 : 1));
            }
            inLine_ = line_.find_first_not_of(" \t") != std::string_view::npos;
        }
        const std::size_t comma = line_.find(',');
        if (comma == std::string_view::npos) {
            inLine_ = false;
            return line_;
        }
        const std::string_view value = line_.substr(0, comma);
        line_.remove_prefix(comma + 1);
        return value;
    }

  private:
    std::string_view rest_;  // input after the current line
    std::string_view line_;  // values of the current line not yet taken
    bool inLine_ = false;
};

// A decimal integer that fits 16 bits, with optional blanks around it and an optional sign.
// Anything else ("", "x", "1.5", "5x", "70000") cannot be read.
std::optional<std::int16_t> ParseValue(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::nullopt;
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
    std::int16_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Reads one group of values into vars, in order. The group always spans vars.size() values of
// the sequence: after a value that cannot be read, that variable and the rest of the group keep
// what they held, and the group's remaining values are taken from the sequence and dropped.
// Resuming with the very next value instead would shift every later value into the wrong
// variable (pattern cells into conditions, a condition cell into a method), and resuming at the
// next line would lose the whole rest of a file written on one line. Counting keeps every later
// group where the file put it, whatever the line layout, so one bad value costs no more than
// its own group. At the end of the input nothing more is read, and every variable not yet read
// keeps its value.
void ReadGroup(ValueSequence& in, std::span<std::int16_t> vars) {
    for (std::size_t i = 0; i < vars.size(); ++i) {
        const std::optional<std::string_view> text = in.Next();
        if (!text) return;
        const std::optional<std::int16_t> value = ParseValue(*text);
        if (!value) {
            for (++i; i < vars.size(); ++i) {
                if (!in.Next()) return;
            }
            return;
        }
        vars[i] = *value;
    }
}

// ---- Files ------------------------------------------------------------------------------

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

// Follows symlinks from path to the file that is finally written (which need not exist yet).
// Nothing on a link that cannot be read or a chain too long to be anything but a loop.
std::optional<fs::path> ResolveLinks(fs::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            if (errno == ENOENT) return path;
            return std::nullopt;
        }
        if (!S_ISLNK(info.st_mode)) return path;
        std::error_code error;
        const fs::path link = fs::read_symlink(path, error);
        if (error) return std::nullopt;
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    return std::nullopt;
}

// Writes text into an existing file as it stands, keeping the file itself: its links, its
// owner and mode, and the folder it sits in are untouched. A regular file gets the whole text,
// is cut to its length and synced; a device or a FIFO is just written. The open does not wait
// for a FIFO reader; it fails instead, so the window never hangs on a FIFO nobody reads. A
// failure part way leaves the file partly written: that is why this is the fallback only.
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

// Creates a new, empty file of a name no other file has, in dir. Returns its descriptor, or -1.
int CreateTemporary(const fs::path& dir, mode_t mode, fs::path& name) {
    static std::atomic<unsigned> counter = 0;
    std::minstd_rand random(static_cast<unsigned>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^ ::getpid() ^ ++counter));
    constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string leaf = ".kelvara-save-";
        for (int i = 0; i < 8; ++i) leaf += kLetters[random() % kLetters.size()];
        name = dir / leaf;
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

enum class Replaced { Yes, NoTemporary, Failed };

// Replaces a regular file, or creates a new one, so that at every moment the target holds
// either its old content or the whole new content: the text goes to a temporary file beside
// it, is synced to the disk, and the temporary file is renamed over the target. old is the
// target's status when it exists: the new file gets its permission bits and, where the system
// allows it, its owner. A new file gets the usual permissions of a new file (0666 less umask).
// NoTemporary when no file can be created beside the target (nothing changed); Failed when a
// later step failed (the target is as it was and the temporary file is gone).
Replaced ReplaceAtomically(const fs::path& target, std::string_view text, const struct stat* old) {
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    fs::path temporary;
    const int fd = CreateTemporary(dir, old ? 0600 : 0666, temporary);
    if (fd < 0) return Replaced::NoTemporary;
    bool ok = WriteAll(fd, text);
    if (ok && old) {
        // Best effort: only a privileged user can give the file to another owner.
        [[maybe_unused]] const int chowned = ::fchown(fd, old->st_uid, old->st_gid);
        ok = ::fchmod(fd, old->st_mode & 0777) == 0;
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

// Reads a whole regular file of at most limit bytes into text. Nothing is read of a file that
// says it is larger, and reading stops within a block past the limit should the file grow
// meanwhile. The open does not wait for a FIFO writer that was put in place of the file.
LoadStatus ReadSmallFile(const fs::path& path, std::size_t limit, std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return LoadStatus::CannotOpen;
    struct stat info {};
    LoadStatus status = LoadStatus::CannotOpen;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        status = static_cast<std::uintmax_t>(info.st_size) > limit ? LoadStatus::TooLarge
                                                                   : LoadStatus::Loaded;
    }
    text.clear();
    std::array<char, 4096> buffer{};
    while (status == LoadStatus::Loaded) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) status = LoadStatus::CannotOpen;
        if (got <= 0) break;
        text.append(buffer.data(), static_cast<std::size_t>(got));
        if (text.size() > limit) status = LoadStatus::TooLarge;
    }
    ::close(fd);
    return status;
}

}  // namespace

std::string FormatDataFile(const Document& doc) {
    std::string out;
    out.reserve(1024);
    const std::array<std::int16_t, 3> header{doc.GameMode, doc.ComPort, doc.PlateCount};
    AppendLine(out, header);
    for (std::size_t i = 0; i < doc.MaData.size(); i += kPatternLine) {
        AppendLine(out, std::span(doc.MaData).subspan(i, kPatternLine));
    }
    // A document never holds more plates than its arrays; should PlateCount say otherwise, the
    // slots that exist are written and no more.
    const int last = std::min<int>(doc.PlateCount, kMaxPlates);
    for (int p = 0; p <= last; ++p) {
        AppendLine(out, doc.IfData[p]);
        AppendLine(out, std::span(&doc.AcData[p], 1));
    }
    return out;
}

LoadStatus ReadDataFile(std::string_view text, Document& doc) {
    // Everything is read into copies first, so that a refused file changes nothing.
    std::array<std::int16_t, 3> header{doc.GameMode, doc.ComPort, doc.PlateCount};
    Pattern pattern = doc.MaData;
    auto conditions = doc.IfData;
    auto methods = doc.AcData;

    ValueSequence in(text);
    ReadGroup(in, header);
    // The plate count bounds the plate records that follow and every plate index the editor
    // derives later; a count the arrays cannot hold makes the whole file unusable.
    const std::int16_t plateCount = header[2];
    if (plateCount < 1 || plateCount > kMaxPlates) return LoadStatus::BadPlateCount;
    for (std::size_t i = 0; i < pattern.size(); i += kPatternLine) {
        ReadGroup(in, std::span(pattern).subspan(i, kPatternLine));
    }
    for (int p = 0; p <= plateCount; ++p) {
        ReadGroup(in, conditions[p]);
        ReadGroup(in, std::span(&methods[p], 1));
    }

    doc.GameMode = header[0];
    doc.ComPort = header[1];
    doc.PlateCount = plateCount;
    doc.MaData = pattern;
    doc.IfData = conditions;
    doc.AcData = methods;
    return LoadStatus::Loaded;
}

LoadStatus LoadDataFile(const std::string& path, Document& doc) {
    // Only a regular file of a data file's size is read: a directory cannot be, a device or a
    // FIFO might never end (or never start), and a large file would hold the window while it
    // is read, only to be refused afterwards.
    std::string text;
    const LoadStatus status = ReadSmallFile(path, kMaxDataFileSize, text);
    if (status != LoadStatus::Loaded) return status;
    return ReadDataFile(text, doc);
}

bool SaveDataFile(const std::string& path, const Document& doc) {
    const std::string text = FormatDataFile(doc);
    const std::optional<fs::path> target = ResolveLinks(path);
    if (!target || !target->has_filename()) return false;
    struct stat old {};
    if (::stat(target->c_str(), &old) != 0) {
        if (errno != ENOENT) return false;
        return ReplaceAtomically(*target, text, nullptr) == Replaced::Yes;
    }
    if (!S_ISREG(old.st_mode)) return WriteInPlace(*target, text);
    // A file the user may not write stays as it is, as it would for a write in place; replacing
    // it only needs the directory to be writable.
    if (::access(target->c_str(), W_OK) != 0) return false;
    // Replacing would cut the file's other names off from the new content; and in a folder the
    // user may not write, no temporary file can be made. Both are saved in place.
    if (old.st_nlink > 1) return WriteInPlace(*target, text);
    switch (ReplaceAtomically(*target, text, &old)) {
        case Replaced::Yes:
            return true;
        case Replaced::NoTemporary:
            return WriteInPlace(*target, text);
        case Replaced::Failed:
            break;
    }
    return false;
}

}  // namespace kelvara
