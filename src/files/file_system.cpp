#include "files/file_system.h"

#include <array>
#include <atomic>
#include <chrono>
#include <random>
#include <string>

namespace kelvara::files {

namespace {

std::atomic<StepHook> stepHook{nullptr};

}  // namespace

std::filesystem::path TemporaryName(const std::filesystem::path& dir) {
    static std::atomic<unsigned> counter = 0;
    thread_local std::minstd_rand random(
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count() ^
                              std::random_device()() ^ ++counter));
    constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string leaf = ".kelvara-save-";
    for (int i = 0; i < 8; ++i) leaf += kLetters[random() % kLetters.size()];
    return dir / leaf;
}

}  // namespace kelvara::files

namespace kelvara {

bool IsWindowsDeviceName(std::string_view path) {
    std::string_view name = path.substr(path.find_last_of("/\\:") + 1);
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    std::string upper;
    for (const char c : name) upper += c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (upper == device) return true;
    }
    if (!upper.starts_with("COM") && !upper.starts_with("LPT")) return false;
    const std::string_view number = std::string_view(upper).substr(3);
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace kelvara

namespace kelvara::files {

void SetStepHook(StepHook hook) { stepHook.store(hook); }

int InjectedFailure(Step step) {
    const StepHook hook = stepHook.load();
    return hook == nullptr ? 0 : hook(step);
}

}  // namespace kelvara::files
