// How each kind of PLC gets from its application into its bootloader.
#include <gtest/gtest.h>

#include "plc_end.h"
#include "sim_flash.h"
#include "sim_test_util.h"

namespace plcsim {
namespace {

using testing::Crlf;
using testing::Send;
using testing::Take;

const std::string kEraseRequest = Crlf(":006401594552415345D2");
const std::string kConfirm = Crlf(":00640159063C");

struct HandoverCase {
    const char* model;
    bool silent;
    PlcMode waiting;  // where the erase request (and confirmation) leave it
};

TEST(Handover, EachModelWaitsForItsOwnKindOfRestart) {
    const HandoverCase cases[] = {
        {"NR4", false, PlcMode::Restarting},        {"TQ7P-AIO", false, PlcMode::Restarting},
        {"QB7", false, PlcMode::AwaitingReplug},    {"PVW", false, PlcMode::AwaitingReplug},
        {"MR7-K-V2", true, PlcMode::AwaitingPower}, {"MR7-K-V4", true, PlcMode::AwaitingPower},
        {"TQ7-ROV", true, PlcMode::AwaitingPower},
    };
    for (const HandoverCase& c : cases) {
        PlcConfig config;
        config.model = c.model;
        SimulatedPlc plc(config);
        const std::string unit = plc.Model().unitByte == 0x5B
                                     ? Crlf(":0064015B4552415345D0") + Crlf(":0064015B063A")
                                     : kEraseRequest + kConfirm;
        Send(plc, unit);
        EXPECT_EQ(Take(plc).empty(), c.silent) << c.model;
        EXPECT_EQ(plc.Mode(), c.waiting) << c.model;
        // Deaf while it waits.
        Send(plc, "ID", 100);
        EXPECT_EQ(Take(plc, 100), "") << c.model;
    }
}

TEST(Handover, InPlaceRestartTakesTheRestartDelay) {
    PlcConfig config;
    config.model = "NR4";
    config.restartDelayMs = 800;
    SimulatedPlc plc(config);
    Send(plc, kEraseRequest + kConfirm, 1000);
    plc.AdvanceTo(1799);
    EXPECT_EQ(plc.Mode(), PlcMode::Restarting);
    plc.AdvanceTo(1800);
    EXPECT_EQ(plc.Mode(), PlcMode::Bootloader);
}

TEST(Handover, ClosingAndReopeningTheLinkIsTheReplug) {
    PlcConfig config;
    config.model = "QB7";
    SimulatedPlc plc(config);
    norvane::test::VirtualClock clock;
    auto link = std::make_unique<norvane::test::SimLink>(clock, norvane::test::PlcEnd(plc));
    Send(plc, kEraseRequest + kConfirm);
    link.reset();
    clock.Advance(5000);
    EXPECT_EQ(plc.Mode(), PlcMode::AwaitingReplug);
    link = std::make_unique<norvane::test::SimLink>(clock, norvane::test::PlcEnd(plc));
    EXPECT_EQ(plc.Mode(), PlcMode::Bootloader);
}

TEST(Handover, WithoutReopenAsReconnectOnlyTheRightActionHelps) {
    PlcConfig config;
    config.model = "MR7-K-V2";
    config.reopenIsReconnect = false;
    SimulatedPlc plc(config);
    plc.OnLinkOpened(0);
    Send(plc, kEraseRequest);
    plc.OnLinkClosed(10);
    plc.OnLinkOpened(20);
    plc.Replug();  // a serial PLC does not care about a cable replug
    EXPECT_EQ(plc.Mode(), PlcMode::AwaitingPower);
    plc.PowerCycle();
    EXPECT_EQ(plc.Mode(), PlcMode::Bootloader);
}

TEST(Handover, NewConnectionRestartsTheBootloaderConversation) {
    PlcConfig config;
    config.model = "NR4";
    config.initialMode = PlcMode::Bootloader;
    SimulatedPlc plc(config);
    plc.OnLinkOpened(0);
    Send(plc, "ERASE\x04UPDATE");
    plc.OnLinkClosed(10);
    plc.OnLinkOpened(20);
    Take(plc);
    // Back to command words: a new burn erases from the first unit again.
    Send(plc, "ERASE", 30);
    EXPECT_EQ(Take(plc, 30), "\x06");
    EXPECT_EQ(plc.FlashState().ErasedBytes(), 2048u);
}

TEST(Handover, AReopenedLineLeavesTheBurntImageUntilTheNextErase) {
    SimFlash flash(4096, 1024);
    const std::uint8_t block[4] = {1, 2, 3, 4};
    flash.StartSession();
    ASSERT_TRUE(flash.EraseNextUnit());
    ASSERT_TRUE(flash.Append(block, sizeof block));
    flash.StartSession();  // asked what it is after its burn
    EXPECT_EQ(flash.WrittenBytes(), sizeof block);
    EXPECT_TRUE(flash.Equals(block, sizeof block));
    EXPECT_FALSE(flash.Append(block, sizeof block)) << "programmed without an erase";
    ASSERT_TRUE(flash.EraseNextUnit());
    EXPECT_EQ(flash.WrittenBytes(), 0u);
    EXPECT_EQ(flash.ErasedBytes(), 1024u);
}

}  // namespace
}  // namespace plcsim
