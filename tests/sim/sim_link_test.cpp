// The in-process link: virtual time, records, failing and dead links.
#include <gtest/gtest.h>

#include "plc_end.h"
#include "sim_test_util.h"

namespace norvane::test {
namespace {

using plcsim::Exchange;
using plcsim::Fault;
using plcsim::FaultKind;
using plcsim::PlcConfig;
using plcsim::SimulatedPlc;

const std::string kModeQuery = ":006401590141\r\n";
const std::string kModeReply = ":006401590530000D\r\n";

constexpr LinkTimeouts kWake{200, 200};
constexpr LinkTimeouts kExchange{3000, 3000};

std::size_t WriteText(Link& link, const std::string& text) {
    return link.Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::string ReadText(Link& link, std::size_t count) {
    std::string buf(count, '\0');
    const std::size_t n = link.Read(reinterpret_cast<std::uint8_t*>(buf.data()), count);
    buf.resize(n);
    return buf;
}

TEST(SimLink, UnansweredReadCostsExactlyTheTimeout) {
    PlcConfig config;
    config.attached = false;
    SimulatedPlc plc(config);
    VirtualClock clock;
    SimLink link(clock, PlcEnd(plc));
    link.SetTimeouts(kExchange);
    for (int i = 0; i < 6; ++i) {
        WriteText(link, kModeQuery);
        EXPECT_EQ(ReadText(link, 19), "");
    }
    EXPECT_EQ(clock.Now(), 18000u);
    EXPECT_EQ(link.CountTimedOutReads(3000), 6u);
    EXPECT_EQ(link.Writes().size(), 6u);
}

TEST(SimLink, WakeBurstOfTenShortReads) {
    SimulatedPlc plc(PlcConfig{});
    VirtualClock clock;
    SimLink link(clock, PlcEnd(plc));
    link.SetTimeouts(kWake);
    for (int i = 0; i < 5; ++i) {
        WriteText(link, ":007F81\r\n");
        ReadText(link, 11);
    }
    for (int i = 0; i < 5; ++i) {
        ReadText(link, 11);
    }
    EXPECT_EQ(clock.Now(), 2000u);
    EXPECT_EQ(link.CountTimedOutReads(200), 10u);
    ASSERT_EQ(link.TimeoutCalls().size(), 1u);
    EXPECT_EQ(link.TimeoutCalls()[0].timeouts.readMs, 200u);
}

TEST(SimLink, ReadReturnsWhenTheReplyIsThere) {
    PlcConfig config;
    config.faults.Add(Fault::At(Exchange::ModeQuery, 1, FaultKind::Delay, 700));
    config.faults.Add(Fault::At(Exchange::ModeQuery, 2, FaultKind::Delay, 5000));
    SimulatedPlc plc(config);
    VirtualClock clock;
    SimLink link(clock, PlcEnd(plc));
    link.SetTimeouts(kExchange);
    WriteText(link, kModeQuery);
    EXPECT_EQ(ReadText(link, 19), kModeReply);
    EXPECT_EQ(clock.Now(), 700u);
    // Later than the time-out: the read gives up, the reply arrives in a later read.
    WriteText(link, kModeQuery);
    EXPECT_EQ(ReadText(link, 19), "");
    EXPECT_EQ(clock.Now(), 3700u);
    EXPECT_EQ(ReadText(link, 19), kModeReply);
    EXPECT_EQ(clock.Now(), 5700u);
}

TEST(SimLink, PacedSerialReplyTakesItsBitTimes) {
    PlcConfig config;
    config.model = "NR4";
    config.paceLine = true;
    config.flashWriteTimeMs = 0;
    SimulatedPlc plc(config);
    VirtualClock clock;
    SimLink link(clock, PlcEnd(plc));
    link.ApplyLineSettings({9600, 7, Parity::Even, 1, true, true});
    link.SetTimeouts(kExchange);
    WriteText(link, kModeQuery);
    // 19 characters of 10 bits at 9600 baud: 19.8 ms.
    EXPECT_EQ(ReadText(link, 19).size(), 19u);
    EXPECT_EQ(clock.Now(), 20u);
}

TEST(SimLink, PartialReplyWaitsTheFullTimeout) {
    PlcConfig config;
    config.faults.Add(Fault::At(Exchange::ModeQuery, 1, FaultKind::PartialReply, 10));
    SimulatedPlc plc(config);
    VirtualClock clock;
    SimLink link(clock, PlcEnd(plc));
    link.SetTimeouts(kExchange);
    WriteText(link, kModeQuery);
    EXPECT_EQ(ReadText(link, 19).size(), 10u);
    EXPECT_EQ(clock.Now(), 3000u);
}

TEST(SimLink, FailedWritesNeverReachThePlc) {
    PlcConfig config;
    config.faults.Add(Fault::At(Exchange::TypeId, 1, FaultKind::WriteFailure));
    SimulatedPlc plc(config);
    VirtualClock clock;
    SimLink link(clock, PlcEnd(plc));
    link.PlanWrites({false}, 4);
    EXPECT_EQ(WriteText(link, kModeQuery), 4u);
    EXPECT_EQ(WriteText(link, ":006401594944B5\r\n"), 0u);  // from the fault plan
    EXPECT_EQ(WriteText(link, ":006401594944B5\r\n"), 17u);
    EXPECT_EQ(plc.CountRequests(Exchange::TypeId), 1u);
    EXPECT_EQ(plc.CountRequests(Exchange::ModeQuery), 0u);
    EXPECT_EQ(plc.ReceivedBytes().size(), 4u + 17u);
    EXPECT_EQ(link.Writes()[0].written, 4u);
}

TEST(SimLink, DeadLinkReturnsNothingAtOnce) {
    SimulatedPlc plc(PlcConfig{});
    VirtualClock clock;
    SimLink link(clock, PlcEnd(plc));
    link.SetTimeouts(kExchange);
    link.Die();
    EXPECT_EQ(WriteText(link, kModeQuery), 0u);
    EXPECT_EQ(ReadText(link, 19), "");
    EXPECT_EQ(clock.Now(), 0u);
    EXPECT_TRUE(plc.ReceivedBytes().empty());
}

// The soak's line that goes away: it strikes at its write and stays gone for as many
// operations of every link that shares it, each returning nothing at once.
TEST(SimLink, TroubledLineIsGoneForItsOperationsThenBack) {
    SimulatedPlc plc(PlcConfig{});
    VirtualClock clock;
    LineTrouble line(LineTroublePlan{true, 2, 3});
    SimLink link(clock, PlcEnd(plc));
    link.ShareTrouble(line);
    link.SetTimeouts(kExchange);
    EXPECT_EQ(WriteText(link, kModeQuery), 15u);
    EXPECT_EQ(ReadText(link, 19), kModeReply);
    EXPECT_EQ(WriteText(link, kModeQuery), 0u);  // it goes here
    EXPECT_EQ(ReadText(link, 19), "");
    EXPECT_TRUE(line.Other());  // an open counts too: the third operation
    EXPECT_EQ(clock.Now(), 0u);
    {
        SimLink reopened(clock, PlcEnd(plc));
        reopened.ShareTrouble(line);
        reopened.SetTimeouts(kExchange);
        EXPECT_EQ(WriteText(reopened, kModeQuery), 15u);
        EXPECT_EQ(ReadText(reopened, 19), kModeReply);
    }
    EXPECT_EQ(plc.CountRequests(Exchange::ModeQuery), 2u);
}

TEST(SimLink, HandsLineSettingsAndOpenCloseToThePlc) {
    PlcConfig config;
    config.model = "NR4";
    SimulatedPlc plc(config);
    VirtualClock clock;
    {
        SimLink link(clock, PlcEnd(plc));
        EXPECT_TRUE(plc.LinkOpen());
        link.ApplyLineSettings({9600, 7, Parity::Even, 1, true, true});
        link.SetTimeouts(kExchange);
        WriteText(link, kModeQuery);
        EXPECT_EQ(ReadText(link, 19).size(), 19u);
    }
    EXPECT_FALSE(plc.LinkOpen());
    EXPECT_EQ(plc.SpeedViolations(), 0u);
    ASSERT_EQ(plc.LineHistory().size(), 1u);
    EXPECT_EQ(plc.LineHistory()[0].line.parity, plcsim::Parity::Even);
}

}  // namespace
}  // namespace norvane::test
