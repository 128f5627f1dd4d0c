#include "line/start_proof.h"

#include <algorithm>

namespace norvane::line {

StartSeen JudgeStart(const PlcIdentity& found, int modelIndex) {
    switch (found.mode) {
        case PlcIdentity::Mode::None:
            return StartSeen::Silent;
        case PlcIdentity::Mode::Bootloader:
            return StartSeen::InBootloader;
        case PlcIdentity::Mode::RunMode:
            // Its application runs its program: it started, and tells no type then.
            return StartSeen::Running;
        case PlcIdentity::Mode::Application:
            break;
    }
    const bool same =
        std::find(found.models.begin(), found.models.end(), modelIndex) != found.models.end();
    return same ? StartSeen::Running : StartSeen::OtherType;
}

std::string NotStartedText(StartSeen seen, const PlcIdentity& found) {
    const std::string head = "burnt, but it did not start: ";
    switch (seen) {
        case StartSeen::Silent:
            return head + "it did not answer after its restart";
        case StartSeen::InBootloader:
            return head + "it came back in its bootloader";
        case StartSeen::OtherType:
            return head + "it answers as " + DescribeIdentity(found);
        case StartSeen::Running:
            break;
    }
    return "";
}

}  // namespace norvane::line
