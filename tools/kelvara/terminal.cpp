#include "terminal.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace kelvara::cli {

namespace {

std::atomic<bool> stopRequested{false};
std::atomic<int> stopSignal{0};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

extern "C" void OnStopSignal(int signal) {
    stopSignal.store(signal);
    stopRequested.store(true);
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void PrepareConsole() {}

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

TerminalSize SizeOf(std::FILE* stream) {
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) != 0) return {};
    return {size.ws_col, size.ws_row};
}

int TerminalColumns(std::FILE* stream) { return SizeOf(stream).columns; }

void ReserveStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor is the one just found closed.
        const int opened = ::open("/dev/null", O_RDONLY);
        if (opened >= 0 && opened != fd) ::close(opened);
    }
}

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
}

const std::atomic<bool>& StopFlag() { return stopRequested; }

void IgnoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }

void EndByStopSignal() {
    const int signal = stopSignal.load();
    if (signal == 0) return;
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

}  // namespace kelvara::cli
