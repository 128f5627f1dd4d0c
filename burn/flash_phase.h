// The phases of a burn as the status panel shows them: the value of flashStatus
// and the word after "Status: ". Every view of a burn (the window's panel, the
// terminal's status line, the JSON events) names the phases with these words.
#pragma once

#include <cstdint>
#include <string_view>

namespace norvane {

constexpr std::int32_t kFlashIdle = 0;
constexpr std::int32_t kFlashErasing = 1;
constexpr std::int32_t kFlashProgramming = 2;

// "Idle", "Erasing", "Programming"; empty for any other value.
constexpr const char* PhaseWord(std::int32_t phase) {
    switch (phase) {
        case kFlashIdle:
            return "Idle";
        case kFlashErasing:
            return "Erasing";
        case kFlashProgramming:
            return "Programming";
        default:
            return "";
    }
}

// The phase a word names; Idle for a word that names none.
constexpr std::int32_t PhaseOfWord(std::string_view word) {
    for (const std::int32_t phase : {kFlashErasing, kFlashProgramming}) {
        if (word == PhaseWord(phase)) {
            return phase;
        }
    }
    return kFlashIdle;
}

}  // namespace norvane
