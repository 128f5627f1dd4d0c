// One burn of the tool against the in-process simulated PLC, with what the
// user saw and what the PLC received.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "burn/burn_sequence.h"
#include "burn/shared_values.h"
#include "fake_surroundings.h"
#include "test_image.h"

namespace norvane::test {

struct BurnRig {
    VirtualClock clock;
    std::vector<std::uint8_t> image;
    std::unique_ptr<plcsim::SimulatedPlc> plc;
    std::unique_ptr<FakeSurroundings> surroundings;
    BurnOutcome outcome = BurnOutcome::Failed;

    BurnRig(const char* model, std::uint32_t imageSize,
            const std::function<void(plcsim::PlcConfig&)>& tweak = {}) {
        SelectModel(FindModel(model));
        ResetBurnValues();
        QB_fu_version = 0;
        image = plcsim::TestImage(imageSize);
        plcsim::PlcConfig config;
        config.model = model;
        if (tweak)
            tweak(config);
        plc = std::make_unique<plcsim::SimulatedPlc>(config);
        surroundings = std::make_unique<FakeSurroundings>(*plc, clock, image);
        selectedComPort.Set(SelectedModel().linkKind == LinkKind::Usb ? "USB" : "COM3");
    }

    BurnOutcome Run() {
        outcome = StartBurn(*surroundings);
        for (const std::string& suffix : surroundings->pipesOpened) {
            EXPECT_EQ(suffix, "");  // the PLC's own USB pipe, never another
        }
        return outcome;
    }

    const ShownMessage& Final() const { return surroundings->messages.back(); }

    std::size_t Requests(plcsim::Exchange kind) const { return plc->CountRequests(kind); }

    bool FlashHoldsImage() const { return plc->FlashHoldsImage(image.data(), image.size()); }

    // The end of every burn: values back to 0, button enabled, link closed, image released.
    void ExpectEndOfBurn() const {
        EXPECT_FALSE(surroundings->buttonStates.empty());
        if (!surroundings->buttonStates.empty()) {
            EXPECT_TRUE(surroundings->buttonStates.back());
        }
        EXPECT_FALSE(plc->LinkOpen());
        EXPECT_EQ(surroundings->imagesReleased, surroundings->imageLoads ? 1 : 0);
        EXPECT_EQ(fin, nullptr);
        EXPECT_EQ(elapsedTime.load(), 0);
        EXPECT_EQ(flashStatus.load(), 0);
        EXPECT_EQ(progress.load(), 0);
        EXPECT_EQ(errCounter.load(), 0);
        EXPECT_EQ(totalErrCounter.load(), 0);
        EXPECT_GE(surroundings->timerStops, 1);
    }
};

}  // namespace norvane::test
