#include "soak_burn.h"

#include <memory>

#include "burn/burn_messages.h"
#include "burn/burn_sequence.h"
#include "burn/shared_values.h"
#include "plc_end.h"
#include "survivable.h"
#include "test_image.h"
#include "virtual_clock.h"

namespace norvane::soak {

namespace {

bool IsPrompt(const std::string& text) {
    return text == kMsgReplug || text == kMsgPowerCycle;
}

// The burn's surroundings: the user answers every prompt at once, sleeps pass on the
// virtual clock, and ports open onto the simulated PLC through the line's trouble.
class SoakSurroundings : public WorkerSurroundings {
  public:
    SoakSurroundings(plcsim::SimulatedPlc& plc, test::VirtualClock& clock,
                     const std::vector<std::uint8_t>& image, const LineTroublePlan& trouble)
        : plc_(plc), clock_(clock), image_(image), trouble_(trouble) {}

    void ShowMessage(const std::string& text, const char* caption, MessageIcon) override {
        report.messages.push_back(std::string(caption) + ": " + text);
        if (IsPrompt(text)) {
            return;
        }
        ++report.finalMessages;
        report.finalMessage = report.messages.back();
        report.successMessage = text == kMsgUsbSuccess || text == kMsgSerialSuccess;
    }
    void StopElapsedTimer() override {}
    void EnableStartButton(bool) override {}
    void Sleep(std::uint32_t ms) override { clock_.Advance(ms); }
    LinkPtr OpenComPort(const std::string&) override { return Open(); }
    LinkPtr OpenMyDevPipe(const char*) override { return Open(); }
    bool LoadImage(FirmwareImage& image) override {
        image = FirmwareImage{image_.data(), static_cast<std::uint32_t>(image_.size())};
        return true;
    }
    void ReleaseImage() override {}

    BurnReport report;

  private:
    LinkPtr Open() {
        if (trouble_.Other()) {
            return nullptr;  // the device is gone: nothing to open
        }
        auto link = std::make_unique<test::SimLink>(clock_, test::PlcEnd(plc_));
        link->ShareTrouble(trouble_);
        return link;
    }

    plcsim::SimulatedPlc& plc_;
    test::VirtualClock& clock_;
    const std::vector<std::uint8_t>& image_;
    test::LineTrouble trouble_;
};

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
    SoakSurroundings surroundings(plc, clock, image, plan.trouble);
    const BurnOutcome outcome = StartBurn(surroundings);

    BurnReport report = surroundings.report;
    report.success = outcome == BurnOutcome::Success;
    report.flashHoldsImage = plc.FlashHoldsImage(image.data(), image.size());
    report.lastIsFinal =
        !report.messages.empty() &&
        !IsPrompt(report.messages.back().substr(report.messages.back().find(": ") + 2));
    report.linkClosed = !plc.LinkOpen();
    report.virtualMs = clock.Now();
    const Verdict verdict = JudgeBurn(plan, plc.Requests(), plc.NoiseHits());
    report.survivable = verdict.survivable;
    report.notSurvivable = verdict.why;
    return report;
}

}  // namespace norvane::soak
