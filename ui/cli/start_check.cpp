#include "ui/cli/start_check.h"

#include <chrono>
#include <thread>

#include "burn/shared_values.h"
#include "line/run_image.h"
#include "line/start_proof.h"

namespace norvane::cli {

namespace {

using Clock = std::chrono::steady_clock;

// A serial PLC is asked this often until it answers after its power cycle.
constexpr std::chrono::milliseconds kAskPause{500};

}  // namespace

std::string SeeItStart(CliSurroundings& s, const Options& options, const std::string& port,
                       BurnListener& listener) {
    const bool usb = SelectedModel().linkKind == LinkKind::Usb;
    const int model = line::TheRunImage().modelIndex;
    const std::chrono::seconds limit(options.replugTimeoutSeconds + line::kStartGraceSeconds);
    const Clock::time_point deadline = Clock::now() + limit;
    const auto left = [&deadline] {
        return std::chrono::duration_cast<std::chrono::seconds>(deadline - Clock::now()).count();
    };
    line::PlcIdentity found;
    if (usb) {
        // The replug its success message asks for brings up the new firmware.
        listener.Waiting(line::WaitFor::Replug, left());
        if (!s.ports().AwaitReplug(limit, [&listener](std::int64_t secondsLeft) {
                listener.Waiting(line::WaitFor::Replug, secondsLeft);
            })) {
            return line::NotStartedText(line::StartSeen::Silent, found);
        }
        if (LinkPtr link = s.ports().OpenUsbPlc()) {
            found = line::IdentifyPlc(*link, true);
        }
        const line::StartSeen seen = line::JudgeStart(found, model);
        return seen == line::StartSeen::Running ? "" : line::NotStartedText(seen, found);
    }
    // A serial PLC answers in its bootloader until it is powered off: only a
    // bootloader that answers after a silence has restarted into it again.
    bool silenceSeen = false;
    line::StartSeen seen = line::StartSeen::Silent;
    while (Clock::now() < deadline) {
        listener.Waiting(line::WaitFor::PowerCycle, left());
        found = line::PlcIdentity{};
        if (LinkPtr link = s.ports().OpenSerial(port)) {
            found = line::IdentifyPlc(*link, false);
        }
        seen = line::JudgeStart(found, model);
        if (seen == line::StartSeen::Running) {
            return "";
        }
        if (seen == line::StartSeen::OtherType ||
            (seen == line::StartSeen::InBootloader && silenceSeen)) {
            break;
        }
        silenceSeen = silenceSeen || seen == line::StartSeen::Silent;
        std::this_thread::sleep_for(kAskPause);
    }
    return line::NotStartedText(seen, found);
}

}  // namespace norvane::cli
