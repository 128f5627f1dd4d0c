// Counters of their own for exchanges that are not a burn (identifying a PLC,
// watching a serial port for one): the burn's panel never shows them.
#pragma once

#include <atomic>
#include <cstdint>

#include "link/exchange.h"

namespace norvane::line {

struct QuietPanel {
    std::atomic<std::int32_t> phase{0};
    std::atomic<std::int32_t> percent{0};
    std::atomic<std::int32_t> errors{0};
    std::atomic<std::int32_t> total{0};
    PanelCounters counters{phase, percent, errors, total, {}};
};

}  // namespace norvane::line
