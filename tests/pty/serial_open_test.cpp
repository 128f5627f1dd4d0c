// Opening ports: exclusive hold, and failures that say why and what to do.
#include "port/posix/serial_open.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "fake_sysfs.h"
#include "port/posix/plc_lock.h"
#include "port/posix/port_factory.h"
#include "pty_pair.h"

namespace norvane::posix {
namespace {

TEST(SerialOpenTest, SecondOpenerIsRefusedAndTheHolderNamed) {
    test::PtyPair pty;
    ASSERT_GE(pty.master(), 0);
    SerialOpenResult first = OpenSerialPort(pty.slavePath());
    ASSERT_TRUE(first.link) << DescribeOpenFailure(first.failure);

    // Refused even when run as root, where the terminal's exclusive mode is waived.
    SerialOpenResult second = OpenSerialPort(pty.slavePath());
    EXPECT_FALSE(second.link);
    EXPECT_EQ(second.failure.kind, OpenFailureKind::Busy);
    EXPECT_EQ(second.failure.path, pty.slavePath());
    ASSERT_EQ(second.failure.holders.size(), 1u);
    EXPECT_EQ(second.failure.holders[0].pid, static_cast<int>(::getpid()));
    EXPECT_EQ(second.failure.holders[0].command,
              CommandLineOf("/proc/self"));  // whole, not cut short
    const std::string text = DescribeOpenFailure(second.failure);
    EXPECT_NE(text.find("busy"), std::string::npos) << text;
    EXPECT_NE(text.find("pid " + std::to_string(::getpid())), std::string::npos) << text;

    // Once the first link is gone the port opens again (as after a replug prompt).
    first.link.reset();
    SerialOpenResult third = OpenSerialPort(pty.slavePath());
    EXPECT_TRUE(third.link) << DescribeOpenFailure(third.failure);
}

TEST(SerialOpenTest, FailuresAreClassified) {
    const std::string regularFile = (std::filesystem::temp_directory_path() /
                                     ("norvane-not-a-tty-" + std::to_string(::getpid())))
                                        .string();
    std::ofstream(regularFile) << "x";
    struct Case {
        std::string path;
        OpenFailureKind kind;
    };
    const Case cases[] = {
        {"/dev/norvane-no-such-port", OpenFailureKind::NotFound},
        {regularFile, OpenFailureKind::NotASerialPort},
        {"/dev/null", OpenFailureKind::NotASerialPort},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        SerialOpenResult result = OpenSerialPort(c.path);
        EXPECT_FALSE(result.link);
        EXPECT_EQ(result.failure.kind, c.kind);
        EXPECT_FALSE(OpenFailureHint(result.failure).empty());
        EXPECT_NE(DescribeOpenFailure(result.failure).find(c.path), std::string::npos);
    }
    std::filesystem::remove(regularFile);
    // A serial node with no hardware behind it answers "no such device or address".
    OpenFailure failure;
    failure.kind = ClassifyOpenError(ENXIO);
    failure.path = "/dev/ttyS9";
    EXPECT_EQ(DescribeOpenFailure(failure), "cannot open /dev/ttyS9: no such port");
}

TEST(SerialOpenTest, PermissionDeniedPointsAtTheDialoutGroup) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root may open any port";
    }
    test::PtyPair pty;
    ASSERT_GE(pty.master(), 0);
    ASSERT_EQ(::chmod(pty.slavePath().c_str(), 0), 0);
    SerialOpenResult result = OpenSerialPort(pty.slavePath());
    EXPECT_FALSE(result.link);
    EXPECT_EQ(result.failure.kind, OpenFailureKind::PermissionDenied);
    const std::string hint = OpenFailureHint(result.failure);
    EXPECT_NE(hint.find("dialout"), std::string::npos) << hint;
    EXPECT_NE(hint.find("99-norvane-plc.rules"), std::string::npos) << hint;
}

TEST(PortFactoryTest, NamesAndPathsOpenTheSamePort) {
    test::PtyPair pty;
    ASSERT_GE(pty.master(), 0);
    const std::string nameUnderDev = pty.slavePath().substr(5);  // "pts/N"
    EXPECT_EQ(DevicePathForPortName("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(DevicePathForPortName(nameUnderDev), nameUnderDev);  // holds '/': a path
    EXPECT_TRUE(PortOpener("").OpenSerial(pty.slavePath(), nullptr));
    EXPECT_TRUE(PortOpener(pty.slavePath()).OpenUsbPlc(nullptr));  // a path skips the lookup

    OpenFailure failure;
    EXPECT_FALSE(PortOpener("").OpenSerial("norvane-no-such-port", &failure));
    EXPECT_EQ(failure.kind, OpenFailureKind::NotFound);
    EXPECT_EQ(failure.path, "/dev/norvane-no-such-port");
}

TEST(PortFactoryTest, NoPlcOnUsbIsReportedAsSuch) {
    test::FakeSysfs sysfs;
    sysfs.AddTty("ttyS0", "pnp0/00:01", "4");
    OpenFailure failure;
    EXPECT_FALSE(PortOpener("", std::chrono::seconds(30), sysfs.root()).OpenUsbPlc(&failure));
    EXPECT_EQ(failure.kind, OpenFailureKind::NoUsbPlc);
    EXPECT_NE(DescribeOpenFailure(failure).find("6c2e:0001"), std::string::npos);
    EXPECT_FALSE(OpenFailureHint(failure).empty());
}

}  // namespace
}  // namespace norvane::posix

namespace norvane::posix {
namespace {

// The port's own settings come back when the burn lets it go for good, not at a
// close between its passes (the close before the replug or power-cycle prompt).
TEST(PortFactoryTest, APortLetGoHasItsOwnSettingsBack) {
    test::PtyPair pty;
    const auto canonical = [&pty] {
        termios now{};
        return tcgetattr(pty.master(), &now) == 0 && (now.c_lflag & ICANON) != 0;
    };
    ASSERT_TRUE(canonical());
    PortOpener opener(pty.slavePath());
    EXPECT_TRUE(opener.OpenUsbPlc(nullptr));  // opened raw, then closed for the prompt
    EXPECT_FALSE(canonical());
    LinkPtr link = opener.OpenUsbPlc(nullptr);
    ASSERT_TRUE(link);
    opener.LetGo();
    EXPECT_TRUE(canonical());
}

}  // namespace
}  // namespace norvane::posix
