// The standalone simulated PLC over a real pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "sim_test_util.h"

namespace {

constexpr int kDeadlineMs = 5000;

// The simulated PLC program, its output read by the test.
class PlcSimProcess {
  public:
    explicit PlcSimProcess(std::vector<std::string> args)
        : child_(WithProgram(std::move(args)), Piped()) {}

    // Its output so far, once `stop` is in it or the deadline passed.
    std::string ReadUntil(const std::string& stop) {
        child_.WaitFor(stop, kDeadlineMs);
        return child_.Screen();
    }
    int Wait() { return child_.WaitExit(kDeadlineMs); }

  private:
    static std::vector<std::string> WithProgram(std::vector<std::string> args) {
        args.insert(args.begin(), NORVANE_PLCSIM_PATH);
        return args;
    }
    static norvane::test::ChildProcess::Setup Piped() {
        norvane::test::ChildProcess::Setup setup;
        setup.output = norvane::test::ChildProcess::Setup::Output::Pipe;
        return setup;
    }
    norvane::test::ChildProcess child_;
};

int OpenSlave(const std::string& path, speed_t speed) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        return fd;
    }
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

void SetSpeed(int fd, speed_t speed) {
    termios t{};
    tcgetattr(fd, &t);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    tcsetattr(fd, TCSANOW, &t);
}

std::string ReadReply(int fd, std::size_t count) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDeadlineMs);
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buf[64];
        const ssize_t n = read(fd, buf, std::min(sizeof buf, count - got.size()));
        if (n <= 0) {
            break;
        }
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

void WriteAll(int fd, const std::string& bytes) {
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

TEST(PlcSimProgram, AnswersAModeQueryOnThePrintedPath) {
    PlcSimProcess sim({"--model", "QB7", "--exit-after-burn", "--timeout", "10"});
    const std::string path = FirstLine(sim.ReadUntil("\n"));
    ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;
    const int fd = OpenSlave(path, B9600);
    ASSERT_GE(fd, 0);
    WriteAll(fd, ":006401590141\r\n");
    EXPECT_EQ(ReadReply(fd, 19), ":006401590530000D\r\n");
    close(fd);  // no handover pending: the burn is over
    EXPECT_NE(sim.ReadUntil("transfer completed: no").find("mode queries: 1"), std::string::npos);
    EXPECT_EQ(sim.Wait(), 1);
}

TEST(PlcSimProgram, ChecksTheSpeedTheToolSet) {
    PlcSimProcess sim({"--model", "NR4", "--exit-after-burn", "--timeout", "10"});
    const int fd = OpenSlave(FirstLine(sim.ReadUntil("\n")), B38400);
    ASSERT_GE(fd, 0);
    WriteAll(fd, ":006401590141\r\n");
    EXPECT_EQ(ReadReply(fd, 19).size(), 19u);
    SetSpeed(fd, B9600);
    WriteAll(fd, ":006401590141\r\n");
    EXPECT_EQ(ReadReply(fd, 19).size(), 19u);
    close(fd);
    EXPECT_NE(sim.ReadUntil("transfer completed").find("speed violations: 1\n"), std::string::npos);
    sim.Wait();
}

TEST(PlcSimProgram, BurnsAnImageAndSaysSo) {
    const auto image = plcsim::TestImage(300);
    char path[] = "/tmp/plcsim_image_XXXXXX";
    const int imageFd = mkstemp(path);
    ASSERT_GE(imageFd, 0);
    ASSERT_EQ(write(imageFd, image.data(), image.size()), static_cast<ssize_t>(image.size()));
    close(imageFd);

    PlcSimProcess sim({"--model", "NR4", "--mode", "boot", "--image", path, "--exit-after-burn",
                       "--timeout", "10"});
    const int fd = OpenSlave(FirstLine(sim.ReadUntil("\n")), B9600);
    ASSERT_GE(fd, 0);
    WriteAll(fd, "ERASE");
    EXPECT_EQ(ReadReply(fd, 1), "\x06");
    WriteAll(fd, "\x04");
    EXPECT_EQ(ReadReply(fd, 1), "\x06");
    WriteAll(fd, "UPDATE");
    EXPECT_EQ(ReadReply(fd, 1), "\x06");
    SetSpeed(fd, B115200);
    for (std::size_t at = 0, n = 1; at < image.size(); at += 128, ++n) {
        std::vector<std::uint8_t> data(128, 0x1A);
        std::copy(image.begin() + static_cast<std::ptrdiff_t>(at),
                  image.begin() + static_cast<std::ptrdiff_t>(std::min(at + 128, image.size())),
                  data.begin());
        const auto block = plcsim::testing::MakeBlock(static_cast<std::uint8_t>(n), data);
        WriteAll(fd, std::string(block.begin(), block.end()));
        EXPECT_EQ(ReadReply(fd, 1), "\x06");
    }
    WriteAll(fd, "\x04");
    EXPECT_EQ(ReadReply(fd, 1), "\x06");
    close(fd);
    const std::string out = sim.ReadUntil("flash equals image");
    EXPECT_NE(out.find("speed violations: 0"), std::string::npos);
    EXPECT_NE(out.find("flash equals image: yes"), std::string::npos) << out;
    EXPECT_EQ(sim.Wait(), 0);
    unlink(path);
}

}  // namespace
