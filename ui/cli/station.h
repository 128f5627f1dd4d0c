// A station: runs until stopped, burning each PLC as it is plugged in. It watches
// the USB sockets where a PLC's own USB device may appear (all of them, or those
// --port names) and the serial ports --port names, starts a burn process for each
// PLC that arrives in an emptied socket, and takes the next unit there only once
// the socket has been emptied. A unit it knows by its USB serial number as burnt
// (in this session, or a success in the record) is never burnt twice. Everything
// it waits for is bounded.
#pragma once

#include "ui/cli/event_views.h"
#include "ui/cli/options.h"

namespace norvane::cli {

// 0 when every burn of the session succeeded, 1 when any failed, 130 when burns
// were interrupted.
int RunStation(const Options& options, EventView& view);

}  // namespace norvane::cli
