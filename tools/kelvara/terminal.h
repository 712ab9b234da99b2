#pragma once

#include <atomic>
#include <cstdio>

namespace kelvara::cli {

// Whether the stream is a terminal.
bool IsTerminal(std::FILE* stream);

// The width of the terminal behind the stream; 0 when it is none or does not say.
int TerminalColumns(std::FILE* stream);

// From now on SIGINT and SIGTERM raise the flag StopFlag returns instead of ending the program,
// so that a running transfer stops at its next poll and closes its port. A second signal of
// the same kind ends the program at once.
void CatchStopSignals();
const std::atomic<bool>& StopFlag();

}  // namespace kelvara::cli
