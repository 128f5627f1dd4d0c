// Bootloader exchanges: type rules, version packing, erase counts and the
// sector models' single erase attempt.
#include "link/boot_commands.h"

#include <gtest/gtest.h>

#include "link/block_transfer.h"
#include "scripted_link.h"

namespace norvane {
namespace {

using namespace norvane::fake;

const Bytes kAck1 = {0x06};

TEST(CheckID_B, TypeRulesByLinkKind) {
    struct Case {
        const char* model;
        Bytes reply;
        bool accepted;
    };
    const Case cases[] = {
        {"NR4-U", {0x06, 0x20, 0x03}, true},    {"NR4-U", {0x06, 0xA0, 0x03}, false},
        {"PV-U", {0x06, 0xA0, 0x02}, true},     {"PV-U", {0x06, 0x20, 0x02}, false},
        {"MR7-K-V2", {0x06, 0x00, 0x0C}, true}, {"MR7-K-V2", {0x06, 0x00, 0x0D}, true},
        {"TQ7P-AIO", {0x06, 0x00, 0x0D}, true}, {"TQ7P-AIO", {0x06, 0x00, 0x0C}, false},
        {"QB7", {0x15, 0x30, 0x00}, false},     {"QB7", {0x06, 0x30}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        Select(c.model);
        ScriptedLink link;
        link.Far().everyReply = c.reply;
        EXPECT_EQ(Code(CheckID_B(On(link))), c.accepted ? kResultOk : kResultBootFailed);
        EXPECT_EQ(link.WritesOf("ID"), c.accepted ? 1u : 6u);
    }
}

TEST(CheckID_B, LooseMr7MatchKeepsTheMissesOnThePanel) {
    const struct {
        const char* model;
        std::int32_t err;
    } cases[] = {{"MR7-K-V2", 1}, {"NR4-U", 0}, {"QB7", 0}};
    for (const auto& c : cases) {
        Select(c.model);
        ScriptedLink link;
        link.Far().replies = {Bytes{}};
        const std::uint16_t id = SelectedModel().typeId & (c.err ? 0xFFFF : 0x7FFF);
        const std::uint16_t reported = std::string(c.model) == "QB7" ? 0x3000 : id;
        link.Far().everyReply = Bytes{0x06, static_cast<std::uint8_t>(reported >> 8),
                                      static_cast<std::uint8_t>(reported & 0xFF)};
        EXPECT_EQ(Code(CheckID_B(On(link))), kResultOk) << c.model;
        EXPECT_EQ(Err(), c.err) << c.model;
    }
}

TEST(VersionRead, PacksTheTwoNibbles) {
    const struct {
        std::uint8_t a, b, version;
    } cases[] = {{0x01, 0x00, 0x10}, {0x12, 0x34, 0x23}, {0x00, 0x90, 0x09}, {0xFF, 0xFF, 0xFF}};
    for (const auto& c : cases) {
        Select("QB7");
        ScriptedLink link;
        link.Far().replies = {Bytes{0x06, c.a, c.b}};
        std::uint8_t version = 0;
        EXPECT_EQ(Code(read_fu_version_B(On(link), version)), kResultOk);
        EXPECT_EQ(version, c.version);
        EXPECT_EQ(link.Writes().at(0).bytes, B("VERSION"));
    }
    Select("QB7");
    std::uint8_t version = 0x42;
    ScriptedLink silent;
    EXPECT_EQ(Code(read_fu_version_B(On(silent), version)), kResultBootFailed);
    EXPECT_EQ(version, 0x42);
}

TEST(TransferPlan, EraseAndBlockCountsAtTheEdges) {
    struct Case {
        const char* model;
        std::uint32_t n;
        std::uint16_t erases;
        std::int32_t blocks;
        std::uint32_t lastBytes;
    };
    const Case cases[] = {
        {"QB7", 2076672, 506, 8096, 0},
        {"QB7", 4096, 0, 0, 0},
        {"QB7", 4097, 1, 1, 1},
        {"NT4", 4096, 3, 32, 0},
        {"NT4", 1000, 1, 8, 104},
        {"NT4", 0, 1, 0, 0},
        {"MR7-K-V2", 131072, 2, 1024, 0},
        {"PV", 16383, 1, 64, 255},
        {"PV", 16384, 2, 64, 0},
        {"QB5-AIO", 2049, 2, 9, 1},
        {"TQ7P-AIO", 4096, 4, 16, 0},
        {"PVW", 300, 1, 3, 44},
        // The AIO units round up: an exact multiple of 2048 takes no unit more.
        {"QB5-AIO", 4096, 2, 16, 0},
        {"TQ8-AIO", 40960, 20, 160, 0},
        {"NZ8-AIO", 2048, 1, 8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.model << " " << c.n);
        std::uint16_t erases = 0xFFFF;
        BlockPlan plan{};
        ASSERT_TRUE(EraseCount(ModelAt(FindModel(c.model)), c.n, erases));
        ASSERT_TRUE(PlanBlocks(ModelAt(FindModel(c.model)), c.n, plan));
        EXPECT_EQ(erases, c.erases);
        EXPECT_EQ(plan.blockCount, c.blocks);
        EXPECT_EQ(plan.lastBytes, c.lastBytes);
    }
    std::uint16_t erases = 0;
    BlockPlan plan{};
    EXPECT_FALSE(EraseCount(ModelAt(FindModel("QB3")), 4095, erases));
    EXPECT_FALSE(PlanBlocks(ModelAt(FindModel("QB3")), 4095, plan));
}

using EraseTest = LoadedImageTest;

TEST_F(EraseTest, QB7ErasesEverySectorThenClosesWithEot) {
    Load("QB7", 2076672);
    ScriptedLink link;
    link.Far().everyReply = kAck1;
    EXPECT_EQ(Code(SendErase_B(On(link), fileLength)), kResultOk);
    EXPECT_EQ(link.WritesOf("ERASE"), 506u);
    EXPECT_EQ(link.Writes().back().bytes, Bytes{0x04});
    EXPECT_EQ(flashStatus.load(), kFlashErasing);
    EXPECT_EQ(progress.load(), 100);
}

TEST_F(EraseTest, ProgressShowsTheShareAcknowledgedBefore) {
    Load("TQ7P-AIO", 4096);
    ScriptedLink link;
    link.Far().replies = {kAck1, kAck1, kAck1, kAck1};  // and no answer to the EOT
    EXPECT_EQ(Code(SendErase_B(On(link), fileLength)), kResultBootFailed);
    EXPECT_EQ(progress.load(), 75);
    EXPECT_EQ(link.WritesOf("ERASE"), 4u);
    EXPECT_EQ(link.WritesOf(std::string(1, '\x04')), 6u);  // the EOT gets the normal limits
}

TEST_F(EraseTest, SectorModelsNeverEraseAUnitTwice) {
    Load("QB7", 2076672);
    totalErrCounter = 7;
    ScriptedLink link;  // silent
    EXPECT_EQ(Code(SendErase_B(On(link), fileLength)), kResultBootFailed);
    EXPECT_EQ(link.Writes().size(), 1u);
    EXPECT_EQ(link.Reads().size(), 1u);
    EXPECT_EQ(link.NowMs(), 3000u);
    EXPECT_EQ(Err(), 1);
    EXPECT_EQ(Total(), 8);

    ScriptedLink refused;  // a failed write is just as final
    refused.PlanWrites({true, false});
    refused.Far().everyReply = kAck1;
    EXPECT_EQ(Code(SendErase_B(On(refused), fileLength)), kResultBootFailed);
    EXPECT_EQ(refused.Writes().size(), 2u);
}

TEST_F(EraseTest, OtherModelsRepeatAMissedUnit) {
    Load("NR4", 4096);  // 3 units
    ScriptedLink link;
    link.Far().replies = {kAck1, Bytes{}, Bytes{0x15}, kAck1, kAck1, kAck1};
    EXPECT_EQ(Code(SendErase_B(On(link), fileLength)), kResultOk);
    EXPECT_EQ(link.WritesOf("ERASE"), 5u);
    EXPECT_EQ(Total(), 2);
}

TEST_F(EraseTest, ImageExactlyTheReservedTailOnlySendsEot) {
    Load("MR8-TQ8", 4096);
    ScriptedLink link;
    link.Far().everyReply = kAck1;
    EXPECT_EQ(Code(SendErase_B(On(link), fileLength)), kResultOk);
    EXPECT_EQ(link.Sent(), std::vector<Bytes>{Bytes{0x04}});
}

TEST_F(EraseTest, ImageShorterThanTheReservedTailIsRefusedBeforeAnythingIsSent) {
    Load("QB7", 100);
    ScriptedLink link;
    link.Far().everyReply = kAck1;
    EXPECT_EQ(Code(SendErase_B(On(link), fileLength)), kResultBootFailed);
    EXPECT_TRUE(link.Writes().empty());
    EXPECT_EQ(flashStatus.load(), 0);
}

TEST(SendUpdate, SwitchesToTransferSpeedOnlyWhenAcknowledged) {
    Select("NR4");
    ScriptedLink link;
    link.Far().replies = {Bytes{0x15}, kAck1};
    EXPECT_EQ(Code(SendUpdate(On(link))), kResultOk);
    ASSERT_EQ(link.LineSettingsCalls().size(), 1u);
    const LineSettings& s = link.LineSettingsCalls()[0].settings;
    EXPECT_EQ(s.baudRate, 115200u);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.parity, Parity::None);
    EXPECT_EQ(Err(), 0);

    ScriptedLink silent;
    EXPECT_EQ(Code(SendUpdate(On(silent))), kResultBootFailed);
    EXPECT_TRUE(silent.LineSettingsCalls().empty());
    EXPECT_EQ(silent.WritesOf("UPDATE"), 6u);
}

}  // namespace
}  // namespace norvane
