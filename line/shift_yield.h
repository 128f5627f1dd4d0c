// Each socket's yield over the shift (the last kShiftHours), as the record
// database counts it across the station's restarts: for its page.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace norvane::line {

constexpr int kShiftHours = 8;

struct SocketShift {
    std::int64_t done = 0;
    std::int64_t failed = 0;
    std::int64_t setAside = 0;
};
using ShiftYields = std::map<std::string, SocketShift>;  // by socket

}  // namespace norvane::line
