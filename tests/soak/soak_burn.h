// One soak burn run in this process: the tool's burn sequence against the simulated
// PLC on a virtual clock, and what came of it.
#pragma once

#include <string>
#include <vector>

#include "soak_plan.h"

namespace norvane::soak {

struct BurnReport {
    bool success = false;  // the burn sequence reported success
    bool flashHoldsImage = false;
    int finalMessages = 0;              // messages that end a burn (prompts are not)
    bool lastIsFinal = false;           // the last message shown was the final one
    bool successMessage = false;        // the final message is a success message
    bool linkClosed = false;            // nothing left open at the end
    std::string finalMessage;           // the last final message, as caption: text
    std::vector<std::string> messages;  // every message, in order
    std::uint64_t virtualMs = 0;        // how long the burn took on the virtual clock
    bool survivable = false;            // the protocol can come through this burn's trouble
    std::string notSurvivable;          // why not
};

BurnReport RunBurn(const SoakPlan& plan);

}  // namespace norvane::soak
