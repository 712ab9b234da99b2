// The console of a Windows program: wide arguments, UTF-8 output, escape sequences, Ctrl+C.

#include <windows.h>
// After <windows.h>:
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <QString>

#include "files/file_system.h"
#include "files/windows_console.h"
#include "terminal.h"

namespace kelvara::cli {

namespace {

std::atomic<bool> stopRequested{false};

HANDLE ConsoleOf(std::FILE* stream) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
}

// Runs on a thread of its own that the system starts for the event. The first Ctrl+C stops the
// transfers; the second one, and a closed console window, are left to the system, which ends
// the program at once: once a save under way has finished, so that it leaves its file whole.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    const bool stop = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    if (stop && !stopRequested.exchange(true)) return TRUE;
    files::HoldSavesForEnd();
    RestoreConsoleCodePage();  // the system's end runs no exit handlers
    return FALSE;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) args.push_back(QString::fromWCharArray(wide[i]).toStdString());
    ::LocalFree(wide);
    return args;
}

void PrepareConsole() {
    UseUtf8Console();
    // Data files keep their CR LF line ends exactly; text mode would write CR CR LF.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    for (std::FILE* stream : {stdout, stderr}) {
        DWORD mode = 0;
        const HANDLE console = ConsoleOf(stream);
        if (::GetConsoleMode(console, &mode)) {
            ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        }
    }
}

// A console that draws escape sequences (Windows 10 and later); an older console, a pipe or a
// file gets one line per stage instead of bars drawn in place.
bool IsTerminal(std::FILE* stream) {
    DWORD mode = 0;
    return ::GetConsoleMode(ConsoleOf(stream), &mode) &&
           (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

TerminalSize SizeOf(std::FILE* stream) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(ConsoleOf(stream), &info)) return {};
    return {info.srWindow.Right - info.srWindow.Left + 1,
            info.srWindow.Bottom - info.srWindow.Top + 1};
}

int TerminalColumns(std::FILE* stream) { return SizeOf(stream).columns; }

// As on other systems: a descriptor of 0, 1 and 2 that has no file gets the null device, read
// only, so that nothing the program opens takes its place and writes to it fail.
void ReserveStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::_get_osfhandle(fd) >= 0) continue;  // -1 or -2: no file behind it
        const int opened = ::_open("NUL", _O_RDONLY);
        if (opened >= 0 && opened != fd) {
            ::_dup2(opened, fd);
            ::_close(opened);
        }
    }
}

void CatchStopSignals() { ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

const std::atomic<bool>& StopFlag() { return stopRequested; }

void IgnoreBrokenPipes() {}  // a broken pipe is a failed write on Windows already

void EndByStopSignal() {}

}  // namespace kelvara::cli
