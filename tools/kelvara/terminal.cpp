#include "terminal.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

namespace kelvara::cli {

namespace {

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnStopSignal(int) { stopRequested.store(true); }

// The first failure of each stream written by Print: its errno.
std::mutex failuresMutex;
std::map<std::FILE*, int> failures;

int FailureOf(std::FILE* stream) {
    const std::lock_guard lock(failuresMutex);
    const auto found = failures.find(stream);
    return found == failures.end() ? 0 : found->second;
}

// The common reasons a write fails, in Japanese; the system's words follow them.
const char* JapaneseReason(int error) {
    switch (error) {
        case ENOSPC:
            return "空き容量がありません";
        case EBADF:
            return "出力先が閉じられています";
        case EPIPE:
            return "読み取る側が終了しています";
        case EIO:
            return "入出力エラーです（端末が閉じられた、など）";
        case EDQUOT:
            return "ディスク使用量の上限に達しました";
        case EFBIG:
            return "ファイルが大きすぎます";
        default:
            return nullptr;
    }
}

}  // namespace

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

bool Print(std::FILE* stream, const std::string& text) {
    if (FailureOf(stream) != 0) return false;
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    if (std::fflush(stream) == 0 && written && std::ferror(stream) == 0) return true;
    const int error = errno != 0 ? errno : EIO;
    const std::lock_guard lock(failuresMutex);
    failures.emplace(stream, error);
    return false;
}

std::string WriteFailure(std::FILE* stream) {
    const int error = FailureOf(stream);
    if (error == 0) return {};
    const char* japanese = JapaneseReason(error);
    const std::string system = std::strerror(error);
    return japanese ? std::string(japanese) + "（" + system + "）" : system;
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

}  // namespace kelvara::cli
