// A soak burn in a child process of its own, so that a burn that crashes or hangs is
// counted instead of ending the soak.
#pragma once

#include "soak_burn.h"
#include "soak_plan.h"

namespace norvane::soak {

enum class Ending { Finished, Crashed, Hung };

struct IsolatedBurn {
    Ending ending = Ending::Crashed;
    std::string how;  // for a crash: the signal or exit status
    BurnReport report;
};

IsolatedBurn RunIsolated(const SoakPlan& plan, int wallLimitSeconds);

}  // namespace norvane::soak
