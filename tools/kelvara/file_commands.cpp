#include "file_commands.h"

#include "device/transfer.h"
#include "files/datafile.h"
#include "simulation/simulation.h"

namespace kelvara::cli {

namespace {

std::string RowColumn(int index, int width) {
    return std::to_string(index / width + 1) + " 行目 " + std::to_string(index % width + 1) +
           " 列目";
}

}  // namespace

std::optional<std::string> OpenDataFile(const std::string& path, Document& doc) {
    if (!HasDataFileName(path)) {
        return "ファイル名に「.dat」が含まれていません";
    }
    std::int16_t count = 0;
    const LoadStatus status = LoadDataFile(path, doc, &count);
    if (status == LoadStatus::CannotOpen) {
        return "ファイルを開けません（ない、読めない、またはふつうのファイルではありません）";
    }
    if (status == LoadStatus::BadPlateCount) {
        return "プレート数 " + std::to_string(count) + " が 1〜50 の範囲外です";
    }
    if (status != LoadStatus::Loaded) {
        return "データファイルとして読めません";
    }
    doc.FileName = path;
    doc.NowPlate = 1;
    return std::nullopt;
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

CheckReport CheckDataFile(const std::string& path) {
    CheckReport report;
    Document doc;
    InitDocument(doc);
    if (const std::optional<std::string> refusal = OpenDataFile(path, doc)) {
        report.text = path + ": " + kUnknownFileText + "\n  " + *refusal + "\n";
        return report;
    }
    const std::int16_t mode = SendMode(doc);
    std::vector<std::string> lines = DescribeUnsendable(doc, mode);
    if (doc.GameMode != 0 && doc.GameMode != 1) {
        lines.push_back("注意: ゲームモード " + std::to_string(doc.GameMode) +
                        " は 0（通常）でも 1（ライフゲーム）でもありません。send は通常モードの"
                        "書き込みをし、run では何も変わりません");
    }
    if (const std::optional<std::string> reason = UnsendableReason(doc, mode)) {
        report.text = path + ": " + *reason + "\n";
    } else {
        report.sound = true;
        report.text = path + ": 問題ありません（" +
                      (mode == kTransferLifeGame
                           ? std::string("ライフゲームモード")
                           : "通常モード、プレート " + std::to_string(doc.PlateCount) + " 枚") +
                      "）\n";
    }
    for (const std::string& line : lines) report.text += "  " + line + "\n";
    return report;
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
