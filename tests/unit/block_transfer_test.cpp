// The block transfer: block layout, numbering, fill, progress and how it ends.
#include "link/block_transfer.h"

#include <gtest/gtest.h>

#include "scripted_link.h"

namespace norvane {
namespace {

using namespace norvane::fake;

using TransferTest = LoadedImageTest;

TEST_F(TransferTest, QB7SendsEveryBlockButTheReservedTail) {
    Load("QB7", 2076672);
    ScriptedLink link;
    link.Far().everyReply = Bytes{0x06};
    EXPECT_EQ(Code(SendFW(On(link), fileLength, FileRead)), kResultOk);
    ASSERT_EQ(link.Writes().size(), 8097u);
    Bytes sent;
    for (std::size_t i = 0; i < 8096; ++i) {
        const Bytes& block = link.Writes()[i].bytes;
        ASSERT_EQ(block.size(), 261u);
        ASSERT_EQ(block[0], 0x02);
        ASSERT_EQ(block[1], static_cast<std::uint8_t>(i + 1));
        ASSERT_EQ(block[2], static_cast<std::uint8_t>(~(i + 1)));
        const std::uint32_t crc = CRC(block.data() + 3, 256);
        ASSERT_EQ(block[259], crc >> 8);
        ASSERT_EQ(block[260], crc & 0xFF);
        sent.insert(sent.end(), block.begin() + 3, block.begin() + 259);
    }
    EXPECT_EQ(link.Writes()[255].bytes[1], 0x00);
    EXPECT_EQ(link.Writes()[255].bytes[2], 0xFF);
    EXPECT_EQ(link.Writes()[8095].bytes[1], 160);
    EXPECT_EQ(sent, Bytes(image_.begin(), image_.end() - 4096));
    EXPECT_EQ(link.Writes().back().bytes, Bytes{0x04});
    EXPECT_EQ(progress.load(), 100);
    EXPECT_EQ(flashStatus.load(), kFlashProgramming);
}

TEST_F(TransferTest, LastBlockIsFilledAndItsCrcCoversTheFill) {
    Load("NT4", 1000);
    ScriptedLink link;
    link.Far().everyReply = Bytes{0x06};
    EXPECT_EQ(Code(SendFW(On(link), fileLength, FileRead)), kResultOk);
    ASSERT_EQ(link.Writes().size(), 9u);
    const Bytes& last = link.Writes()[7].bytes;
    ASSERT_EQ(last.size(), 133u);
    EXPECT_EQ(Bytes(last.begin() + 3, last.begin() + 107),
              Bytes(image_.begin() + 896, image_.end()));
    EXPECT_EQ(Bytes(last.begin() + 107, last.begin() + 131), Bytes(24, 0x1A));
    EXPECT_EQ(last[131] << 8 | last[132], static_cast<int>(CRC(last.data() + 3, 128)));
}

TEST_F(TransferTest, ProgressStopsShortOfFullUntilTheEotIsAcknowledged) {
    Load("PVW", 128 * 200);
    ScriptedLink link;
    link.Far().replies = std::deque<Bytes>(200, Bytes{0x06});  // the EOT goes unanswered
    EXPECT_EQ(Code(SendFW(On(link), fileLength, FileRead)), kResultBootFailed);
    EXPECT_EQ(progress.load(), 200 * 100 / 201);
    EXPECT_EQ(link.WritesOf(std::string(1, '\x04')), 6u);
}

TEST_F(TransferTest, RefusedBlockIsResentIdenticallyThenGivenUp) {
    Load("TQ7P-AIO", 1024);
    ScriptedLink link;
    link.Far().replies = {Bytes{0x06}};
    link.Far().everyReply = Bytes{0x15};
    EXPECT_EQ(Code(SendFW(On(link), fileLength, FileRead)), kResultBootFailed);
    ASSERT_EQ(link.Writes().size(), 7u);  // block 1 once, block 2 six times, no EOT
    for (std::size_t i = 2; i < 7; ++i) {
        EXPECT_EQ(link.Writes()[i].bytes, link.Writes()[1].bytes);
    }
    EXPECT_EQ(link.Writes()[1].bytes.size(), 261u);
    EXPECT_EQ(Err(), 6);
    EXPECT_EQ(fin - image_.data(), 512);  // the cursor never moved back or on
}

TEST_F(TransferTest, FlashWriteErrorEndsAtOnce) {
    Load("QB7", 8192);
    ScriptedLink link;
    link.Far().replies = {Bytes{0x06}, Bytes{0x06}, Bytes{0x16}};
    totalErrCounter = 2;
    EXPECT_EQ(Code(SendFW(On(link), fileLength, FileRead)), kResultFlashWriteError);
    EXPECT_EQ(link.Writes().size(), 3u);
    EXPECT_EQ(Total(), 2);
    EXPECT_EQ(progress.load(), 2 * 100 / 17);
}

TEST_F(TransferTest, EotAnsweredWithFlashErrorIsOnlyAMissedReply) {
    Load("NT4", 0);
    ScriptedLink link;
    link.Far().replies = {Bytes{0x16}, Bytes{0x06}};
    EXPECT_EQ(Code(SendFW(On(link), fileLength, FileRead)), kResultOk);
    EXPECT_EQ(link.Sent(), std::vector<Bytes>(2, Bytes{0x04}));
    EXPECT_EQ(Total(), 1);
}

TEST_F(TransferTest, BlocksSurviveFailuresAsLongAsNoneReachesSix) {
    Load("NT4", 128 * 3);
    ScriptedLink link;
    // Block 1: five failed writes; block 2: five missed replies; block 3: one failed write.
    link.PlanWrites(
        {false, false, false, false, false, true, true, true, true, true, true, true, false, true});
    link.Far().replies = {Bytes{0x06}, Bytes{}, Bytes{}, Bytes{}, Bytes{}, Bytes{}, Bytes{0x06}};
    link.Far().everyReply = Bytes{0x06};
    EXPECT_EQ(Code(SendFW(On(link), fileLength, FileRead)), kResultOk);
    EXPECT_EQ(Total(), 5 + 5 + 1);
}

}  // namespace
}  // namespace norvane
