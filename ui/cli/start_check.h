// --verify: after a successful burn, the PLC's restart is waited for (its
// replug, or its power cycle) and the PLC asked, read-only, what it runs.
#pragma once

#include <string>

#include "ui/cli/cli_surroundings.h"
#include "ui/cli/options.h"

namespace norvane::cli {

// Empty when the PLC came back running the burnt model's application within
// the model's wait and a grace; otherwise why not, as its end says it.
std::string SeeItStart(CliSurroundings& surroundings, const Options& options,
                       const std::string& port, BurnListener& listener);

}  // namespace norvane::cli
