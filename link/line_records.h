// The fixed line settings and time-out records of the two link phases.
#pragma once

#include "link/link.h"

namespace norvane {

constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;

// Application firmware on a COM port: 9600 baud, 7E1.
constexpr LineSettings kApplicationLineSettings{9600, 7, Parity::Even, 1, true, true};
// Block transfer after UPDATE: 115200 baud, 8N1.
constexpr LineSettings kTransferLineSettings{115200, 8, Parity::None, 1, true, true};

// The wake burst only waits 200 ms for anything the PLC may echo back.
constexpr LinkTimeouts kWakeTimeouts{kMaxDword, 0, 200, 0, 200};
// Every other exchange gives the PLC 3 s to answer.
constexpr LinkTimeouts kExchangeTimeouts{kMaxDword, 0, 3000, 0, 3000};

}  // namespace norvane
