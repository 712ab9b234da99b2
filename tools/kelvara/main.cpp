// kelvara: the editor's transfers, data files and trial runs on the command line.

#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "cli_options.h"
#include "commands.h"
#include "terminal.h"

#ifndef KELVARA_VERSION
#define KELVARA_VERSION "unknown"
#endif

int main(int argc, char** argv) {
    using namespace kelvara::cli;
    const std::vector<std::string> args = Utf8Arguments(argc, argv);
    PrepareConsole();
    std::string error;
    const std::optional<Options> options = ParseOptions(args, &error);
    if (!options) {
        const Command command = args.size() > 1 ? CommandNamed(args[1]) : Command::kNone;
        std::fprintf(stderr, "kelvara: %s\n%s\n", error.c_str(), HelpHint(command).c_str());
        return 2;
    }
    if (options->version) {
        std::printf("kelvara %s\n", KELVARA_VERSION);
        return 0;
    }
    QCoreApplication app(argc, argv);
    return Execute(*options, stdout, stderr);
}
