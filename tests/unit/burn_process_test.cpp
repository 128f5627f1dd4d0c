// A burn's process as the station starts it: it gets the image whole on its
// input, whatever its size, and no descriptor of this process but its three
// standard ones, so that a port another thread here had open is never held by it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "line/machine.h"
#include "line/process_supervisor.h"

namespace norvane::line {
namespace {

constexpr char kChildMode[] = "NORVANE_TEST_BURN_CHILD_FD";

// Run as the child below: what reached it on its input, and whether the
// descriptor named in the environment came with it.
TEST(BurnProcess, ChildSide) {
    const char* fd = std::getenv(kChildMode);
    if (fd == nullptr) {
        GTEST_SKIP() << "run as a burn's process by the test below";
    }
    std::size_t input = 0;
    char buffer[65536];
    for (ssize_t n = 0; (n = read(STDIN_FILENO, buffer, sizeof buffer)) > 0;) {
        input += static_cast<std::size_t>(n);
    }
    std::printf("\ninput %zu inherited %d\n", input, fcntl(std::atoi(fd), F_GETFD) >= 0 ? 1 : 0);
}

TEST(BurnProcess, GetsItsWholeInputAndNoDescriptorOfOurs) {
    // Inheritable, as a descriptor a library opened carelessly would be.
    const int held = open("/dev/null", O_RDONLY);
    ASSERT_GE(held, 0);
    setenv(kChildMode, std::to_string(held).c_str(), 1);
    // None (its input from nowhere), what fits a pipe, more than any pipe takes.
    for (const std::size_t size : {std::size_t{0}, std::size_t{16384}, std::size_t{3} << 20}) {
        const std::vector<std::uint8_t> image(size, 0x5A);
        std::string error;
        const std::unique_ptr<machine::Child> child = machine::StartChild(
            {"--gtest_filter=BurnProcess.ChildSide", "--gtest_brief=1"}, image, error);
        ASSERT_NE(child, nullptr) << error;
        std::string said;
        char buffer[4096];
        for (std::size_t n = 0; (n = child->Read(buffer, sizeof buffer)) > 0;) {
            said.append(buffer, n);
        }
        EXPECT_EQ(child->Wait(), 0) << said;
        EXPECT_NE(said.find("\ninput " + std::to_string(size) + " inherited 0\n"),
                  std::string::npos)
            << said;
    }
    unsetenv(kChildMode);
    close(held);
}

// The station sleeps in Next until its next look; what happens beside it (a
// unit comes, an answer, a signal) must end that sleep at once.
TEST(BurnProcess, AWakeEndsTheWaitForNews) {
    ProcessSupervisor burns(BurnSettings{}, std::chrono::seconds(60));
    std::thread waker([&burns] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        burns.Wake();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(burns.Next(std::chrono::seconds(30)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    waker.join();
}

}  // namespace
}  // namespace norvane::line
