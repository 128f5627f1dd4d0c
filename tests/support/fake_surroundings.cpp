#include "fake_surroundings.h"

#include <memory>

#include "burn/shared_values.h"
#include "plc_end.h"

namespace norvane::test {

void FakeSurroundings::ShowMessage(const std::string& text, const char* caption, MessageIcon icon) {
    Tick();
    messages.push_back({text, caption, icon, totalErrCounter.load()});
    if (!portPickedDuringPrompt.empty()) {
        selectedComPort.Set(portPickedDuringPrompt);
    }
}

void FakeSurroundings::Sleep(std::uint32_t ms) {
    Tick();
    sleeps.push_back(ms);
    clock_.Advance(ms);
}

LinkPtr FakeSurroundings::OpenComPort(const std::string& name) {
    comPortsOpened.push_back(name);
    return Open();
}

LinkPtr FakeSurroundings::OpenMyDevPipe(const char* suffix) {
    pipesOpened.push_back(suffix);
    return Open();
}

bool FakeSurroundings::LoadImage(FirmwareImage& image) {
    Tick();
    if (!imageLoads) {
        return false;
    }
    image = FirmwareImage{image_.data(), static_cast<std::uint32_t>(image_.size())};
    return true;
}

// The window's elapsed-time timer counts on while the burn runs, until the worker
// stops it; here it ticks at each step of the burn instead of each second.
void FakeSurroundings::Tick() {
    if (timerStops == 0) {
        elapsedTime.fetch_add(1);
    }
}

LinkPtr FakeSurroundings::Open() {
    Tick();
    if (line.Other()) {
        return nullptr;  // the device is gone: nothing to open
    }
    if (opensToFail > 0) {
        --opensToFail;
        return nullptr;
    }
    if (failOpensFrom != 0 && opens() >= failOpensFrom) {
        return nullptr;
    }
    auto link = std::make_unique<SimLink>(clock_, PlcEnd(plc_));
    link->ShareTrouble(line);
    return link;
}

}  // namespace norvane::test
