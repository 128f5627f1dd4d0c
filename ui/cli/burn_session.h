// One PLC burnt by this process: the burn worker on its thread, the status panel's
// two timers, the events, the record.
#pragma once

#include <string>

#include "ui/cli/console.h"
#include "ui/cli/event_views.h"
#include "ui/cli/options.h"

namespace norvane::cli {

// How a burn in this process ended: its exit status, and whether its thread was
// left where it was (interrupted), so that the process must end now without
// waiting for it.
struct BurnResult {
    int exitStatus;
    bool threadLeft;
};

// Burns the PLC on `port` (empty: the port the window would choose). Prompts are
// asked on `console` unless --yes answers them.
BurnResult BurnOnePlc(const Options& options, const std::string& port, Console& console,
                      EventView& view);

}  // namespace norvane::cli
