// The terminal's status line: what the window's status panel shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "burn/flash_phase.h"
#include "line/panel_events.h"

namespace norvane::cli {

using StatusValues = line::PanelValues;

// One line, e.g. "  12 s [##########----------]  50 % Erasing      errors 0/3",
// with `detail` (the time left) after it. Given the columns it may take (0:
// any), the bar shrinks first, down to ten characters, then goes, and then the
// counters go.
std::string FormatStatusLine(const StatusValues& values, std::size_t columns = 0,
                             const std::string& detail = "");

// The line while the burn waits: "   4 s  PLC restarting: 2 s  errors 0/0".
std::string FormatWaitLine(const StatusValues& values, const std::string& wait);

// The plain line written once per phase change when there is no terminal.
std::string FormatPhaseLine(const StatusValues& values);

// `line` cut to `columns` characters (0: not cut).
std::string FitTo(const std::string& line, std::size_t columns);

// The parts that are not empty, two spaces apart.
std::string Joined(const std::vector<std::string>& parts);

// The first of `lines` (the fullest first) that fits `columns` (0: any), else
// the last one cut to fit.
std::string FirstThatFits(const std::vector<std::string>& lines, std::size_t columns);

}  // namespace norvane::cli
