#pragma once

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

// What the program needs of the console or terminal it runs in. One implementation per system:
// terminal.cpp (POSIX), terminal_windows.cpp.

namespace kelvara::cli {

// The command-line arguments as UTF-8. (Windows hands argv over in the ANSI code page, which
// loses names in other scripts; the wide command line has them all.)
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Makes the console take what the program writes as it is: on Windows UTF-8 text, escape
// sequences for the progress bars, and data on standard output byte for byte (no CR added).
void PrepareConsole();

// Whether the stream is a terminal.
bool IsTerminal(std::FILE* stream);

// The width of the terminal behind the stream; 0 when it is none or does not say.
int TerminalColumns(std::FILE* stream);

// From now on SIGINT and SIGTERM (Windows: Ctrl+C and Ctrl+Break) raise the flag StopFlag returns
// instead of ending the program, so that a running transfer stops at its next poll and closes its
// port. A second signal of the same kind ends the program at once.
void CatchStopSignals();
const std::atomic<bool>& StopFlag();

}  // namespace kelvara::cli
