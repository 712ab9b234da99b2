#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "files/windows_console.h"

namespace kelvara {

namespace {

std::atomic<UINT> originalCodePage{0};  // 0: nothing to put back

}  // namespace

void UseUtf8Console() {
    const UINT codePage = ::GetConsoleOutputCP();  // 0 without a console
    if (codePage == 0 || codePage == CP_UTF8 || !::SetConsoleOutputCP(CP_UTF8)) return;
    if (originalCodePage.exchange(codePage) == 0) std::atexit(RestoreConsoleCodePage);
}

void RestoreConsoleCodePage() {
    if (const UINT codePage = originalCodePage.exchange(0); codePage != 0) {
        ::SetConsoleOutputCP(codePage);
    }
}

}  // namespace kelvara
