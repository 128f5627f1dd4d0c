// Several PLCs at once: a burn process per PLC, under the one supervisor, their
// events passed on as they come, Ctrl-C and a hang-up passed on to every burn.
#pragma once

#include <string>
#include <vector>

#include "line/burn_supervisor.h"
#include "line/controls.h"
#include "line/event_pump.h"

namespace norvane::line {

// Burns every one of `ports` at once; 0 when every burn succeeded, 1 when any
// failed, 130 when interrupted (every burn is then ended).
int BurnSeveralPlcs(const std::vector<std::string>& ports, Supervisor& supervisor, EventSink& sink,
                    Controls& controls);

}  // namespace norvane::line
