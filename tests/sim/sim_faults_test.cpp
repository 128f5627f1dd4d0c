// The fault plan: what each rule does to a reply, and which occurrences it hits.
#include <gtest/gtest.h>

#include "sim_test_util.h"

namespace plcsim {
namespace {

using testing::Crlf;
using testing::MakeBlock;
using testing::PrepareTransfer;
using testing::Send;
using testing::SendBytes;
using testing::Take;

const std::string kModeQuery = Crlf(":006401590141");
const std::string kModeReply = Crlf(":006401590530000D");

struct ReplyFaultCase {
    const char* name;
    Fault fault;
    std::string reply;
};

void PrintTo(const ReplyFaultCase& c, std::ostream* os) {
    *os << c.name;
}

Fault WithNak(std::uint8_t cls, std::uint8_t code) {
    return Fault::NakAt(Exchange::ModeQuery, 1, cls, code);
}

class ModeQueryFaults : public ::testing::TestWithParam<ReplyFaultCase> {};

TEST_P(ModeQueryFaults, BendTheReply) {
    PlcConfig config;
    config.faults.Add(GetParam().fault);
    SimulatedPlc plc(config);
    Send(plc, kModeQuery);
    EXPECT_EQ(Take(plc), GetParam().reply);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ModeQueryFaults,
    ::testing::Values(
        ReplyFaultCase{"Silent", Fault::At(Exchange::ModeQuery, 1, FaultKind::Silent), ""},
        ReplyFaultCase{"Nak", WithNak(2, 3), Crlf(":0064015915020328")},
        ReplyFaultCase{"WrongStatus", Fault::At(Exchange::ModeQuery, 1, FaultKind::WrongStatus, 7),
                       Crlf(":006401590730000B")},
        ReplyFaultCase{"WrongTypeId",
                       Fault::At(Exchange::ModeQuery, 1, FaultKind::WrongTypeId, 0x1234),
                       Crlf(":00640159051234F7")},
        ReplyFaultCase{"CorruptLrc", Fault::At(Exchange::ModeQuery, 1, FaultKind::CorruptLrc),
                       Crlf(":006401590530000E")},
        ReplyFaultCase{"LowerCaseHex", Fault::At(Exchange::ModeQuery, 1, FaultKind::LowerCaseHex),
                       Crlf(":006401590530000d")},
        ReplyFaultCase{"Partial", Fault::At(Exchange::ModeQuery, 1, FaultKind::PartialReply, 10),
                       ":006401590"},
        ReplyFaultCase{"Garbage", Fault::At(Exchange::ModeQuery, 1, FaultKind::GarbageBefore, 2),
                       "\xEE\xEE" + kModeReply},
        ReplyFaultCase{"OtherExchangeUntouched", Fault::At(Exchange::TypeId, 1, FaultKind::Silent),
                       kModeReply}),
    [](const ::testing::TestParamInfo<ReplyFaultCase>& param) { return param.param.name; });

TEST(FaultPlan, HitsOnlyTheChosenOccurrences) {
    PlcConfig config;
    config.faults.Add(Fault::At(Exchange::ModeQuery, 2, FaultKind::Silent).Times(2));
    SimulatedPlc plc(config);
    std::vector<bool> answered;
    for (int i = 0; i < 5; ++i) {
        Send(plc, kModeQuery);
        answered.push_back(!Take(plc).empty());
    }
    EXPECT_EQ(answered, (std::vector<bool>{true, false, false, true, true}));
}

TEST(FaultPlan, EveryOccurrenceAndAnyExchange) {
    PlcConfig config;
    config.faults.Add(Fault::Every(Exchange::Any, FaultKind::Silent));
    SimulatedPlc plc(config);
    Send(plc, kModeQuery + Crlf(":006401594944B5") + kModeQuery);
    EXPECT_EQ(Take(plc), "");
    EXPECT_EQ(plc.Requests().size(), 3u);  // heard and logged, just not answered
}

TEST(FaultPlan, DelayedReplyBecomesAvailableLater) {
    PlcConfig config;
    config.faults.Add(Fault::At(Exchange::ModeQuery, 1, FaultKind::Delay, 700));
    SimulatedPlc plc(config);
    Send(plc, kModeQuery, 100);
    EXPECT_EQ(plc.NextReplyTime(), std::optional<std::uint64_t>(800));
    EXPECT_EQ(Take(plc, 799), "");
    EXPECT_EQ(Take(plc, 800), kModeReply);
}

TEST(FaultPlan, LostBlockAckIsWrittenOnceAndAckedOnResend) {
    PlcConfig config;
    config.model = "NR4";
    config.initialMode = PlcMode::Bootloader;
    config.faults.Add(Fault::At(Exchange::Block, 1, FaultKind::LostAck));
    SimulatedPlc plc(config);
    PrepareTransfer(plc, 1);
    const auto block = MakeBlock(1, TestImage(128));
    SendBytes(plc, block);
    EXPECT_EQ(Take(plc), "");
    SendBytes(plc, block);
    EXPECT_EQ(Take(plc), "\x06");
    EXPECT_EQ(plc.Counters().blocksWritten, 1u);
    EXPECT_EQ(plc.Counters().duplicates, 1u);
}

TEST(FaultPlan, FlashWriteErrorOnAChosenBlock) {
    PlcConfig config;
    config.model = "NR4";
    config.initialMode = PlcMode::Bootloader;
    config.faults.Add(Fault::At(Exchange::Block, 2, FaultKind::FlashWriteError));
    SimulatedPlc plc(config);
    PrepareTransfer(plc, 1);
    SendBytes(plc, MakeBlock(1, TestImage(128, 1)));
    SendBytes(plc, MakeBlock(2, TestImage(128, 2)));
    SendBytes(plc, MakeBlock(2, TestImage(128, 2)));
    EXPECT_EQ(Take(plc), "\x06\x16\x06");
    EXPECT_EQ(plc.Counters().blocksWritten, 2u);
}

TEST(FaultPlan, BootloaderNakAndLostAckOnErase) {
    PlcConfig config;
    config.model = "NR4";
    config.initialMode = PlcMode::Bootloader;
    config.faults.Add(Fault::At(Exchange::BootErase, 1, FaultKind::Nak));
    config.faults.Add(Fault::At(Exchange::BootErase, 2, FaultKind::LostAck));
    SimulatedPlc plc(config);
    Send(plc, "ERASEERASEERASE");
    EXPECT_EQ(Take(plc), "\x15\x06");
    EXPECT_EQ(plc.Counters().eraseCommands, 2u);  // the refused one erased nothing
}

TEST(FaultPlan, StayInApplicationAfterEraseRequest) {
    PlcConfig config;
    config.model = "NR4";
    config.faults.Add(Fault::At(Exchange::EraseRequest, 1, FaultKind::StayInApplication));
    SimulatedPlc plc(config);
    Send(plc, Crlf(":006401594552415345D2") + Crlf(":00640159063C"));
    Take(plc);
    plc.AdvanceTo(10000);
    Send(plc, kModeQuery, 10000);
    EXPECT_EQ(Take(plc, 10000), Crlf(":006401590500132A"));
    EXPECT_EQ(plc.Counters().handovers, 0u);
}

TEST(FaultPlan, WriteFailureIsCountedPerWriteOfThatKind) {
    PlcConfig config;
    config.initialMode = PlcMode::Bootloader;
    config.faults.Add(Fault::At(Exchange::BootErase, 2, FaultKind::WriteFailure));
    SimulatedPlc plc(config);
    const std::string erase = "ERASE";
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(erase.data());
    const std::uint8_t id[] = {'I', 'D'};
    EXPECT_FALSE(plc.ConsumeWriteFailure(id, 2));
    EXPECT_FALSE(plc.ConsumeWriteFailure(bytes, 5));
    EXPECT_TRUE(plc.ConsumeWriteFailure(bytes, 5));
    EXPECT_FALSE(plc.ConsumeWriteFailure(bytes, 5));
    EXPECT_TRUE(plc.Requests().empty());  // asking changes nothing at the PLC
}

TEST(FaultPlan, NotAttachedNeverAnswers) {
    PlcConfig config;
    config.attached = false;
    config.initialMode = PlcMode::Bootloader;
    SimulatedPlc plc(config);
    Send(plc, kModeQuery + "ID");
    EXPECT_EQ(Take(plc), "");
    EXPECT_EQ(plc.ReceivedBytes().size(), kModeQuery.size() + 2);
}

TEST(FaultPlan, NoiseIsRepeatableForASeed) {
    auto run = [](std::uint32_t seed, NoiseMode mode) {
        PlcConfig config;
        config.noiseSeed = seed;
        config.noisePercent = 50;
        config.noiseMode = mode;
        SimulatedPlc plc(config);
        std::string all;
        for (int i = 0; i < 40; ++i) {
            Send(plc, kModeQuery);
            all += Take(plc);
        }
        return std::make_pair(all, plc.Counters().noiseHits);
    };
    for (NoiseMode mode : {NoiseMode::Corrupt, NoiseMode::Insert}) {
        const auto a = run(7, mode);
        EXPECT_EQ(a, run(7, mode));
        EXPECT_GT(a.second, 5u);
        EXPECT_LT(a.second, 35u);
        EXPECT_NE(a.first, run(8, mode).first);
    }
    EXPECT_EQ(run(7, NoiseMode::Corrupt).first.size(), 40 * kModeReply.size());
}

}  // namespace
}  // namespace plcsim
