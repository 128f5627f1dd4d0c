// One soak burn, drawn from its seed: the model (and so the block size, erase rule
// and link kind), a small image, the PLC's configuration with a random fault plan,
// and trouble on the line. The same seed always gives the same burn.
#pragma once

#include <cstdint>
#include <string>

#include "line_trouble.h"
#include "simulated_plc.h"

namespace norvane::soak {

using test::LineTroublePlan;

struct SoakPlan {
    std::uint32_t seed = 0;
    int model = 0;  // catalogue index
    std::uint32_t imageSize = 0;
    plcsim::PlcConfig plc;
    LineTroublePlan trouble;
    bool registersDrawn = false;  // the variant registers are random, not the model's own
    std::string description;      // what was drawn, for a replay
};

SoakPlan MakePlan(std::uint32_t seed);

}  // namespace norvane::soak
