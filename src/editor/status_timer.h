#pragma once

#include <cstdint>

namespace kelvara {

inline constexpr char kRestingText[] = "Kelvaraを編集してください。";

// The counters behind the one-second status message timer. Whoever shows a message arms it;
// the tick that finds MesCount equal to MesLimit puts the resting text back and stops the
// timer, so a message stays for four ticks.
struct StatusTimer {
    std::int16_t MesCount = 0;
    std::int16_t MesLimit = 3;
    bool enabled = false;

    void Arm() {
        MesCount = 0;
        MesLimit = 3;
        enabled = true;
    }

    // One tick of the enabled timer; true when the label is to show kRestingText now (the
    // timer has then stopped itself).
    bool Tick() {
        const bool restore = MesCount == MesLimit;
        if (restore) {
            enabled = false;
        }
        MesCount = static_cast<std::int16_t>(MesCount + 1);
        return restore;
    }
};

}  // namespace kelvara
