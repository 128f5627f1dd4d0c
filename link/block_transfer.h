// The firmware transfer: numbered blocks with a CRC, each acknowledged before the next.
#pragma once

#include "link/link.h"
#include "link/result_codes.h"

namespace norvane {

constexpr std::size_t kMaxBlockData = 256;
constexpr std::size_t kBlockOverhead = 5;  // STX, number, complement, CRC high, CRC low

// 0 when every block and the closing EOT were acknowledged; 0x16 when the PLC
// reported a flash write error; 0x10 when a block or the EOT ran out of attempts
// (or the image is shorter than the model's reserved tail).
ExchangeResult SendFW(Link& link);

}  // namespace norvane
