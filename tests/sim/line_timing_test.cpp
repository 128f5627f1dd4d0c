// The served line's timing: bytes on a paced wire, and the figures the line
// benchmarks read (what the wire, the PLC and the tool each took).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "line_meter.h"
#include "pty_server.h"
#include "wire_direction.h"

namespace plcsim {
namespace {

TEST(WireDirection, BytesFollowEachOtherAtTheirCharacterTime) {
    WireDirection wire;
    const double us = CharacterUs(9600);  // 1041.67
    const std::uint8_t a[] = {1, 2, 3};
    wire.Queue(a, 3, 1000, us);
    const std::uint8_t b[] = {4};
    wire.Queue(b, 1, 2000, us);  // the line is still busy with the first three
    ASSERT_EQ(wire.Size(), 4u);
    const std::uint64_t expected[] = {2042, 3084, 4125, 5167};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(wire.At(i).atUs, expected[i]) << i;
    }
    EXPECT_EQ(wire.DueCount(3083), 1u);
    EXPECT_EQ(wire.DueCount(5167), 4u);
    wire.Drop(4);
    wire.Queue(b, 1, 9000, us);  // an idle line starts when the byte does
    EXPECT_EQ(wire.NextDueUs(), std::optional<std::uint64_t>(10042));
    EXPECT_EQ(CharacterUs(0), 0.0);
}

// A short bootloader conversation as the server reports it to the meter.
TEST(LineMeter, SplitsEachPhaseIntoWirePlcAndTool) {
    LineMeter meter;
    constexpr double kUs = 10;      // per character
    meter.ToolBytes(1000, 5, kUs);  // "ERASE"
    meter.Request(Exchange::BootErase);
    meter.PlcBusy(100);
    meter.ReplyByte(1200, 0x06, Exchange::BootErase, kUs);
    meter.LineQuiet(1200);
    meter.ToolBytes(1230, 1, kUs);  // EOT after a 30 us turnaround
    meter.Request(Exchange::BootEraseEnd);
    meter.ReplyByte(1260, 0x06, Exchange::BootEraseEnd, kUs);
    meter.LineQuiet(1260);
    meter.ToolBytes(201260, 6, kUs);  // "UPDATE" after a deliberate 200 ms pause
    meter.Request(Exchange::BootUpdate);
    meter.ReplyByte(201400, 0x06, Exchange::BootUpdate, kUs);
    meter.LineQuiet(201400);
    for (std::uint64_t block = 0, t = 201450; block < 3; ++block, t += 2000) {
        meter.ToolBytes(t, 133, kUs);
        meter.Request(Exchange::Block);
        meter.ReplyByte(t + 1500, 0x06, Exchange::Block, kUs);
        meter.LineQuiet(t + 1500);
    }
    meter.ToolBytes(207500, 1, kUs);
    meter.Request(Exchange::TransferEnd);
    meter.ReplyByte(207600, 0x06, Exchange::TransferEnd, kUs);

    const LineFigures& f = meter.Figures();
    ASSERT_TRUE(f.erase.ended);
    EXPECT_EQ(f.erase.startUs, 1000u);
    EXPECT_EQ(f.erase.endUs, 1260u);
    EXPECT_DOUBLE_EQ(f.erase.totals.wireUs, 8 * kUs);
    EXPECT_EQ(f.erase.totals.plcBusyUs, 100u);
    EXPECT_EQ(f.erase.totals.turnaroundUs, 30u);
    EXPECT_EQ(f.erase.totals.waitingUs, 0u);

    ASSERT_TRUE(f.transfer.ended);
    EXPECT_EQ(f.transfer.startUs, 201450u);
    EXPECT_EQ(f.transfer.endUs, 207600u);
    EXPECT_DOUBLE_EQ(f.transfer.totals.wireUs, (3 * 134 + 2) * kUs);
    EXPECT_EQ(f.transfer.totals.turnaroundUs, 500 + 500 + 550u);  // the last one before the EOT
    EXPECT_EQ(f.blocksAcknowledged, 3u);
    EXPECT_EQ(f.ackToBlockCount, 2u);
    EXPECT_DOUBLE_EQ(f.MeanAckToBlockUs(), 500);

    EXPECT_EQ(f.burn.totals.waitingUs, 200000u);
    EXPECT_EQ(f.burn.totals.bytesFromTool, 5 + 1 + 6 + 3 * 133 + 1u);
    EXPECT_EQ(f.burn.totals.bytesToTool, 7u);
}

TEST(LineMeter, IgnoresTheLineBeforeTheToolsFirstByte) {
    LineMeter meter;
    meter.LineQuiet(0);
    meter.ToolBytes(5000000, 1, 10);
    EXPECT_EQ(meter.Figures().burn.totals.waitingUs, 0u);
    EXPECT_EQ(meter.Figures().burn.totals.turnaroundUs, 0u);
}

// The served PLC on a paced line: the mode query and its reply take their time on the
// wire at 9600 baud, and the line's figures say so.
TEST(PtyServer, PacedLineTakesEachCharactersTime) {
    PlcConfig config;
    config.model = "NT4";
    config.checkFraming = false;
    SimulatedPlc plc(config);
    PtyServer server(plc);
    std::string error;
    ASSERT_TRUE(server.Open(error)) << error;
    ServeOptions options;
    options.exitAfterBurn = true;
    options.idleTimeoutSeconds = 10;
    options.paceLine = true;
    std::thread serving([&] { server.Serve(options); });

    const int fd = open(server.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    tcsetattr(fd, TCSANOW, &t);
    const std::string query = ":006401590141\r\n";
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(write(fd, query.data(), query.size()), static_cast<ssize_t>(query.size()));
    std::string reply;
    while (reply.size() < 19) {
        pollfd p{fd, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 5000), 1);
        char buf[32];
        const ssize_t n = read(fd, buf, sizeof buf);
        ASSERT_GT(n, 0);
        reply.append(buf, static_cast<std::size_t>(n));
    }
    const auto took = std::chrono::steady_clock::now() - start;
    close(fd);
    serving.join();

    const double wireUs = (15 + 19) * CharacterUs(9600);
    EXPECT_EQ(reply, ":0064015905000E2F\r\n");
    // Never sooner than the wire allows; how much later is the benchmarks' business.
    const double tookUs = std::chrono::duration<double, std::micro>(took).count();
    EXPECT_GE(tookUs, wireUs - 1);
    EXPECT_NEAR(server.Figures().burn.totals.wireUs, wireUs, 1);
}

}  // namespace
}  // namespace plcsim
