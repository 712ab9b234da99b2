// Writes to standard output and error that are checked, the same on every system.

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "terminal.h"

namespace kelvara::cli {

namespace {

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
#if defined(EDQUOT)
        case EDQUOT:
            return "ディスク使用量の上限に達しました";
#endif
        case EFBIG:
            return "ファイルが大きすぎます";
        default:
            return nullptr;
    }
}

}  // namespace

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

}  // namespace kelvara::cli
