#pragma once

#include <QStringList>
#include <optional>
#include <string>

namespace kelvara {

// The editor's own command-line options, handled before any window exists (no display is
// needed): --list-ports prints the COM1..COM9 table, --help the usage. Returns the exit code
// when the program is done, nothing when the window is to start.
std::optional<int> HandleCommandLine(int argc, char** argv);

// The data file the window opens as it starts: the first argument that is not an option, once
// the window toolkit has taken its own (-platform ...); its full path with the system's
// separators.
std::optional<std::string> FileToOpen(const QStringList& arguments);

}  // namespace kelvara
