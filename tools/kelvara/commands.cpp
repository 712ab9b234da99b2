#include "commands.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "device/qt_ports.h"
#include "device/transfer.h"
#include "file_commands.h"
#include "files/datafile.h"
#include "simulation/random.h"
#include "terminal.h"
#include "transfers.h"

namespace kelvara::cli {

namespace {

constexpr char kSaveFailedText[] = "ファイルを保存できませんでした。";

void Print(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

// Opens the file as "開く" does, for use; prints what stands against it (the editor's refusal,
// values missing or unreadable, values the machine cannot take) and returns false when the
// command refuses it.
bool Open(const std::string& path, FileUse use, const Options& options, Document& doc,
          std::FILE* err) {
    FileVerdict verdict = JudgeDataFile(path, use, options.lenient);
    if (!verdict.text.empty()) Print(err, verdict.text);
    doc = std::move(verdict.doc);
    return verdict.usable;
}

// The transfers of mode on every port, with their progress and result lines on err; returns
// the worst exit code. ended gives a finished transfer's result line and exit code.
int Transfer(std::int16_t mode, const Document& doc, const Options& options, std::FILE* err,
             const std::function<std::pair<std::string, int>(PortOutcome&)>& ended) {
    std::vector<std::string> labels;
    for (const PortChoice& port : options.ports) labels.push_back(port.name);
    ProgressBoard board(std::move(labels), IsTerminal(err));
    CatchStopSignals();
    int worst = 0;
    TransferAll(mode, doc, options.ports, board, StopFlag(), err, [&](PortOutcome& outcome) {
        auto [line, code] = ended(outcome);
        worst = std::max(worst, code);
        return line;
    });
    return worst;
}

int Send(const Options& options, std::FILE* err) {
    Document doc;
    if (!Open(options.file, FileUse::kSend, options, doc, err)) return 2;
    const std::int16_t mode = SendMode(doc);
    return Transfer(mode, doc, options, err, [mode](PortOutcome& outcome) {
        return std::pair(PortHeading(outcome) + ": " + OutcomeText(mode, outcome),
                         ExitCode(outcome.result));
    });
}

int Read(const Options& options, std::FILE* out, std::FILE* err) {
    // Every output is looked at before any machine is read.
    for (const PortChoice& port : options.ports) {
        if (!options.output) break;
        const std::string path = ExpandPortName(*options.output, port);
        if (const std::optional<std::string> refusal = OutputRefusal(path)) {
            Print(err, "kelvara: " + path + ": " + *refusal + "\n");
            return 2;
        }
    }
    Document doc;
    InitDocument(doc);
    return Transfer(kTransferRead, doc, options, err, [&](PortOutcome& outcome) {
        int code = ExitCode(outcome.result);
        std::string line = PortHeading(outcome) + ": " + OutcomeText(kTransferRead, outcome);
        if (outcome.result == TransferResult::kDone) {
            SaveResult saved;
            outcome.doc.NowPlate = 1;  // as the editor shows plate 1 after a read
            if (!options.output) {
                Print(out, FormatDataFile(outcome.doc));
            } else if (const std::string path = ExpandPortName(*options.output, outcome.port);
                       SaveDataFile(path, outcome.doc, &saved)) {
                line += " → " + path;
            } else {
                line = PortHeading(outcome) + ": " + kSaveFailedText + " " + path + ": " +
                       SaveErrorText(saved);
                code = 2;
            }
        }
        return std::pair(line, code);
    });
}

int Run(const Options& options, std::FILE* out, std::FILE* err) {
    Document doc;
    if (!Open(options.file, FileUse::kRun, options, doc, err)) return 2;
    std::unique_ptr<RandomSource> random;
    if (options.seed) {
        random = std::make_unique<SeededRandom>(*options.seed);
    } else {
        random = std::make_unique<ClockRandom>();
    }
    Print(out, RunSteps(doc, options.steps, options.every, *random));
    return 0;
}

int Check(const Options& options, std::FILE* out) {
    const CheckReport report = CheckDataFile(options.file);
    Print(out, report.text);
    return report.sound ? 0 : 2;
}

int Ports(std::FILE* out) {
    std::string text;
    for (const std::string& line : SystemPortTable()) text += line + "\n";
    Print(out, text);
    return 0;
}

}  // namespace

int Execute(const Options& options, std::FILE* out, std::FILE* err) {
    if (options.help) {
        Print(out, HelpText(options.command));
        return 0;
    }
    switch (options.command) {
        case Command::kSend:
            return Send(options, err);
        case Command::kRead:
            return Read(options, out, err);
        case Command::kRun:
            return Run(options, out, err);
        case Command::kCheck:
            return Check(options, out);
        case Command::kPorts:
            return Ports(out);
        case Command::kNone:
            break;
    }
    Print(out, HelpText(Command::kNone));
    return 0;
}

}  // namespace kelvara::cli
