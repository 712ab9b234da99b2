// kelvara: the editor's transfers, data files and trial runs on the command line.

#include <QCoreApplication>
#include <string>
#include <vector>

#include "cli_options.h"
#include "commands.h"
#include "terminal.h"

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
    ReserveStandardStreams();
    IgnoreBrokenPipes();
    const std::vector<std::string> args = Utf8Arguments(argc, argv);
    PrepareConsole();
    if (args.size() < 2) {
        // No command: what the commands are, but no success.
        Print(stdout, HelpText(Command::kNone));
        return 2;
    }
    std::string error;
    const std::optional<Options> options = ParseOptions(args, &error);
    if (!options) {
        const Command command = CommandNamed(args[1]);
        Print(stderr, "kelvara: " + error + "\n" + HelpHint(command) + "\n");
        return 2;
    }
    if (options->version) {
        if (Print(stdout, std::string("kelvara ") + KELVARA_VERSION + "\n" + kLicenceNotice)) {
            return 0;
        }
        Print(stderr, "kelvara: 標準出力に書き込めませんでした: " + WriteFailure(stdout) + "\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    const int code = Execute(*options, stdout, stderr);
    EndByStopSignal();
    return code;
}
