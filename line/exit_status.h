// The exit statuses of the terminal program and of each burn process, named
// once, and what a burn's status says about how it ended.
#pragma once

#include <cstdint>

namespace norvane::line {

constexpr int kExitSuccess = 0;        // every burn succeeded (--check: ready; --identify: told)
constexpr int kExitBurnFailed = 1;     // a burn ended with an ERROR message
constexpr int kExitUsage = 2;          // a usage error: nothing was burnt
constexpr int kExitInterrupted = 130;  // Ctrl-C, SIGTERM or a hang-up

// How a burn ended, as a count or a row tells it.
enum class BurnState : std::uint8_t { Done, Failed, Interrupted };

constexpr BurnState StateOfExit(int exitStatus) {
    return exitStatus == kExitSuccess       ? BurnState::Done
           : exitStatus == kExitInterrupted ? BurnState::Interrupted
                                            : BurnState::Failed;
}

}  // namespace norvane::line
