// The bootloader: command words, erase units, blocks and their numbering.
#include <gtest/gtest.h>

#include "sim_test_util.h"

namespace plcsim {
namespace {

using testing::Crlf;
using testing::MakeBlock;
using testing::PrepareTransfer;
using testing::Send;
using testing::SendBytes;
using testing::SendImage;
using testing::Take;

PlcConfig Boot(const char* model) {
    PlcConfig config;
    config.model = model;
    config.initialMode = PlcMode::Bootloader;
    return config;
}

TEST(Bootloader, ChecksumsAreTheStandardOnes) {
    const std::string digits = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size()), 0x31C3);
    const std::uint8_t wake[] = {0x00, 0x7F};
    EXPECT_EQ(Lrc(wake, 2), 0x81);
}

struct IdCase {
    const char* model;
    std::string reply;
};

TEST(Bootloader, ReportsTypeIdWithSerialHighBitCleared) {
    const IdCase cases[] = {
        {"BOW-MR7-V2", std::string("\x06\x20\x01", 3)}, {"NR4-U", std::string("\x06\x20\x03", 3)},
        {"TQ7-ROV", std::string("\x06\x20\x06", 3)},    {"PV-U", std::string("\x06\xA0\x02", 3)},
        {"RLX-G", std::string("\x06\xA0\x0B", 3)},      {"MG5", std::string("\x06\x00\x00", 3)},
        {"TQ7P-AIO", std::string("\x06\x00\x0D", 3)},
    };
    for (const IdCase& c : cases) {
        SimulatedPlc plc(Boot(c.model));
        Send(plc, "ID");
        EXPECT_EQ(Take(plc), c.reply) << c.model;
    }
}

TEST(Bootloader, AnswersWordsSplitAcrossWritesAndSkipsGarbage) {
    PlcConfig config = Boot("QB7");
    config.bootVersionA = 0x01;
    config.bootVersionB = 0x00;
    SimulatedPlc plc(config);
    for (const char* piece : {"VER", "SI", "ON", "x", "I", "D", "ERA", "SE", "\x04"}) {
        Send(plc, piece);
    }
    EXPECT_EQ(Take(plc), std::string("\x06\x01\x00\x06\x30\x00\x06\x06", 8));
    EXPECT_EQ(plc.Counters().garbageBytes, 1u);
    EXPECT_EQ(plc.Counters().eraseCommands, 1u);
}

TEST(Bootloader, AnswersFramedModeQueryWithSixAndIgnoresWake) {
    SimulatedPlc plc(Boot("QB7"));
    Send(plc, Crlf(":007F81") + Crlf(":006401590141") + Crlf(":006401594944B5"));
    EXPECT_EQ(Take(plc), Crlf(":006401590630000C"));
}

TEST(Bootloader, WritesAWholeImageAndWrapsBlockNumbers) {
    // 257 blocks of 128 bytes: numbers run 1..255, 0, 1.
    SimulatedPlc plc(Boot("NR4"));
    const auto image = TestImage(257 * 128 - 40);
    PrepareTransfer(plc, 17);
    const std::string replies = SendImage(plc, image);
    EXPECT_EQ(replies, std::string(258, '\x06'));
    EXPECT_TRUE(plc.TransferCompleted());
    EXPECT_EQ(plc.Counters().blocksWritten, 257u);
    EXPECT_TRUE(plc.FlashHoldsImage(image.data(), image.size()));
    EXPECT_EQ(plc.SpeedViolations(), 0u);
}

TEST(Bootloader, LargestImageFitsTheFlashOfItsModel) {
    // The biggest image a sector model takes: 506 units erased, 8096 blocks, last one 160.
    SimulatedPlc plc(Boot("QB7"));
    const auto image = TestImage(2076672);
    PrepareTransfer(plc, 506);
    EXPECT_EQ(plc.Counters().eraseRefused, 0u);
    const std::string replies =
        SendImage(plc, std::vector<std::uint8_t>(image.begin(), image.end() - 4096));
    EXPECT_EQ(replies, std::string(8097, '\x06'));
    EXPECT_EQ(plc.Requests().back().kind, Exchange::TransferEnd);
    EXPECT_EQ(plc.Requests()[plc.Requests().size() - 2].bytes[1], 160);
    EXPECT_TRUE(plc.FlashHoldsImage(image.data(), image.size()));
}

TEST(Bootloader, KeepsTheReservedTailOutOfTheVerdict) {
    SimulatedPlc plc(Boot("QB7"));
    auto image = TestImage(4096 + 300);
    PrepareTransfer(plc, 1);
    SendImage(plc, std::vector<std::uint8_t>(image.begin(), image.end() - 4096));
    EXPECT_TRUE(plc.FlashHoldsImage(image.data(), image.size()));
    // Sending the tail as well is a different flash.
    EXPECT_FALSE(plc.FlashHoldsImage(image.data(), image.size() - 256));
}

TEST(Bootloader, AcknowledgesARepeatedBlockWithoutWritingItTwice) {
    SimulatedPlc plc(Boot("NR4"));
    PrepareTransfer(plc, 1);
    const auto first = TestImage(128, 1);
    const auto second = TestImage(128, 2);
    SendBytes(plc, MakeBlock(1, first));
    SendBytes(plc, MakeBlock(1, first));
    SendBytes(plc, MakeBlock(2, second));
    EXPECT_EQ(Take(plc), "\x06\x06\x06");
    EXPECT_EQ(plc.Counters().blocksWritten, 2u);
    EXPECT_EQ(plc.Counters().duplicates, 1u);
    EXPECT_TRUE(plc.FlashEquals(first.data(), 128));
    EXPECT_TRUE(std::equal(second.begin(), second.end(), plc.Flash().begin() + 128));
}

TEST(Bootloader, RefusesDamagedOrOutOfOrderBlocks) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> block;
    };
    const auto data = TestImage(128);
    auto badCrc = MakeBlock(1, data);
    badCrc.back() ^= 0x01;
    auto badComplement = MakeBlock(1, data);
    badComplement[2] = 0xFF;
    const Case cases[] = {{"crc", badCrc},
                          {"complement", badComplement},
                          {"skipped number", MakeBlock(2, data)},
                          {"short then resent", {0x02, 0x01}}};
    for (const Case& c : cases) {
        SimulatedPlc plc(Boot("NR4"));
        PrepareTransfer(plc, 1);
        SendBytes(plc, c.block, 0);
        // After a refusal (or a second of silence) an intact block 1 still goes in.
        SendBytes(plc, MakeBlock(1, data), 2000);
        const std::string expect = c.block.size() < 10 ? "\x06" : "\x15\x06";
        EXPECT_EQ(Take(plc, 2000), expect) << c.name;
        EXPECT_EQ(plc.Counters().blocksWritten, 1u) << c.name;
    }
}

TEST(Bootloader, RefusesToProgramFlashThatWasNotErased) {
    SimulatedPlc plc(Boot("NR4"));  // 2048-byte units, 128-byte blocks
    PrepareTransfer(plc, 1);
    std::string replies;
    for (int n = 1; n <= 17; ++n) {
        SendBytes(plc, MakeBlock(static_cast<std::uint8_t>(n), TestImage(128, n)));
        replies += Take(plc);
    }
    EXPECT_EQ(replies, std::string(16, '\x06') + "\x16");
    EXPECT_EQ(plc.Counters().writeErrorsSent, 1u);
}

TEST(Bootloader, WriteProtectedFlashRefusesEveryBlock) {
    PlcConfig config = Boot("NR4");
    config.writeProtected = true;
    SimulatedPlc plc(config);
    PrepareTransfer(plc, 1);
    SendBytes(plc, MakeBlock(1, TestImage(128)));
    EXPECT_EQ(Take(plc), "\x16");
    EXPECT_EQ(plc.Counters().blocksWritten, 0u);
}

TEST(Bootloader, EraseUnitsFollowTheModel) {
    struct Case {
        const char* model;
        std::size_t unit;
    };
    for (const Case c : {Case{"PVW", 131072}, Case{"PV", 16384}, Case{"QB3", 4096},
                         Case{"TQ8-AIO", 2048}, Case{"TQ7P-AIO", 1024}, Case{"NZ4", 2048}}) {
        SimulatedPlc plc(Boot(c.model));
        Send(plc, "ERASEERASE");
        EXPECT_EQ(plc.FlashState().ErasedBytes(), 2 * c.unit) << c.model;
    }
}

TEST(Bootloader, RefusesAnEraseBeyondTheEndOfFlash) {
    SimulatedPlc plc(Boot("TQ7P-AIO"));
    Send(plc, "ERASEERASEERASEERASEERASE");
    EXPECT_EQ(Take(plc), "\x06\x06\x06\x06\x15");
    EXPECT_EQ(plc.Counters().eraseRefused, 1u);
}

TEST(Bootloader, SerialBlocksMustComeAtTransferSpeed) {
    SimulatedPlc plc(Boot("NR4"));
    PrepareTransfer(plc, 1);
    plc.OnLineSettings(9600, 7, Parity::Even, 1);  // the switch was forgotten
    SendBytes(plc, MakeBlock(1, TestImage(128)));
    EXPECT_EQ(plc.SpeedViolations(), 1u);
}

}  // namespace
}  // namespace plcsim
