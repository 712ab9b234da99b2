#include "files/datafile.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <system_error>
#include <tuple>
#include <utility>

#include "files/file_system.h"
#include "files/utf8_path.h"

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
// Where each value stands is kept for the faults a strict reading reports.
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
            ++lineNumber_;
            position_ = 0;
        }
        ++position_;
        const std::size_t comma = line_.find(',');
        if (comma == std::string_view::npos) {
            inLine_ = false;
            return line_;
        }
        const std::string_view value = line_.substr(0, comma);
        line_.remove_prefix(comma + 1);
        return value;
    }

    // Where the value Next gave last stands: its line (from 1), its place within the line
    // (from 1), and whether it is the line's last.
    int Line() const { return lineNumber_; }
    int Position() const { return position_; }
    bool LineEnded() const { return !inLine_; }

  private:
    std::string_view rest_;  // input after the current line
    std::string_view line_;  // values of the current line not yet taken
    bool inLine_ = false;
    int lineNumber_ = 0;
    int position_ = 0;
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

// The values of the fixed part of a file: the header and the pattern.
constexpr int kHeaderValues = 3;
constexpr int kFixedValues = kHeaderValues + kCells;
constexpr int kRecordValues = kConditionCells + 1;  // a plate record: condition and method

// The group that the n-th value of the sequence belongs to, as [first, end): the header, one
// pattern line, one condition or one method.
std::pair<int, int> GroupOf(int n) {
    if (n < kHeaderValues) return {0, kHeaderValues};
    if (n < kFixedValues) {
        const int first = n - (n - kHeaderValues) % static_cast<int>(kPatternLine);
        return {first, first + static_cast<int>(kPatternLine)};
    }
    const int record = kFixedValues + (n - kFixedValues) / kRecordValues * kRecordValues;
    return n - record < kConditionCells
               ? std::pair(record, record + kConditionCells)
               : std::pair(record + kConditionCells, record + kRecordValues);
}

// What a line that starts a group at first and ends inside a group at last should hold, in the
// editor's files: the groups it holds whole, or the first one when it holds none whole.
int ExpectedOnLine(int first, int last) {
    int end = first;
    while (GroupOf(end).second <= last + 1) end = GroupOf(end).second;
    return (end == first ? GroupOf(first).second : end) - first;
}

// Follows symlinks from path to the file that is finally written (which need not exist yet), so
// that a save writes the file and the link stays a link. A name of an open file (/proc/self/fd/1,
// where /dev/stdout leads) is not followed: what it reads is no path. Stops at a link that cannot
// be read (looking at it then tells why); nothing for a chain too long to be anything but a loop.
// Where the standard library sees no links (MinGW on Windows), the path is taken as it is and
// Examine counts a link as one more name.
std::optional<fs::path> ResolveLinks(fs::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        if (files::IsOpenFileName(path)) return path;
        std::error_code error;
        const fs::file_status status = fs::symlink_status(path, error);
        if (error || status.type() != fs::file_type::symlink) return path;
        const fs::path link = fs::read_symlink(path, error);
        if (error) return path;
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    return std::nullopt;
}

// The file a save to path writes, or why there is none.
std::optional<fs::path> SaveTarget(const std::string& path, SaveResult& why) {
    const std::optional<fs::path> named = PathFromUtf8(path);
    if (!named || named->empty()) {
        why = SaveResult{SaveError::kBadName, 0};
        return std::nullopt;
    }
    const std::optional<fs::path> target = ResolveLinks(*named);
    if (!target) {
        why = SaveResult{SaveError::kOther,
                         static_cast<int>(std::errc::too_many_symbolic_link_levels)};
        return std::nullopt;
    }
    if (files::NamesADevice(*target)) {
        why = SaveResult{SaveError::kDeviceName, 0};
        return std::nullopt;
    }
    if (!target->has_filename()) {
        // "folder/": a folder, or no name of a file at all.
        why = files::Examine(*target).kind == files::FileFacts::Kind::kDirectory
                  ? SaveResult{SaveError::kIsDirectory, 0}
                  : SaveResult{SaveError::kBadName, 0};
        return std::nullopt;
    }
    return target;
}

SaveResult Save(const std::string& path, std::string_view text) {
    using Kind = files::FileFacts::Kind;
    SaveResult why;
    const std::optional<fs::path> target = SaveTarget(path, why);
    if (!target) return why;
    const files::FileFacts facts = files::Examine(*target);
    switch (facts.kind) {
        case Kind::kUnknown:
        case Kind::kDirectory:
            return facts.why;
        case Kind::kStream:
            return facts.writable ? files::WriteThrough(*target, facts.descriptor, text)
                                  : facts.why;
        case Kind::kMissing:
            // Nothing to write in place: whatever keeps the file from being created fails it.
            return files::ReplaceWhole(*target, text, why) == files::Replaced::kYes ? SaveResult{}
                                                                                    : why;
        case Kind::kRegular:
            break;
    }
    // A file the user may not write stays as it is, as it would for a write in place; replacing
    // it only needs the folder to be writable.
    if (!facts.writable) return facts.why;
    // Replacing would cut the file's other names off from the new content.
    if (facts.names > 1) return files::WriteInPlace(*target, text);
    switch (files::ReplaceWhole(*target, text, why)) {
        case files::Replaced::kYes:
            return SaveResult{};
        case files::Replaced::kInPlaceInstead:
            return files::WriteInPlace(*target, text);
        case files::Replaced::kFailed:
            break;
    }
    return why;
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

LoadStatus ReadDataFile(std::string_view text, Document& doc, std::int16_t* plateCount) {
    // Everything is read into copies first, so that a refused file changes nothing.
    std::array<std::int16_t, 3> header{doc.GameMode, doc.ComPort, doc.PlateCount};
    Pattern pattern = doc.MaData;
    auto conditions = doc.IfData;
    auto methods = doc.AcData;

    ValueSequence in(text);
    ReadGroup(in, header);
    // The plate count bounds the plate records that follow and every plate index the editor
    // derives later; a count the arrays cannot hold makes the whole file unusable.
    const std::int16_t count = header[2];
    if (plateCount != nullptr) *plateCount = count;
    if (count < 1 || count > kMaxPlates) return LoadStatus::BadPlateCount;
    for (std::size_t i = 0; i < pattern.size(); i += kPatternLine) {
        ReadGroup(in, std::span(pattern).subspan(i, kPatternLine));
    }
    for (int p = 0; p <= count; ++p) {
        ReadGroup(in, conditions[p]);
        ReadGroup(in, std::span(&methods[p], 1));
    }

    doc.GameMode = header[0];
    doc.ComPort = header[1];
    doc.PlateCount = count;
    doc.MaData = pattern;
    doc.IfData = conditions;
    doc.AcData = methods;
    return LoadStatus::Loaded;
}

ValuePlace PlaceOfValue(int n) {
    using Part = ValuePlace::Part;
    if (n < kHeaderValues) return ValuePlace{Part::kHeader, 0, n};
    if (n < kFixedValues) return ValuePlace{Part::kPattern, 0, n - kHeaderValues};
    const int record = (n - kFixedValues) / kRecordValues, at = (n - kFixedValues) % kRecordValues;
    return at < kConditionCells ? ValuePlace{Part::kCondition, record, at}
                                : ValuePlace{Part::kMethod, record, 0};
}

std::vector<DataFileFault> FindDataFileFaults(std::string_view text, std::int16_t keptPlateCount) {
    using Kind = DataFileFault::Kind;
    std::vector<DataFileFault> faults;
    ValueSequence in(text);
    // The values the reader takes: with the kept plate count until the file's own is read.
    const auto valuesFor = [](int count) {
        return kFixedValues + kRecordValues * (std::clamp(count, 1, kMaxPlates) + 1);
    };
    int total = valuesFor(keptPlateCount);
    std::array<std::optional<std::int16_t>, kHeaderValues> header;
    bool groupBroken = false;  // a value of the current group could not be read
    int lineFirst = 0;         // the first value of the current line
    bool lineAligned = false;  // which starts a group
    int lastLine = 0;
    // A line that ends inside a group is told once the next value shows that the file goes on:
    // at the end of the input the values missing are the fault. The lines after it are read
    // out of step until one starts and ends with a group; until then one of them that starts a
    // group does so by chance, and is not told.
    std::optional<DataFileFault> lineFault;
    bool outOfStep = false;
    for (int n = 0; n < total; ++n) {
        const std::optional<std::string_view> value = in.Next();
        if (!value) {
            faults.push_back(DataFileFault{
                .kind = Kind::kMissing, .line = lastLine, .value = n, .count = total - n});
            return faults;
        }
        if (lineFault) faults.push_back(*std::exchange(lineFault, std::nullopt));
        lastLine = in.Line();
        const auto [first, end] = GroupOf(n);
        if (n == first) groupBroken = false;
        if (in.Position() == 1) {
            lineFirst = n;
            lineAligned = n == first;
        }
        const std::optional<std::int16_t> parsed = ParseValue(*value);
        if (!parsed) {
            // Only the first bad value of a group makes the reader pass over the rest of it.
            faults.push_back(DataFileFault{.kind = Kind::kUnreadable,
                                           .line = in.Line(),
                                           .position = in.Position(),
                                           .value = n,
                                           .count = groupBroken ? 0 : end - n - 1,
                                           .found = std::string(value->substr(0, kFoundText))});
            groupBroken = true;
        }
        if (n < kHeaderValues) header[static_cast<std::size_t>(n)] = parsed;
        if (n == kHeaderValues - 1) {
            // The count the reader goes by: the file's own when the whole header reads.
            const bool whole = std::all_of(header.begin(), header.end(),
                                           [](const auto& v) { return v.has_value(); });
            const int count = whole ? *header[2] : keptPlateCount;
            if (count < 1 || count > kMaxPlates) return faults;
            total = valuesFor(count);
        }
        if (in.LineEnded() && lineAligned && n + 1 == end) {
            outOfStep = false;
        } else if (in.LineEnded() && lineAligned && !outOfStep) {
            lineFault = DataFileFault{.kind = Kind::kLineLength,
                                      .line = in.Line(),
                                      .value = lineFirst,
                                      .count = n - lineFirst + 1,
                                      .expected = ExpectedOnLine(lineFirst, n)};
            outOfStep = true;
        }
    }
    // Values left over; empty ones (a comma at the end of the last line) carry nothing.
    DataFileFault extra{.kind = Kind::kExtra};
    for (std::optional<std::string_view> value = in.Next(); value; value = in.Next()) {
        if (value->find_first_not_of(" \t") == std::string_view::npos) continue;
        if (extra.count++ == 0) {
            std::tie(extra.line, extra.position) = std::pair(in.Line(), in.Position());
            extra.found = std::string(value->substr(0, kFoundText));
        }
    }
    if (extra.count > 0) faults.push_back(std::move(extra));
    return faults;
}

LoadStatus LoadDataFile(const std::string& path, Document& doc, std::int16_t* plateCount,
                        std::vector<DataFileFault>* faults) {
    // Only a regular file of a data file's size is read: a directory cannot be, a device or a
    // FIFO might never end (or never start), and a large file would hold the window while it
    // is read, only to be refused afterwards.
    const std::optional<fs::path> file = PathFromUtf8(path);
    if (!file) return LoadStatus::CannotOpen;
    std::string text;
    switch (files::ReadSmallFile(*file, kMaxDataFileSize, text)) {
        case files::ReadResult::Read: {
            const std::int16_t kept = doc.PlateCount;
            const LoadStatus status = ReadDataFile(text, doc, plateCount);
            if (status == LoadStatus::Loaded && faults != nullptr) {
                *faults = FindDataFileFaults(text, kept);
            }
            return status;
        }
        case files::ReadResult::TooLarge:
            return LoadStatus::TooLarge;
        case files::ReadResult::CannotOpen:
            break;
    }
    return LoadStatus::CannotOpen;
}

bool HasDataFileName(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return name.find(".dat") != std::string_view::npos;
}

bool SaveDataFile(const std::string& path, const Document& doc, SaveResult* result) {
    const SaveResult outcome = Save(path, FormatDataFile(doc));
    if (result != nullptr) *result = outcome;
    return outcome.Ok();
}

SaveResult CheckSaveTarget(const std::string& path, bool* stream) {
    using Kind = files::FileFacts::Kind;
    if (stream != nullptr) *stream = false;
    SaveResult why;
    const std::optional<fs::path> target = SaveTarget(path, why);
    if (!target) return why;
    const files::FileFacts facts = files::Examine(*target);
    if (stream != nullptr) *stream = facts.kind == Kind::kStream;
    if (facts.kind == Kind::kUnknown || facts.kind == Kind::kDirectory) return facts.why;
    return facts.writable ? SaveResult{} : facts.why;
}

}  // namespace kelvara
