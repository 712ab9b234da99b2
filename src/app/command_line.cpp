#include "app/command_line.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "device/qt_ports.h"

namespace kelvara {

namespace {

constexpr char kUsage[] =
    "usage: kelvara-editor [--list-ports | --help]\n"
    "\n"
    "The editor for the Kelvara machine. Without options it opens its window.\n"
    "\n"
    "  --list-ports  print which device each of COM1..COM9 reaches now (USB serial adapters\n"
    "                first; KELVARA_COMn names COM n's device instead) and exit\n"
    "  --help        show this text and exit\n";

}  // namespace

std::optional<int> HandleCommandLine(int argc, char** argv) {
    if (argc < 2) return std::nullopt;
    const std::string_view option = argv[1];
    if (argc == 2 && option == "--list-ports") {
        for (const std::string& line : SystemPortTable()) std::printf("%s\n", line.c_str());
        return 0;
    }
    if (argc == 2 && (option == "--help" || option == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // Anything else is left to the window toolkit, which takes options of its own (-platform,
    // -style, ...) and passes over what it does not know.
    return std::nullopt;
}

}  // namespace kelvara
