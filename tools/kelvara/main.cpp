// kelvara: the editor's transfers, data files and trial runs on the command line.

#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "cli_options.h"
#include "commands.h"

#ifndef KELVARA_VERSION
#define KELVARA_VERSION "unknown"
#endif

// The licence, as --version states it.
constexpr char kLicenceNotice[] =
    "Copyright (C) 2026 KelvaraEditor の開発者\n"
    "ライセンス GPL-3.0-or-later: GNU 一般公衆利用許諾書 第 3 版またはそれ以降\n"
    "<https://www.gnu.org/licenses/gpl.html>\n"
    "これはフリーソフトウェアです。自由に変更し、再配布できます。法律の許す限り、無保証です。\n";

int main(int argc, char** argv) {
    using namespace kelvara::cli;
    const std::vector<std::string> args(argv, argv + argc);
    std::string error;
    const std::optional<Options> options = ParseOptions(args, &error);
    if (!options) {
        const Command command = args.size() > 1 ? CommandNamed(args[1]) : Command::kNone;
        std::fprintf(stderr, "kelvara: %s\n%s\n", error.c_str(), HelpHint(command).c_str());
        return 2;
    }
    if (options->version) {
        std::printf("kelvara %s\n%s", KELVARA_VERSION, kLicenceNotice);
        return 0;
    }
    QCoreApplication app(argc, argv);
    return Execute(*options, stdout, stderr);
}
