// The terminal's status line: what the window's status panel shows.
#pragma once

#include <cstdint>
#include <string>

#include "burn/flash_phase.h"

namespace norvane::cli {

struct StatusValues {
    std::int32_t elapsedTime;
    std::int32_t progress;
    std::int32_t flashStatus;
    std::int32_t errCounter;
    std::int32_t totalErrCounter;
};

// One line, e.g. "  12 s [##########----------]  50 % Erasing      errors 0/3".
std::string FormatStatusLine(const StatusValues& values);

// The plain line written once per phase change when there is no terminal.
std::string FormatPhaseLine(const StatusValues& values);

}  // namespace norvane::cli
