// The link over a real pseudo-terminal: the read contract (all bytes or the
// time-out, whichever comes first), writes, hang-ups and line settings.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "port/posix/posix_serial_link.h"
#include "port/posix/serial_open.h"
#include "pty_pair.h"

namespace norvane::posix {
namespace {

using Clock = std::chrono::steady_clock;
using test::PtyPair;

long MsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

LinkTimeouts Timeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    return LinkTimeouts{readMs, writeMs};
}

std::string AsString(const std::vector<std::uint8_t>& bytes, std::size_t count) {
    return std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
}

class PosixLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_GE(pty_.master(), 0) << "no pseudo-terminal available";
        SerialOpenResult opened = OpenSerialPort(pty_.slavePath());
        ASSERT_TRUE(opened.link) << DescribeOpenFailure(opened.failure);
        link_ = std::move(opened.link);
        link_->SetTimeouts(Timeouts(2000, 2000));
    }

    std::string ReadFromLink(std::size_t count) {
        std::vector<std::uint8_t> buffer(count);
        return AsString(buffer, link_->Read(buffer.data(), count));
    }

    PtyPair pty_;
    std::unique_ptr<PosixSerialLink> link_;
};

// A frame with CR LF and the flow-control bytes must cross the line unchanged
// in both directions: no CR/LF translation, no echo, no XON/XOFF.
const std::string kAwkwardBytes = std::string(":007F81\r\n\x11\x13\x03\x7f\x00\xff", 15);

TEST_F(PosixLinkTest, ReadTakesExactlyTheCountAskedForUnchanged) {
    ASSERT_TRUE(pty_.WriteMaster(kAwkwardBytes + "rest"));
    const auto start = Clock::now();
    EXPECT_EQ(ReadFromLink(kAwkwardBytes.size()), kAwkwardBytes);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(ReadFromLink(4), "rest");
}

TEST_F(PosixLinkTest, WriteSendsEveryByteUnchangedAndNothingEchoes) {
    ASSERT_TRUE(pty_.WriteMaster("\x13"));  // XOFF toward the link: must not stop its output
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(kAwkwardBytes.data());
    EXPECT_EQ(link_->Write(bytes, kAwkwardBytes.size()), kAwkwardBytes.size());
    EXPECT_EQ(pty_.ReadMaster(kAwkwardBytes.size() + 1, 200), kAwkwardBytes);  // and no more
    EXPECT_EQ(ReadFromLink(1), "\x13");
}

TEST_F(PosixLinkTest, ReadGathersBytesArrivingInPieces) {
    const std::vector<std::string> pieces = {":00", "640106", "0030", "00E9\r\n"};
    std::string whole;
    for (const auto& piece : pieces) {
        whole += piece;
    }
    std::thread writer([&] {
        for (const auto& piece : pieces) {
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            pty_.WriteMaster(piece);
        }
    });
    const auto start = Clock::now();
    const std::string got = ReadFromLink(whole.size());
    const long elapsed = MsSince(start);
    writer.join();
    EXPECT_EQ(got, whole);
    EXPECT_GE(elapsed, 100);   // it did wait for the later pieces
    EXPECT_LT(elapsed, 1500);  // and returned once the last one arrived
}

TEST_F(PosixLinkTest, ReadEndsAtTheTimeOutWithWhatArrived) {
    struct Case {
        std::uint32_t timeoutMs;
        std::string waiting;
        std::size_t asked;
    };
    const Case cases[] = {
        {250, "", 19},     // silent line
        {250, "abc", 19},  // partial reply
        {0, "abc", 19},    // no time at all: what is there
        {0, "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("timeout " + std::to_string(c.timeoutMs) + " ms, " +
                     std::to_string(c.waiting.size()) + " bytes waiting");
        link_->SetTimeouts(Timeouts(c.timeoutMs, 2000));
        ASSERT_TRUE(pty_.WriteMaster(c.waiting));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let them reach the link
        const auto start = Clock::now();
        EXPECT_EQ(ReadFromLink(c.asked), c.waiting);
        const long elapsed = MsSince(start);
        EXPECT_GE(elapsed, static_cast<long>(c.timeoutMs) * 8 / 10);
        EXPECT_LE(elapsed, static_cast<long>(c.timeoutMs) * 2 + 50);
    }
}

TEST_F(PosixLinkTest, ReadEndsAtOnceWhenTheOtherSideHangsUp) {
    link_->SetTimeouts(Timeouts(5000, 2000));
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty_.CloseMaster();
    });
    const auto start = Clock::now();
    std::uint8_t buffer[19];
    const std::size_t got = link_->Read(buffer, sizeof buffer);
    const long elapsed = MsSince(start);
    closer.join();
    EXPECT_EQ(got, 0u);
    EXPECT_LT(elapsed, 1000);
    // And the same on the next read, without waiting out the time-out.
    const auto again = Clock::now();
    EXPECT_EQ(link_->Read(buffer, sizeof buffer), 0u);
    EXPECT_LT(MsSince(again), 1000);
    EXPECT_EQ(link_->Write(buffer, sizeof buffer), 0u);
}

TEST(PosixLinkOnMasterTest, ReadEndsAtOnceWhenTheSlaveCloses) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(master, 0);
    char name[128] = {};
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    ASSERT_EQ(::ptsname_r(master, name, sizeof name), 0);
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0);

    PosixSerialLink link(master);
    link.SetTimeouts(Timeouts(5000, 5000));
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::close(slave);
    });
    const auto start = Clock::now();
    std::uint8_t buffer[15];
    EXPECT_EQ(link.Read(buffer, sizeof buffer), 0u);
    closer.join();
    EXPECT_LT(MsSince(start), 1000);
}

// Dropping what waits on the line drops what came in, never what is on its way
// out to the PLC.
TEST_F(PosixLinkTest, DiscardDropsInputNotOutput) {
    ASSERT_TRUE(pty_.WriteMaster("stale"));
    const std::string request = ":007F81\r\n";
    ASSERT_EQ(link_->Write(reinterpret_cast<const std::uint8_t*>(request.data()), request.size()),
              request.size());
    usleep(50000);  // the stale bytes are in the link's input queue
    link_->DiscardInput();
    EXPECT_EQ(pty_.ReadMaster(request.size(), 1000), request);
    ASSERT_TRUE(pty_.WriteMaster("new"));
    EXPECT_EQ(ReadFromLink(3), "new");
}

TEST_F(PosixLinkTest, WriteGivesUpAtTheTimeOutWhenNobodyReads) {
    link_->SetTimeouts(Timeouts(2000, 200));
    const std::vector<std::uint8_t> big(4 * 1024 * 1024, 0x55);  // far beyond the line's buffers
    const auto start = Clock::now();
    const std::size_t sent = link_->Write(big.data(), big.size());
    const long elapsed = MsSince(start);
    EXPECT_GT(sent, 0u);
    EXPECT_LT(sent, big.size());
    EXPECT_GE(elapsed, 160);
    EXPECT_LE(elapsed, 450);
}

TEST_F(PosixLinkTest, WriteWaitsForTheLineToDrain) {
    // More than the line buffers at once: the write must go on as the other
    // side reads, not stop at the first "try again".
    const std::vector<std::uint8_t> big(256 * 1024, 0xA5);
    std::string received;
    std::thread reader([&] { received = pty_.ReadMaster(big.size(), 5000); });
    EXPECT_EQ(link_->Write(big.data(), big.size()), big.size());
    reader.join();
    EXPECT_EQ(received, std::string(big.size(), '\xA5'));
}

TEST_F(PosixLinkTest, LineSettingsSetTheSpeedOnTheLine) {
    const LineSettings application{9600, 7, Parity::Even, 1, true, true};
    const LineSettings transfer{115200, 8, Parity::None, 1, true, true};
    termios record{};
    link_->ApplyLineSettings(application);
    ASSERT_EQ(::tcgetattr(link_->NativeHandle(), &record), 0);
    EXPECT_EQ(::cfgetospeed(&record), static_cast<speed_t>(B9600));
    link_->ApplyLineSettings(transfer);
    ASSERT_EQ(::tcgetattr(link_->NativeHandle(), &record), 0);
    EXPECT_EQ(::cfgetospeed(&record), static_cast<speed_t>(B115200));
    EXPECT_EQ(record.c_lflag & (ICANON | ECHO), 0u);

    // The line still carries bytes unchanged after the change.
    ASSERT_TRUE(pty_.WriteMaster(kAwkwardBytes));
    EXPECT_EQ(ReadFromLink(kAwkwardBytes.size()), kAwkwardBytes);
}

}  // namespace
}  // namespace norvane::posix
