// The burn worker's surroundings in tests and in the soak: ports open onto an
// in-process simulated PLC through the line's trouble, sleeps pass on the virtual
// clock, every prompt is answered at once, and every message, button change, sleep
// and open is recorded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "burn/surroundings.h"
#include "line_trouble.h"
#include "simulated_plc.h"
#include "virtual_clock.h"

namespace norvane::test {

struct ShownMessage {
    std::string text;
    std::string caption;
    MessageIcon icon;
    std::int32_t failedAttempts;  // the panel's total as the message came
};

class FakeSurroundings : public WorkerSurroundings {
  public:
    // `image` is what LoadImage hands out; it must outlive the surroundings.
    FakeSurroundings(plcsim::SimulatedPlc& plc, VirtualClock& clock,
                     const std::vector<std::uint8_t>& image)
        : plc_(plc), clock_(clock), image_(image) {}

    // What the burn did.
    std::vector<ShownMessage> messages;
    std::vector<bool> buttonStates;
    int timerStops = 0;
    std::vector<std::uint32_t> sleeps;
    std::vector<std::string> comPortsOpened;
    std::vector<std::string> pipesOpened;  // the suffix of each USB pipe opened
    int imagesReleased = 0;

    // What the test arranges.
    int opensToFail = 0;    // the next opens fail
    int failOpensFrom = 0;  // from this open on (1-based) every open fails; 0: never
    bool imageLoads = true;
    std::string portPickedDuringPrompt;  // the user picks this port while a prompt is up
    LineTrouble line;  // every link opened goes through it, and so does every open

    void ShowMessage(const std::string& text, const char* caption, MessageIcon icon) override;
    void StopElapsedTimer() override { ++timerStops; }
    void EnableStartButton(bool enabled) override { buttonStates.push_back(enabled); }
    void Sleep(std::uint32_t ms) override;
    LinkPtr OpenComPort(const std::string& name) override;
    LinkPtr OpenMyDevPipe(const char* suffix) override;
    bool LoadImage(FirmwareImage& image) override;
    void ReleaseImage() override { ++imagesReleased; }

    int opens() const { return static_cast<int>(pipesOpened.size() + comPortsOpened.size()); }

  private:
    void Tick();
    LinkPtr Open();

    plcsim::SimulatedPlc& plc_;
    VirtualClock& clock_;
    const std::vector<std::uint8_t>& image_;
};

}  // namespace norvane::test
