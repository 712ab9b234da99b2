#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/transfer.h"
#include "document/document.h"
#include "port_choice.h"
#include "progress.h"

namespace kelvara::cli {

// How the transfer on one port ended.
struct PortOutcome {
    PortChoice port;
    std::string device;  // the device the line opened or tried; empty when none was found
    TransferResult result = TransferResult::kTimedOut;
    int done = 0;         // acknowledged units (write, life game) or reply characters (read)
    int total = 0;        // all units; for a read 0 until the reply's length was known
    std::string message;  // port-open details, or why a value could not be sent
    Document doc;         // the document after the transfer: for a read, what the machine sent
};

// What to do with a transfer that has ended (on the calling thread): returns its result line
// for the board, or nothing.
using TransferEnded = std::function<std::string(PortOutcome&)>;

// Runs ComMain(mode) on a copy of doc for every port, side by side on one event loop: each
// transfer with its own serial line and host, exactly the editor's routine and pacing. Stages,
// progress and line events go to board (port i reports as board port i), which is written to
// progressOut as they come; stop ends every transfer at its next poll. As each transfer ends,
// the bars are taken down, ended is called and its line written, so a slow port holds back no
// other port's result. A stage that says the transfer completed is shown only when it did.
// Returns when all have ended, in the order of ports.
std::vector<PortOutcome> TransferAll(std::int16_t mode, const Document& doc,
                                     const std::vector<PortChoice>& ports, ProgressBoard& board,
                                     const std::atomic<bool>& stop, std::FILE* progressOut,
                                     const TransferEnded& ended, const TransferTiming& timing = {});

// "COM1 (/dev/ttyUSB0)", "/dev/ttyUSB0", or "COM4" when COM4 named no device.
std::string PortHeading(const PortOutcome& outcome);

// The result line of a transfer, without the port heading: the editor's text for how it ended,
// then the units or characters, and for a port that did not open the reasons on indented lines.
std::string OutcomeText(std::int16_t mode, const PortOutcome& outcome);

// 0 done; 1 the machine did not answer (or stopped answering), the line went away, the port did
// not open, stopped;
// 2 the document was refused.
int ExitCode(TransferResult result);

}  // namespace kelvara::cli
