#include "app/command_line.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "device/qt_ports.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace kelvara {

namespace {

constexpr char kUsage[] =
    "使い方: kelvara-editor [--list-ports | --help]\n"
    "\n"
    "Kelvara マシンのパターンと条件プレートのエディタです。オプションがなければウィンドウを\n"
    "開きます。\n"
    "\n"
    "  --list-ports  COM1〜COM9 がいまどのデバイスに当たるか（USB シリアルアダプタが先。\n"
    "                環境変数 KELVARA_COMn があれば COM n はそのデバイス）を表示して終了する\n"
    "  --help        この説明を表示して終了する\n";

}  // namespace

// On Windows the editor is a window program without a console of its own; its answers to
// options go to the console it was started from.
static void UseParentConsole() {
#if defined(_WIN32)
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        static_cast<void>(std::freopen("CONOUT$", "w", stdout));
    }
#endif
}

std::optional<int> HandleCommandLine(int argc, char** argv) {
    if (argc < 2) return std::nullopt;
    const std::string_view option = argv[1];
    if (option == "--list-ports" || option == "--help" || option == "-h") UseParentConsole();
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
