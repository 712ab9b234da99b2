#pragma once

#include <optional>

namespace kelvara {

// The editor's own command-line options, handled before any window exists (no display is
// needed): --list-ports prints the COM1..COM9 table, --help the usage. Returns the exit code
// when the program is done, nothing when the window is to start.
std::optional<int> HandleCommandLine(int argc, char** argv);

}  // namespace kelvara
