#include "commands.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>

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
constexpr char kOutputFailedText[] = "標準出力に書き込めませんでした: ";
constexpr std::size_t kRunChunk = 64 * 1024;  // run's output goes out in pieces of this size

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

// Refuses ports of which two reach one device: both transfers would open it and mix their
// characters on the line. Prints why and returns false.
bool DistinctDevices(const Options& options, std::FILE* err) {
    if (const std::optional<std::string> twice = SameDeviceTwice(options.ports)) {
        Print(err, "kelvara: " + *twice + "\n" + HelpHint(options.command) + "\n");
        return false;
    }
    return true;
}

// The transfers of mode on ports, with their progress and result lines on err; returns the
// worst exit code. ended gives a finished transfer's result line (none when empty) and exit
// code. A transfer ends at the first unit the machine does not answer unless keepGoing.
int Transfer(std::int16_t mode, const Document& doc, const std::vector<PortChoice>& ports,
             bool keepGoing, std::FILE* err,
             const std::function<std::pair<std::string, int>(PortOutcome&)>& ended) {
    std::vector<std::string> labels;
    for (const PortChoice& port : ports) labels.push_back(port.name);
    ProgressBoard board(std::move(labels), IsTerminal(err));
    CatchStopSignals();
    TransferTiming timing;
    timing.endAtFirstTimeOut = !keepGoing;
    int worst = 0;
    TransferAll(
        mode, doc, ports, board, StopFlag(), err,
        [&](PortOutcome& outcome) {
            auto [line, code] = ended(outcome);
            worst = std::max(worst, code);
            return line;
        },
        timing);
    return worst;
}

int Send(const Options& options, std::FILE* err) {
    Document doc;
    if (!Open(options.file, FileUse::kSend, options, doc, err)) return 2;
    const std::int16_t mode = SendMode(doc);
    if (!DistinctDevices(options, err)) return 2;
    return Transfer(mode, doc, options.ports, options.keepGoing, err, [mode](PortOutcome& outcome) {
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
    if (!DistinctDevices(options, err)) return 2;
    return Transfer(kTransferRead, doc, options.ports, false, err, [&](PortOutcome& outcome) {
        int code = ExitCode(outcome.result);
        std::string line = PortHeading(outcome) + ": " + OutcomeText(kTransferRead, outcome);
        if (outcome.result == TransferResult::kDone) {
            SaveResult saved;
            outcome.doc.NowPlate = 1;  // as the editor shows plate 1 after a read
            if (!options.output) {
                // Read but not delivered: no completion for a script to find.
                if (!Print(out, FormatDataFile(outcome.doc))) {
                    line = PortHeading(outcome) + ": 読み出したデータを" + kOutputFailedText +
                           WriteFailure(out);
                    code = 2;
                }
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
    // Written as it is made, in pieces: a million steps need no memory for their text, and a
    // write that fails ends the run.
    std::string piece;
    const bool written =
        RunSteps(doc, options.steps, options.every, *random, [&](const std::string& text) {
            piece += text;
            return piece.size() < kRunChunk || Print(out, std::exchange(piece, {}));
        });
    return written && Print(out, piece) ? 0 : 2;
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

// What a machine that answered holds, or why none did.
std::string ProbeText(const PortOutcome& outcome) {
    switch (outcome.result) {
        case TransferResult::kDone:
            return outcome.doc.GameMode == 1 ? "応答あり（ライフゲームモード）"
                                             : "応答あり（通常モード、プレート " +
                                                   std::to_string(outcome.doc.PlateCount) + " 枚）";
        case TransferResult::kTimedOut:
        case TransferResult::kGaveUp:
            return outcome.done == 0 ? "応答なし"
                                     : "応答はあるが読めない返事です（受信 " +
                                           std::to_string(outcome.done) + " 文字）";
        default:
            return OutcomeText(kTransferRead, outcome);
    }
}

// Sends the read request to each port given, or to each COM number that names a device, and
// prints on out whether a machine answered and what it holds. Nothing is sent that changes
// the machine, and nothing is saved.
int Probe(const Options& options, std::FILE* out, std::FILE* err) {
    std::vector<PortChoice> ports = options.ports;
    std::string twins;  // COM numbers that reach a device probed under another number
    if (ports.empty()) {
        const std::vector<ResolvedPort> resolved = ResolveSystemPorts();
        for (std::size_t i = 0; i < resolved.size(); ++i) {
            const int n = static_cast<int>(i) + 1;
            // A number names a device when the system lists one for it (Windows has a COM
            // name for every number, most with nothing behind them) or the user's override
            // names one (a missing one is told as such).
            const ResolvedPort& port = resolved[i];
            const bool present = port.overridden || port.info.has_value();
            if (!port.device.empty() && present) {
                ports.push_back({"COM" + std::to_string(n), n, {}});
            }
        }
        const std::vector<std::size_t> first = FirstOfSameDevice(ports);
        std::vector<PortChoice> distinct;
        for (std::size_t i = 0; i < ports.size(); ++i) {
            if (first[i] == i) {
                distinct.push_back(ports[i]);
            } else {
                twins += ports[i].name + ": " + ports[first[i]].name + " と同じデバイスです\n";
            }
        }
        ports = std::move(distinct);
        if (ports.empty()) {
            Print(err,
                  "kelvara: 調べるポートがありません（COM1〜COM9 のどれもデバイスに当たりま"
                  "せん）\n");
            return 1;
        }
    } else if (!DistinctDevices(options, err)) {
        return 2;
    }
    Document doc;
    InitDocument(doc);
    bool allAnswered = true;
    // The ports end in any order; they are told in the order they were taken (COM order).
    std::vector<std::string> lines(ports.size());
    Transfer(kTransferRead, doc, ports, false, err, [&](PortOutcome& outcome) {
        allAnswered = allAnswered && outcome.result == TransferResult::kDone;
        for (std::size_t i = 0; i < ports.size(); ++i) {
            if (ports[i].name == outcome.port.name && lines[i].empty()) {
                lines[i] = PortHeading(outcome) + ": " + ProbeText(outcome) + "\n";
                break;
            }
        }
        return std::pair(std::string(), 0);
    });
    std::string text;
    for (const std::string& line : lines) text += line;
    const bool delivered = Print(out, text + twins);
    return !delivered ? 2 : allAnswered ? 0 : 1;
}

// A command's exit code once its output is accounted for: standard output that could not be
// written is a failure (2), reported on standard error unless the command did so itself; a
// command that did its work but could not say so on standard error ends with 3 (what it sent
// reached the machine, what it saved is there).
int Finish(int code, std::FILE* out, std::FILE* err, bool reported) {
    if (const std::string why = WriteFailure(out); !why.empty()) {
        if (!reported) Print(err, std::string("kelvara: ") + kOutputFailedText + why + "\n");
        code = std::max(code, 2);
    }
    if (code == 0 && !WriteFailure(err).empty()) code = kUnreportedExitCode;
    return code;
}

}  // namespace

int Execute(const Options& options, std::FILE* out, std::FILE* err) {
    if (options.help) {
        Print(out, HelpText(options.command));
        return Finish(0, out, err, false);
    }
    switch (options.command) {
        case Command::kSend:
            return Finish(Send(options, err), out, err, false);
        case Command::kRead:
            return Finish(Read(options, out, err), out, err, true);
        case Command::kRun:
            return Finish(Run(options, out, err), out, err, false);
        case Command::kCheck:
            return Finish(Check(options, out), out, err, false);
        case Command::kPorts:
            return Finish(options.probe ? Probe(options, out, err) : Ports(out), out, err, false);
        case Command::kNone:
            break;
    }
    Print(out, HelpText(Command::kNone));
    return Finish(0, out, err, false);
}

}  // namespace kelvara::cli
