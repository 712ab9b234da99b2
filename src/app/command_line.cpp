#include "app/command_line.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "device/qt_ports.h"

#if defined(_WIN32)
#include <windows.h>

#include "files/windows_console.h"
#else
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

#ifndef KELVARA_VERSION
#define KELVARA_VERSION "unknown"
#endif

namespace kelvara {

namespace {

constexpr char kUsage[] =
    "使い方: kelvara-editor [ファイル]\n"
    "       kelvara-editor --list-ports | --help | --version\n"
    "\n"
    "Kelvara マシンのパターンと条件プレートのエディタです。オプションがなければウィンドウを\n"
    "開きます。ファイルを指定すると、「開く」で選んだときと同じようにそのファイルを開きます。\n"
    "\n"
    "  --list-ports  COM1〜COM9 がいまどのデバイスに当たるか（USB シリアルアダプタが先。\n"
    "                環境変数 KELVARA_COMn があれば COM n はそのデバイス）を表示して終了する\n"
    "  --help        この説明を表示して終了する\n"
    "  --version     版を表示して終了する\n";

}  // namespace

// On Windows the editor is a window program without a console of its own: its answers to
// options go where its standard output was sent (a file, a pipe), or else to the console it was
// started from, switched to UTF-8 while the editor writes to it.
static void UseParentConsole() {
#if defined(_WIN32)
    const auto given = [](DWORD which) {
        const HANDLE handle = ::GetStdHandle(which);
        return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
               ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
    };
    const bool output = given(STD_OUTPUT_HANDLE);
    const bool errors = given(STD_ERROR_HANDLE);
    if ((!output || !errors) && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (!output) static_cast<void>(std::freopen("CONOUT$", "w", stdout));
        if (!errors) static_cast<void>(std::freopen("CONOUT$", "w", stderr));
    }
    UseUtf8Console();
#endif
}

// Standard output closed: /dev/null, read only, in its place, so that no device the port list
// opens takes it and the table's writes fail as they should.
static void ReserveStandardOutput() {
#if !defined(_WIN32)
    if (::fcntl(STDOUT_FILENO, F_GETFD) == -1 && errno == EBADF) {
        const int fd = ::open("/dev/null", O_RDONLY);
        if (fd >= 0 && fd != STDOUT_FILENO) ::close(fd);
    }
#endif
}

// Writes text to standard output; a write that fails is reported on standard error and gives
// the exit code 1.
static int Answer(const std::string& text) {
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    if (std::fflush(stdout) == 0 && written && std::ferror(stdout) == 0) return 0;
    const int error = errno != 0 ? errno : EIO;
    std::fprintf(stderr, "kelvara-editor: 標準出力に書き込めませんでした: %s\n",
                 std::strerror(error));
    return 1;
}

std::optional<int> HandleCommandLine(int argc, char** argv) {
#if !defined(_WIN32)
    // An answer into a pipe whose reader has gone is a failed write, not the end of the program.
    ::signal(SIGPIPE, SIG_IGN);
#endif
    if (argc < 2) return std::nullopt;
    const std::string_view option = argv[1];
    if (option == "--list-ports" || option == "--help" || option == "-h" || option == "--version") {
        UseParentConsole();
        ReserveStandardOutput();
    }
    if (argc == 2 && option == "--version") {
        return Answer(std::string("kelvara-editor ") + KELVARA_VERSION + "\n");
    }
    if (argc == 2 && option == "--list-ports") {
        std::string table;
        for (const std::string& line : SystemPortTable()) table += line + "\n";
        return Answer(table);
    }
    if (argc == 2 && (option == "--help" || option == "-h")) {
        return Answer(kUsage);
    }
    // Anything else is left to the window toolkit, which takes options of its own (-platform,
    // -style, ...) and passes over what it does not know.
    return std::nullopt;
}

std::optional<std::string> FileToOpen(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument.isEmpty() || argument.startsWith(QLatin1Char('-'))) continue;
        return QDir::toNativeSeparators(QFileInfo(argument).absoluteFilePath()).toStdString();
    }
    return std::nullopt;
}

}  // namespace kelvara
