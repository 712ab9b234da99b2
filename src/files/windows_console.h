#pragma once

// A Windows console shows text in its own code page (932 on a Japanese system); both programs
// write UTF-8, so they switch the console they write to over to UTF-8 while they run.

namespace kelvara {

// Sets the console's output code page to UTF-8 and puts the one it had back when the program
// exits. Does nothing without a console.
void UseUtf8Console();

// Puts the console's code page back now: for an end that skips the exit handlers (the system
// ending the program after a second Ctrl+C). Harmless when nothing was changed.
void RestoreConsoleCodePage();

}  // namespace kelvara
