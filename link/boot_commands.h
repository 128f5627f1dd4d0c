// Exchanges with the PLC's bootloader before the firmware transfer.
#pragma once

#include "link/link.h"
#include "link/result_codes.h"

namespace norvane {

// 0 when the PLC reports the selected type; 0x10 otherwise or on no answer.
ExchangeResult CheckID_B(Link& link);

// 0 and QB_fu_version set; 0x10 (QB_fu_version untouched) on no answer.
ExchangeResult read_fu_version_B(Link& link);

// One "ERASE" per erase unit, then EOT: 0, or 0x10 when a unit or the EOT failed
// (or the image is shorter than the model's reserved tail).
ExchangeResult SendErase_B(Link& link);

// 0 once the PLC took "UPDATE" and the line runs at 115200 8N1; 0x10 otherwise.
ExchangeResult SendUpdate(Link& link);

}  // namespace norvane
