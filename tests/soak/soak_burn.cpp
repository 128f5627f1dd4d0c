#include "soak_burn.h"

#include "burn/burn_messages.h"
#include "burn/burn_sequence.h"
#include "burn/shared_values.h"
#include "fake_surroundings.h"
#include "survivable.h"
#include "test_image.h"
#include "virtual_clock.h"

namespace norvane::soak {

namespace {

bool IsPrompt(const std::string& text) {
    return text == kMsgReplug || text == kMsgPowerCycle;
}

// What the user saw, as the soak tells it: every message, and of the final ones
// (prompts are not) how many, the last and whether it spoke of success.
void TellMessages(const std::vector<test::ShownMessage>& shown, BurnReport& report) {
    for (const test::ShownMessage& m : shown) {
        report.messages.push_back(m.caption + ": " + m.text);
        if (IsPrompt(m.text)) {
            continue;
        }
        ++report.finalMessages;
        report.finalMessage = report.messages.back();
        report.successMessage = m.text == kMsgUsbSuccess || m.text == kMsgSerialSuccess;
    }
    report.lastIsFinal = !shown.empty() && !IsPrompt(shown.back().text);
}

}  // namespace

BurnReport RunBurn(const SoakPlan& plan) {
    SelectModel(plan.model);
    ResetBurnValues();
    QB_fu_version = 0;
    const PlcModel& model = SelectedModel();
    selectedComPort.Set(model.linkKind == LinkKind::Usb ? "USB" : "COM3");
    // The plan's seed picks the image too, so that a replay burns the same bytes.
    const std::vector<std::uint8_t> image = plcsim::TestImage(plan.imageSize, plan.seed);
    test::VirtualClock clock;
    plcsim::SimulatedPlc plc(plan.plc);
    test::FakeSurroundings surroundings(plc, clock, image);
    surroundings.line = test::LineTrouble(plan.trouble);
    const BurnOutcome outcome = StartBurn(surroundings);

    BurnReport report;
    TellMessages(surroundings.messages, report);
    report.success = outcome == BurnOutcome::Success;
    report.flashHoldsImage = plc.FlashHoldsImage(image.data(), image.size());
    report.linkClosed = !plc.LinkOpen();
    report.virtualMs = clock.Now();
    const Verdict verdict = JudgeBurn(plan, plc.Requests(), plc.NoiseHits());
    report.survivable = verdict.survivable;
    report.notSurvivable = verdict.why;
    return report;
}

}  // namespace norvane::soak
