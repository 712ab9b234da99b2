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

void SetStepHook(StepHook hook) { stepHook.store(hook); }

int InjectedFailure(Step step) {
    const StepHook hook = stepHook.load();
    return hook == nullptr ? 0 : hook(step);
}

}  // namespace kelvara::files
