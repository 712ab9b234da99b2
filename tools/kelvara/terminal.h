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

// The size of the terminal behind the stream; 0 for what it does not say or when it is none.
struct TerminalSize {
    int columns = 0;
    int rows = 0;
    bool operator==(const TerminalSize&) const = default;
};
TerminalSize SizeOf(std::FILE* stream);

// The width of the terminal behind the stream; 0 when it is none or does not say.
int TerminalColumns(std::FILE* stream);

// Puts something on the descriptors 0, 1 and 2 that are closed, before anything else can be
// opened there (a serial port or a data file would otherwise take the place of standard output
// and receive what is printed). Standard output and error get /dev/null opened for reading only,
// so every write to them still fails and is reported as such.
void ReserveStandardStreams();

// Writes text to the stream and flushes it. False when any of it could not be written; the
// stream then remembers the failure (see WriteFailure) and later writes to it are skipped.
bool Print(std::FILE* stream, const std::string& text);

// Why a write to the stream failed, in words for the user ("書き込めません（No space left on
// device）"); empty while every write succeeded.
std::string WriteFailure(std::FILE* stream);

// From now on SIGINT, SIGTERM and SIGHUP (Windows: Ctrl+C and Ctrl+Break)
// raise the flag StopFlag returns instead of ending the
// program, so that a running transfer stops at its next poll, closes its port and reports how
// it ended. A second signal of the same kind ends the program at once.
void CatchStopSignals();
const std::atomic<bool>& StopFlag();

// A write to a pipe whose reader has gone is a write error (reported as such), not the end of
// the program: a transfer whose output nobody reads any more still finishes.
void IgnoreBrokenPipes();

// After the program has cleaned up: when a stop signal was caught, ends the program by that
// signal, as a shell expects of a program it interrupted (a loop around it then stops too, and
// $? is 128 + the signal). Returns otherwise (and on Windows, whose consoles know no such end).
void EndByStopSignal();

}  // namespace kelvara::cli
