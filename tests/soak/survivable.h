// Whether the protocol can come through a soak burn's trouble within its own rules.
//
// Survivable is transient trouble: noise, a garbled, lower-case, partial or late
// (within the read time-out) reply, stray bytes ahead of one, a lost acknowledgement, a NAK, a
// failed write or no reply at all, fewer than six times in a row on one exchange or block, and a
// line that comes back within five operations. Not survivable is what ends a burn by design (a PLC
// in run mode, write-protected, of another type or variant, an image the model refuses, a PLC that
// never hands over, a line lost for good), a sixth failure in a row, a reply later than the read
// time-out (it arrives while the tool waits for the next reply, and nothing in it says which
// request it answers), and trouble the PLC cannot take back: a lost acknowledgement of "UPDATE"
// (the PLC has turned to the transfer), any fault on the erase of a model that gives each unit a
// single attempt, a reply that reads as a flash write error, a mode or version the PLC misreports.
//
// Every survivable burn must succeed with the flash equal to the image.
#pragma once

#include <string>
#include <vector>

#include "simulated_plc.h"
#include "soak_plan.h"

namespace norvane::soak {

struct Verdict {
    bool survivable = true;
    std::string why;  // what makes it not survivable
};

// What the plan drew, judged before the burn.
Verdict JudgePlan(const SoakPlan& plan);

// The plan's verdict, with what the noisy line did during the burn.
Verdict JudgeBurn(const SoakPlan& plan, const std::vector<plcsim::RequestRecord>& requests,
                  const std::vector<plcsim::NoiseHit>& noise);

}  // namespace norvane::soak
