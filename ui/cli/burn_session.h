// One PLC burnt by this process: the burn worker on its thread, the status panel's
// two timers, the events, the record.
#pragma once

#include <string>

#include "ui/cli/console.h"
#include "ui/cli/event_views.h"
#include "ui/cli/options.h"

namespace norvane::cli {

constexpr int kExitSuccess = 0;
constexpr int kExitBurnFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

// What an interrupted burn ends with, after the caption "Interrupted".
constexpr const char* kCaptionInterrupted = "Interrupted";
constexpr const char* kInterruptedAfterErase =
    "the erase had begun, the PLC must be burned again before it can run";
constexpr const char* kInterruptedBeforeErase = "nothing was erased";
constexpr const char* kInterruptedInBootloader =
    "nothing was erased, but the PLC waits in its bootloader and must be burned before it runs "
    "again";

// Burns the PLC on `port` (empty: the port the window would choose) and returns
// the exit status. Prompts are asked on `console` unless --yes answers them.
int BurnOnePlc(const Options& options, const std::string& port, Console& console, EventView& view);

}  // namespace norvane::cli
