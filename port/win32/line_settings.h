// Line settings of a COM port through the platform's device control block.
#pragma once

#include "link/link.h"
#include "port/win32/win32_headers.h"

namespace norvane {

// `current` with the six fields the tool sets (baud, data bits, parity, stop
// bits, DTR and RTS control) taken from `settings`; everything else is kept.
DCB DcbWith(const DCB& current, const LineSettings& settings);

// The platform's time-out record for the link's time-outs: a read returns at once
// with what has arrived once all asked for is there, and gives up `readMs` after it
// began; a write gives up after `writeMs`.
COMMTIMEOUTS CommTimeoutsFor(const LinkTimeouts& timeouts);

// Reads the port's state, changes the six fields and writes it back. A handle
// whose state cannot be read (the USB pipe) is left alone rather than given a
// record of zeros.
void ApplyLineSettingsTo(HANDLE handle, const LineSettings& settings);

}  // namespace norvane
