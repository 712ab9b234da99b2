#include "transfers.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "device/line_events.h"
#include "device/system_serial_line.h"
#include "device/transfer_pump.h"
#include "terminal.h"

namespace kelvara::cli {

namespace {

constexpr char kPortOpenErrorText[] = "ポートオープンエラー発生";
constexpr int kRedrawMs = 50;

// The window's part in a transfer, for one port.
class PortHost final : public TransferHost {
  public:
    PortHost(std::size_t index, ProgressBoard& board, const std::atomic<bool>& stop,
             const SystemSerialLine& line, PortOutcome& outcome)
        : index_(index), board_(board), stop_(stop), line_(line), outcome_(outcome) {}

    // A completion text is never a stage line of its own: the routine puts it up before it
    // knows whether a wait gave up, and a read is complete only once its data has been saved
    // or written out. The result line, made when all that is known, is the one that says so.
    void SetStatus(const std::string& text) override {
        if (text != kWriteDoneText && text != kLifeGameDoneText && text != kReadDoneText) {
            board_.Stage(index_, text);
        }
    }
    void ArmStatusTimer() override {}
    void ShowPortOpenError() override { outcome_.message = line_.OpenErrorDetails(); }
    void ShowTransferError(const std::string& text) override { outcome_.message = text; }
    bool Closing() const override { return false; }
    bool StopRequested() const override { return stop_.load(); }
    void Progress(int done, int total) override {
        outcome_.done = done;
        outcome_.total = total;
        board_.Progress(index_, done, total);
    }

  private:
    std::size_t index_;
    ProgressBoard& board_;
    const std::atomic<bool>& stop_;
    const SystemSerialLine& line_;
    PortOutcome& outcome_;
};

// One port's transfer: its line, the window's part and the routine, driven from the event loop.
struct PortTransfer {
    PortTransfer(std::int16_t mode, std::size_t index, ProgressBoard& board,
                 const std::atomic<bool>& stop, const TransferTiming& timing, PortOutcome& outcome)
        : host(index, board, stop, line, outcome), transfer(mode, outcome.doc, line, host, timing) {
        // The routine gives the line the document's COM number; a device path stays the device.
        if (!outcome.port.IsCom()) line.SetDevice(outcome.port.device);
        QObject::connect(&line, &SystemSerialLine::lineEvent, [&board, index](int code) {
            if (const auto text = LineEventMessage(code)) {
                board.Note(index, std::string(kLineEventTitle) + ": " + *text);
            }
        });
        pump.WatchLine(&line);
    }

    SystemSerialLine line;
    PortHost host;
    ComMain transfer;
    TransferPump pump;
};

// The units a write or life game mode sends: the count or marker, eight rows, three per plate.
int UnitsOf(std::int16_t mode, const Document& doc) {
    if (mode == kTransferLifeGame) return 9;
    if (mode == kTransferWrite) return 9 + 3 * std::clamp<int>(doc.PlateCount, 0, kMaxPlates);
    return 0;
}

std::string Units(std::int16_t mode, const PortOutcome& outcome) {
    if (mode == kTransferRead) return "受信 " + std::to_string(outcome.done) + " 文字";
    return "確認 " + std::to_string(outcome.done) + "/" + std::to_string(outcome.total);
}

}  // namespace

std::vector<PortOutcome> TransferAll(std::int16_t mode, const Document& doc,
                                     const std::vector<PortChoice>& ports, ProgressBoard& board,
                                     const std::atomic<bool>& stop, std::FILE* progressOut,
                                     const TransferEnded& ended, const TransferTiming& timing) {
    std::vector<PortOutcome> outcomes(ports.size());
    std::vector<std::unique_ptr<PortTransfer>> transfers;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        PortOutcome& outcome = outcomes[i];
        outcome.port = ports[i];
        outcome.doc = doc;
        outcome.doc.ComPort = static_cast<std::int16_t>(ports[i].IsCom() ? ports[i].number : 1);
        outcome.total = UnitsOf(mode, doc);
        board.Progress(i, 0, outcome.total);
        transfers.push_back(std::make_unique<PortTransfer>(mode, i, board, stop, timing, outcome));
    }
    // Every port's exchange runs on this one loop, each resumed by its own waits; the bars are
    // redrawn beside them.
    QEventLoop loop;
    std::size_t running = transfers.size();
    for (std::size_t i = 0; i < transfers.size(); ++i) {
        PortTransfer& port = *transfers[i];
        port.pump.Drive(port.transfer, [&, i] {
            PortOutcome& outcome = outcomes[i];
            outcome.result = transfers[i]->transfer.Result();
            outcome.device = transfers[i]->line.Device();
            // What ended writes (the data of a read, on a terminal too) must not be drawn over
            // by the bars.
            const TerminalSize size = SizeOf(progressOut);
            Print(progressOut, board.TakeDown(size));
            board.Ended(i);
            if (const std::string line = ended(outcome); !line.empty()) board.Line(line);
            Print(progressOut, board.Flush(size));
            if (--running == 0) loop.quit();
        });
    }
    QTimer redraw;
    redraw.setInterval(kRedrawMs);
    QObject::connect(&redraw, &QTimer::timeout,
                     [&] { Print(progressOut, board.Flush(SizeOf(progressOut))); });
    redraw.start();
    if (running > 0) loop.exec();
    return outcomes;
}

std::string PortHeading(const PortOutcome& outcome) {
    if (!outcome.port.IsCom() || outcome.device.empty()) return outcome.port.name;
    return outcome.port.name + " (" + outcome.device + ")";
}

std::string OutcomeText(std::int16_t mode, const PortOutcome& outcome) {
    switch (outcome.result) {
        case TransferResult::kDone: {
            const char* done = mode == kTransferRead       ? kReadDoneText
                               : mode == kTransferLifeGame ? kLifeGameDoneText
                                                           : kWriteDoneText;
            return std::string(done) + " " +
                   (mode == kTransferRead
                        ? std::to_string(outcome.done) + " 文字"
                        : std::to_string(outcome.done) + "/" + std::to_string(outcome.total));
        }
        case TransferResult::kTimedOut:
            return std::string(kTransferRetryText) + "（" + Units(mode, outcome) + "）";
        case TransferResult::kGaveUp:
            if (mode != kTransferRead) {
                return std::string(kTransferRetryText) + "（" + std::to_string(outcome.done + 1) +
                       " 番目の単位に確認がありません: " + Units(mode, outcome) + "）";
            }
            return std::string(kTransferRetryText) +
                   (outcome.done == 0 ? "（応答がありません: " : "（返事が途中で止まりました: ") +
                   Units(mode, outcome) + "）";
        case TransferResult::kStopped:
        case TransferResult::kClosing:
            return std::string(kTransferRetryText) + "（中断: " + Units(mode, outcome) + "）";
        case TransferResult::kLineLost:
            return std::string(kTransferRetryText) + "（回線が切れました: " + Units(mode, outcome) +
                   "）";
        case TransferResult::kPortOpenFailed: {
            std::string text = kPortOpenErrorText;
            std::size_t at = 0;
            while (at < outcome.message.size()) {
                const std::size_t end =
                    std::min(outcome.message.find('\n', at), outcome.message.size());
                text += "\n    " + outcome.message.substr(at, end - at);
                at = end + 1;
            }
            return text;
        }
        case TransferResult::kRefused:
            return std::string(kLineEventTitle) + ": " + outcome.message;
        case TransferResult::kNotChosen:  // no line of this program asks for a port
            return kNoPortChosenText;
    }
    return {};
}

int ExitCode(TransferResult result) {
    switch (result) {
        case TransferResult::kDone:
            return 0;
        case TransferResult::kRefused:
            return 2;
        default:
            return 1;
    }
}

}  // namespace kelvara::cli
