#include "file_commands.h"

#include <fstream>

#include "device/transfer.h"
#include "files/datafile.h"
#include "files/utf8_path.h"
#include "simulation/simulation.h"

namespace kelvara::cli {

namespace {

std::string RowColumn(int index, int width) {
    return std::to_string(index / width + 1) + " 行目 " + std::to_string(index % width + 1) +
           " 列目";
}

// The document value the n-th value of a file goes into.
std::string PlaceText(int n) {
    const ValuePlace place = PlaceOfValue(n);
    const std::string record =
        place.plate == 0 ? std::string("記録 0") : "プレート " + std::to_string(place.plate);
    switch (place.part) {
        case ValuePlace::Part::kHeader:
            return place.index == 0   ? "ゲームモード"
                   : place.index == 1 ? "ポート番号"
                                      : "プレート数";
        case ValuePlace::Part::kPattern:
            return "パターンのセル " + std::to_string(place.index) + "（" +
                   RowColumn(place.index, 8) + "）";
        case ValuePlace::Part::kCondition:
            return record + " の条件セル " + std::to_string(place.index) + "（" +
                   RowColumn(place.index, 3) + "）";
        case ValuePlace::Part::kMethod:
            break;
    }
    return record + " の変化方法";
}

// Text found in a file, safe to show on a terminal and short: printable ASCII and well-formed
// UTF-8 stay, a backslash, control characters and stray bytes become \\, \xNN; "…" where it was
// cut (here after 24 characters, or by the reader's limit).
std::string Shown(const std::string& text) {
    constexpr int kShown = 24;
    std::string shown;
    int characters = 0;
    std::size_t i = 0;
    for (; i < text.size() && characters < kShown; ++characters) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = byte >= 0xF0 && byte <= 0xF4   ? 4
                                   : byte >= 0xE0 && byte <= 0xEF ? 3
                                   : byte >= 0xC2 && byte <= 0xDF ? 2
                                                                  : 1;
        bool whole = length > 1 && i + length <= text.size();
        for (std::size_t k = 1; whole && k < length; ++k) {
            whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        // C2 80..9F are the C1 control characters, which terminals act on.
        if (whole && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) whole = false;
        if (whole) {
            shown.append(text, i, length);
            i += length;
            continue;
        }
        if (byte == '\\') {
            shown += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7F) {
            shown += static_cast<char>(byte);
        } else {
            constexpr char kHex[] = "0123456789ABCDEF";
            shown += std::string("\\x") + kHex[byte >> 4] + kHex[byte & 15];
        }
        ++i;
    }
    return i < text.size() || text.size() >= kFoundText ? shown + "…" : shown;
}

// What a file whose values cannot be read is, when it is no ASCII text at all: one line says
// so instead of one line a value. Empty for text.
std::string KindOfFile(const std::string& path) {
    const std::optional<std::filesystem::path> name = PathFromUtf8(path);
    if (!name) return {};
    std::ifstream file(*name, std::ios::binary);
    std::string head(4096, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(file.gcount()));
    const auto starts = [&](std::string_view bom) { return head.rfind(bom, 0) == 0; };
    std::size_t zeros = 0, controls = 0;
    for (const char c : head) {
        const auto byte = static_cast<unsigned char>(c);
        zeros += byte == 0;
        controls += byte < 0x20 && byte != '\r' && byte != '\n' && byte != '\t';
    }
    if (starts("\xff\xfe") || starts("\xfe\xff") || (zeros > 0 && zeros * 4 >= head.size())) {
        return "UTF-16 のテキストです。データファイルは ASCII の数字とカンマです（UTF-8 か "
               "Shift_JIS で保存しなおしてください）";
    }
    if (controls > 0) {
        return "テキストのファイルではありません（データファイルは ASCII の数字とカンマの行です）";
    }
    return {};
}

constexpr char kFaultsText[] =
    "読めない値や足りない値があります（エディタの「開く」は、その値を前のままにします）";
constexpr char kLenientText[] =
    "注意: 読めない値や足りない値があります。--lenient のため「開く」と同じく、その値は新しい"
    "文書のままです";

}  // namespace

std::optional<std::string> OpenDataFile(const std::string& path, Document& doc,
                                        std::vector<DataFileFault>* faults) {
    if (!HasDataFileName(path)) {
        return "ファイル名に「.dat」が含まれていません";
    }
    std::int16_t count = 0;
    const LoadStatus status = LoadDataFile(path, doc, &count, faults);
    if (status == LoadStatus::CannotOpen) {
        return "ファイルを開けません（ない、読めない、またはふつうのファイルではありません）";
    }
    if (status == LoadStatus::BadPlateCount) {
        return "プレート数 " + std::to_string(count) + " が 1〜50 の範囲外です";
    }
    if (status == LoadStatus::TooLarge) {
        return "ファイルが大きすぎます（" + std::to_string(kMaxDataFileSize / 1024 / 1024) +
               " MiB まで。50 プレートのデータファイルでも約 1.3 KB です）";
    }
    doc.FileName = path;
    doc.NowPlate = 1;
    return std::nullopt;
}

std::vector<std::string> DescribeFaults(const std::vector<DataFileFault>& faults) {
    using Kind = DataFileFault::Kind;
    std::vector<std::string> lines;
    for (const DataFileFault& f : faults) {
        const std::string at = std::to_string(f.line) + " 行目";
        const std::string place = at + " " + std::to_string(f.position) + " 個目";
        switch (f.kind) {
            case Kind::kUnreadable: {
                const bool blank = f.found.find_first_not_of(" \t") == std::string::npos;
                std::string line =
                    place + "（" + PlaceText(f.value) + "）: " +
                    (blank ? std::string("値が空です")
                           : "「" + Shown(f.found) + "」は -32768〜32767 の整数ではありません");
                if (f.count > 0) {
                    line += "。このまとまりの残り " + std::to_string(f.count) + " 個も読まれません";
                }
                lines.push_back(line);
                break;
            }
            case Kind::kMissing:
                lines.push_back((f.line == 0 ? std::string("値がひとつもありません")
                                             : at + "でファイルが終わっています") +
                                ": " + PlaceText(f.value) + " から後の " + std::to_string(f.count) +
                                " 個の値がありません");
                break;
            case Kind::kLineLength:
                lines.push_back(at + ": 値が " + std::to_string(f.count) + " 個あります（" +
                                PlaceText(f.value) + " からのこの行は " +
                                std::to_string(f.expected) +
                                " 個のはず）。後の値は本来の場所からずれて読まれます");
                break;
            case Kind::kExtra:
                lines.push_back(place + "から後の " + std::to_string(f.count) +
                                " 個の値は読まれません（最初は「" + Shown(f.found) + "」）");
                break;
        }
    }
    return lines;
}

std::int16_t SendMode(const Document& doc) {
    return doc.GameMode == 1 ? kTransferLifeGame : kTransferWrite;
}

std::vector<std::string> DescribeUnsendable(const Document& doc, std::int16_t mode) {
    std::vector<std::string> lines;
    for (const UnsendableValue& v : UnsendableValues(doc, mode)) {
        const std::string value = "値 " + std::to_string(v.value);
        const std::string plate = "プレート " + std::to_string(v.plate);
        switch (v.kind) {
            case UnsendableValue::Kind::kPatternCell:
                lines.push_back("パターンのセル " + std::to_string(v.index) + "（" +
                                RowColumn(v.index, 8) + "）: " + value + "（0 か 1 のみ）");
                break;
            case UnsendableValue::Kind::kPlateCount:
                lines.push_back("プレート数: " + value + "（1〜50 のみ）");
                break;
            case UnsendableValue::Kind::kConditionCell:
                lines.push_back(plate + " の条件セル " + std::to_string(v.index) + "（" +
                                RowColumn(v.index, 3) + "）: " + value + "（0〜2 のみ）");
                break;
            case UnsendableValue::Kind::kMethod:
                lines.push_back(plate + " の変化方法: " + value + "（0〜3 のみ）");
                break;
        }
    }
    return lines;
}

FileVerdict JudgeDataFile(const std::string& path, FileUse use, bool lenient) {
    const std::string head = (use == FileUse::kCheck ? "" : "kelvara: ") + path + ": ";
    FileVerdict verdict;
    InitDocument(verdict.doc);
    std::vector<DataFileFault> faults;
    if (const std::optional<std::string> refusal = OpenDataFile(path, verdict.doc, &faults)) {
        verdict.text = head + kUnknownFileText + "\n  " + *refusal + "\n";
        return verdict;
    }
    const Document& doc = verdict.doc;
    verdict.usable = true;
    if (!faults.empty()) {
        const bool note = lenient && use != FileUse::kCheck;
        verdict.text += head + (note ? kLenientText : kFaultsText) + "\n";
        if (const std::string kind = KindOfFile(path); !kind.empty()) {
            verdict.text += "  " + kind + "\n";
        } else {
            for (const std::string& line : DescribeFaults(faults)) {
                verdict.text += "  " + line + "\n";
            }
        }
        verdict.usable = note;
    }
    if (use == FileUse::kRun) return verdict;
    const std::int16_t mode = SendMode(doc);
    if (const std::optional<std::string> reason = UnsendableReason(doc, mode)) {
        verdict.text += head + *reason + "\n";
        for (const std::string& line : DescribeUnsendable(doc, mode)) {
            verdict.text += "  " + line + "\n";
        }
        verdict.usable = false;
    }
    if (use != FileUse::kCheck) return verdict;
    // The editor sends to the file's port: one its port menu has.
    if (doc.ComPort < 1 || doc.ComPort > 9) {
        verdict.text += head + "ポート番号 " + std::to_string(doc.ComPort) +
                        " が 1〜9 の範囲外です（エディタのポートの設定は COM1〜COM9 です）\n";
        verdict.usable = false;
    }
    if (verdict.usable) {
        verdict.text += head + "問題ありません（" +
                        (mode == kTransferLifeGame
                             ? std::string("ライフゲームモード")
                             : "通常モード、プレート " + std::to_string(doc.PlateCount) + " 枚") +
                        "）\n";
    }
    if (doc.GameMode != 0 && doc.GameMode != 1) {
        verdict.text += "  注意: ゲームモード " + std::to_string(doc.GameMode) +
                        " は 0（通常）でも 1（ライフゲーム）でもありません。send は通常モードの"
                        "書き込みをし、run では何も変わりません\n";
    }
    return verdict;
}

CheckReport CheckDataFile(const std::string& path) {
    FileVerdict verdict = JudgeDataFile(path, FileUse::kCheck, false);
    return CheckReport{verdict.usable, std::move(verdict.text)};
}

std::string SaveErrorText(const SaveResult& result) {
    std::string text;
    switch (result.error) {
        case SaveError::kNone:
            break;
        case SaveError::kBadName:
            text = "ファイルの名前になっていません";
            break;
        case SaveError::kNoFolder:
            text = "フォルダがありません";
            break;
        case SaveError::kIsDirectory:
            text = "フォルダです";
            break;
        case SaveError::kNoPermission:
            text = "書き込みが許可されていません";
            break;
        case SaveError::kReadOnly:
            text = "読み取り専用です";
            break;
        case SaveError::kDiskFull:
            text = "ディスクがいっぱいです";
            break;
        case SaveError::kNoReader:
            text = "読み手がいません";
            break;
        case SaveError::kClosed:
            text = "開いていないファイル記述子です";
            break;
        case SaveError::kBusy:
            text = "ほかのプログラムが使用中です";
            break;
        case SaveError::kDeviceName:
            text =
                "Windows では装置の名前です（CON、PRN、AUX、NUL、COM1〜COM9、LPT1〜LPT9 は、"
                "拡張子をつけてもファイルになりません）";
            break;
        case SaveError::kOther:
            text = "保存の途中でエラーになりました";
            break;
    }
    if (result.systemCode != 0) {
        text += "（" + SystemErrorText(result.systemCode) + "）";
    }
    return text;
}

std::optional<std::string> OutputRefusal(const std::string& path) {
    bool stream = false;
    const SaveResult result = CheckSaveTarget(path, &stream);
    if (!stream && !HasDataFileName(path)) {
        return "ファイル名に「.dat」が含まれていません（send と check はそのファイルを断ります）";
    }
    if (!result.Ok()) return "保存できません: " + SaveErrorText(result);
    return std::nullopt;
}

std::string FormatCells(const Pattern& pattern) {
    std::string text;
    for (int i = 0; i < kCells; ++i) {
        const std::int16_t cell = pattern[static_cast<std::size_t>(i)];
        text += cell == kOff ? '.' : cell == kOn ? 'O' : '?';
        if (i % 8 == 7) text += '\n';
    }
    return text;
}

std::string RunSteps(Document& doc, long steps, bool every, RandomSource& random) {
    std::string text;
    RunSteps(doc, steps, every, random, [&text](const std::string& piece) {
        text += piece;
        return true;
    });
    return text;
}

bool RunSteps(Document& doc, long steps, bool every, RandomSource& random,
              const std::function<bool(const std::string&)>& emit) {
    SimulationWork work;
    if (every && !emit(FormatCells(doc.MaData))) return false;
    for (long step = 0; step < steps; ++step) {
        if (doc.GameMode == 0) {
            std::string matches;
            SerchData(doc, work, random, matches);
        } else if (doc.GameMode == 1) {
            LifeGame(doc, work);
        }
        if (every && !emit("\n" + FormatCells(doc.MaData))) return false;
    }
    return every || emit(FormatCells(doc.MaData));
}

}  // namespace kelvara::cli
