// Several PLCs at once: one child process per PLC (the burn values are
// process-wide, so a process burns one PLC), each the ordinary terminal program
// writing its events as JSON lines, which this process gathers and draws.
#pragma once

#include "ui/cli/event_views.h"
#include "ui/cli/options.h"

namespace norvane::cli {

// Burns every port of `options` at once; 0 when every burn succeeded, 1 when any
// failed, 130 when interrupted (every burn is then ended).
int BurnSeveralPlcs(const Options& options, EventView& view);

}  // namespace norvane::cli
