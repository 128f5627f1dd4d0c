// Command line of the standalone simulated PLC.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "simulated_plc.h"

namespace plcsim {

struct ProgramOptions {
    PlcConfig plc;
    std::string imagePath;  // empty: no image to compare with
    bool exitAfterBurn = false;
    bool untilStarted = false;  // with exitAfterBurn: once the new firmware was asked
    std::optional<std::uint32_t> idleTimeoutSeconds;
    bool paceLine = false;           // the served line takes each byte's time, both ways
    std::uint32_t blockWriteUs = 0;  // on the served line, to the microsecond
    std::uint32_t eraseUnitUs = 0;
    bool lineFigures = false;  // print what the line saw at the end
    // The reply to the holdBlock-th block received comes holdMs later, so that a
    // tool's progress stands still there for a while (0: no hold).
    std::uint32_t holdBlock = 0;
    std::uint32_t holdMs = 0;
    bool help = false;
};

// Fills `options` from the arguments; on a bad argument returns false with `error` set.
bool ParseOptions(const std::vector<std::string>& args, ProgramOptions& options,
                  std::string& error);

const char* UsageText();

}  // namespace plcsim
