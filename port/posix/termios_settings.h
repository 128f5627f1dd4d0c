// Building the terminal settings of a serial line from the link's line-settings
// record. Pure functions over records, so the result can be checked without a
// serial port (a pseudo-terminal keeps 8 data bits and no parity whatever it is
// asked).
#pragma once

#include <termios.h>

#include <optional>

#include "link/link.h"

namespace norvane::posix {

// The termios speed constant for a baud rate, or nothing when the rate is not
// one the platform names.
std::optional<speed_t> SpeedForBaud(std::uint32_t baudRate);

// Turns the line into a plain byte stream: no echo, no line editing, no CR/LF
// translation, no signals, no software or hardware flow control, receiver on,
// modem status lines ignored. A read with nothing waiting reports "try again"
// rather than end of file. Speed and character format stay as they were.
void MakeRaw(termios& record);

// The port's current record with the raw byte-stream flags and the speed,
// data bits, parity and stop bits of `settings`. A speed, data-bit count or
// stop-bit count the platform cannot express leaves that field as it was.
termios BuildTermios(const termios& current, const LineSettings& settings);

// The modem control lines to drop and to raise for `settings`.
struct ModemLineChange {
    int clear = 0;  // TIOCM_* bits for TIOCMBIC
    int set = 0;    // TIOCM_* bits for TIOCMBIS
};
ModemLineChange ModemLinesFor(const LineSettings& settings);

}  // namespace norvane::posix
