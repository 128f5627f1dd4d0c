// The burn worker's surroundings in tests: ports open onto an in-process
// simulated PLC, sleeps pass on the virtual clock, and every message, button
// change and timer stop is recorded.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "burn/surroundings.h"
#include "plc_end.h"

namespace norvane::test {

struct ShownMessage {
    std::string text;
    std::string caption;
    MessageIcon icon;
};

class FakeSurroundings : public WorkerSurroundings {
  public:
    FakeSurroundings(plcsim::SimulatedPlc& plc, VirtualClock& clock,
                     std::vector<std::uint8_t> image)
        : plc_(plc), clock_(clock), image_(std::move(image)) {}

    std::vector<ShownMessage> messages;
    std::vector<bool> buttonStates;
    int timerStops = 0;
    std::vector<std::uint32_t> sleeps;
    std::vector<std::string> comPortsOpened;
    int usbOpens = 0;
    int opensToFail = 0;    // the next opens fail
    int failOpensFrom = 0;  // from this open on (1-based) every open fails; 0: never
    bool imageLoads = true;
    int imagesReleased = 0;
    std::string portPickedDuringPrompt;  // the user picks this port while a prompt is up

    void ShowMessage(const std::string& text, const char* caption, MessageIcon icon) override {
        Tick();
        messages.push_back({text, caption, icon});
        if (!portPickedDuringPrompt.empty()) {
            selectedComPort.Set(portPickedDuringPrompt);
        }
    }
    void StopElapsedTimer() override { ++timerStops; }
    void EnableStartButton(bool enabled) override { buttonStates.push_back(enabled); }
    void Sleep(std::uint32_t ms) override {
        Tick();
        sleeps.push_back(ms);
        clock_.Advance(ms);
    }
    LinkPtr OpenComPort(const std::string& name) override {
        comPortsOpened.push_back(name);
        return Open();
    }
    LinkPtr OpenMyDevPipe(const char* suffix) override {
        ++usbOpens;
        EXPECT_STREQ(suffix, "");
        return Open();
    }
    bool LoadImage(FirmwareImage& image) override {
        Tick();
        if (!imageLoads)
            return false;
        image = FirmwareImage{image_.data(), static_cast<std::uint32_t>(image_.size())};
        return true;
    }
    void ReleaseImage() override { ++imagesReleased; }

    int opens() const { return usbOpens + static_cast<int>(comPortsOpened.size()); }

  private:
    // The window's elapsed-time timer counts on while the burn runs, until the
    // worker stops it; here it ticks at each step of the burn instead of each second.
    void Tick() {
        if (timerStops == 0) {
            elapsedTime.fetch_add(1);
        }
    }

    LinkPtr Open() {
        Tick();
        if (opensToFail > 0) {
            --opensToFail;
            return nullptr;
        }
        if (failOpensFrom != 0 && opens() >= failOpensFrom) {
            return nullptr;
        }
        return std::make_unique<SimLink>(clock_, PlcEnd(plc_));
    }

    plcsim::SimulatedPlc& plc_;
    VirtualClock& clock_;
    std::vector<std::uint8_t> image_;
};

}  // namespace norvane::test
