// The proof that a burn took: once the PLC has restarted after its burn (the
// replug of a USB PLC, the power cycle of a serial one), it must answer in its
// application with the type of the model burnt. Asked with the requests that
// identify a PLC, which only read, after the burn has ended.
#pragma once

#include <string>

#include "line/identify.h"

namespace norvane::line {

// Time the PLC has, beyond the model's own wait for its restart, to come back.
constexpr int kStartGraceSeconds = 10;

enum class StartSeen {
    Running,       // its application, of the model burnt
    Silent,        // nothing answered (it is off, or still restarting)
    InBootloader,  // the new firmware did not start
    OtherType,     // something else answers there
};

StartSeen JudgeStart(const PlcIdentity& found, int modelIndex);

// Why a PLC did not start, for its end message: "burnt, but it did not start: ...".
std::string NotStartedText(StartSeen seen, const PlcIdentity& found);

}  // namespace norvane::line
