// A station that is left running on a PC others log into, among devices the line
// plugs in: what a device, a file, another station, a package upgrade or a lock
// folder does to it never makes it burn a unit twice, leave one unburnt, hang or
// show a person what a device chose to say.
#include <sys/stat.h>

#include <filesystem>

#include "burn/untrusted_text.h"
#include "port/posix/plc_lock.h"
#include "station_line.h"

namespace norvane::test {
namespace {

namespace fs = std::filesystem;

// A serial number a device chose to clear the screen with, and an image whose
// name is no UTF-8: shown escaped on every face, written as UTF-8 in the record.
TEST(StationSafety, WhatADeviceOrAFileSaysIsShownEscaped) {
    const std::string hostile = "SN\x1b[2J\x1b[H\x1b]0;owned\aFAKE";
    const ImageFile image("PV_\xff\xfe.bin", 20000);
    FakeUsbSockets sockets;
    ServedPv unit;
    unit.ServeUntilStarted();
    const auto replug = [&] {
        sockets.Unplug("1-2");
        usleep(300000);
        sockets.Plug("1-2", "ttyACM2", unit.Port(), hostile);
    };
    const std::string record = ::testing::TempDir() + "escaped-" + std::to_string(getpid());
    ChildProcess::Setup setup;
    setup.output = ChildProcess::Setup::Output::Pipe;
    setup.environment = sockets.Environment();
    ChildProcess station(
        {kPvTool, "--watch", "--port", "usb-path:1-2", "--image", image.path(), "--record", record},
        setup);
    ASSERT_TRUE(station.WaitFor("station watching", 10000)) << station.Screen();
    sockets.Plug("1-2", "ttyACM2", unit.Port(), hostile);
    ASSERT_TRUE(station.WaitFor("replug the USB cable now", 30000)) << station.Screen();
    replug();
    // Once burnt, it is replugged again to start its new firmware.
    for (int wait = 0; wait < 300 && !unit.TransferDone(); ++wait) {
        station.Read(100);
    }
    usleep(500000);
    replug();
    ASSERT_TRUE(station.WaitFor("usb-path:1-2: done: take it out", 60000)) << station.Screen();
    const CapturedRun list = RunCaptured({kPvTool, "--list"}, 10000, sockets.Environment());
    sockets.Unplug("1-2");
    for (int wait = 0; wait < 50 && station.Screen().rfind("1-2: empty") <
                                        station.Screen().find("done: take it out");
         ++wait) {
        station.Read(200);
    }
    ServedPv again;
    sockets.Plug("1-2", "ttyACM2", again.Port(), hostile);
    ASSERT_TRUE(station.WaitFor("already burnt", 10000)) << station.Screen();
    station.Signal(SIGTERM);
    EXPECT_EQ(station.WaitExit(30000), 0);
    for (const std::string& shown : {station.Screen(), list.output}) {
        EXPECT_EQ(shown.find('\x1b'), std::string::npos) << shown;
        EXPECT_NE(shown.find("SN\\x1B[2J\\x1B[H\\x1B]0;owned\\x07FAKE"), std::string::npos)
            << shown;
    }
    EXPECT_NE(station.Screen().find("PV_\\xFF\\xFE.bin"), std::string::npos);
    EXPECT_EQ(station.Screen().find("take_out"), std::string::npos);  // the row's words, no codes
    const std::vector<JsonObject> lines = RecordLines(record);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Text("image"), "PV_\\xFF\\xFE.bin");
    std::ifstream in(record);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(AsUtf8(text), text);
    std::remove(record.c_str());
}

// A unit burnt with another image is burnt again; with this one, it is not.
TEST(StationSafety, AUnitIsDoneOnlyWithTheSameImage) {
    FakeUsbSockets sockets;
    Line first(sockets);
    ServedPv unit;
    first.Plug("1-2", unit, "V1");
    ASSERT_TRUE(first.Await("1-2", "take_out", "done")) << first.Output();
    first.Unplug("1-2");
    EXPECT_EQ(first.Stop(), 0);
    const ImageFile newer("PV_v2.bin", 20001);
    Line second(sockets, {"--image", newer.path()});
    ServedPv back;
    second.Plug("1-3", back, "V1");
    ASSERT_TRUE(second.Await("1-3", "working", "it had PV_e2e_test.bin")) << second.Output();
    ASSERT_TRUE(second.Await("1-3", "take_out", "done")) << second.Output();
    EXPECT_TRUE(back.FlashHolds(newer.bytes()));
    EXPECT_EQ(second.Stop(), 0);
    EXPECT_EQ(second.Records().size(), 2u);
}

// Two units that say they are one: neither is burnt, and both are told.
TEST(StationSafety, TwoUnitsWithOneSerialNumberAreBothRefused) {
    FakeUsbSockets sockets;
    Line line(sockets);
    ServedPv one;
    ServedPv two;
    line.Pause();  // both plugged while it hears nothing
    line.Plug("1-2", one, "D1");
    line.Plug("1-3", two, "D1");
    line.Signal(SIGCONT);
    for (const char* socket : {"1-2", "1-3"}) {
        ASSERT_TRUE(line.Await(socket, "take_out", "two units with the USB serial number D1"))
            << line.Output();
    }
    EXPECT_EQ(line.Stop(), 0);
    EXPECT_EQ(line.Starts(), 0u);
}

// One station per socket: the second leaves it alone, naming the first, and
// takes it over once the first has gone.
TEST(StationSafety, TwoStationsNeverRaceForOneSocket) {
    FakeUsbSockets sockets;
    Line a(sockets, {"--port", "usb-path:1-2"});
    Line b(sockets, {"--port", "usb-path:1-2"});
    ASSERT_TRUE(b.Await("1-2", "other_station", "pid " + std::to_string(a.Pid()))) << b.Output();
    ServedPv unit;
    a.Plug("1-2", unit, "W1");
    ASSERT_TRUE(a.Await("1-2", "take_out", "done")) << a.Output();
    EXPECT_EQ(a.Stop(), 0);
    ASSERT_TRUE(b.Await("1-2", "take_out", "took the socket over")) << b.Output();
    EXPECT_EQ(b.Stop(), 0);
    EXPECT_EQ(b.Starts(), 0u);
    EXPECT_EQ(b.Records().size(), 1u);  // one record for both
}

// A package upgrade puts a new program where the station's was: its burns go on
// with the program it runs.
TEST(StationSafety, BurnsWithTheProgramItRunsAfterAnUpgrade) {
    const std::string copy = ::testing::TempDir() + "upgraded-" + std::to_string(getpid());
    fs::copy_file(kPvTool, copy, fs::copy_options::overwrite_existing);
    FakeUsbSockets sockets;
    Line line(sockets, {}, {}, copy);
    std::ofstream(copy + ".new") << "#!/bin/sh\nexit 3\n";
    fs::permissions(copy + ".new", fs::perms::owner_all);
    fs::rename(copy + ".new", copy);  // as dpkg replaces a file
    ServedPv unit;
    line.Plug("1-2", unit, "P1");
    ASSERT_TRUE(line.Await("1-2", "take_out", "done")) << line.Output();
    EXPECT_TRUE(unit.FlashHoldsImage());
    EXPECT_EQ(line.Stop(), 0);
    std::remove(copy.c_str());
}

// The terminal it was started from going away stops a station; without one (a
// service) a hang-up does not.
TEST(StationSafety, AStationStopsWithItsTerminalOnly) {
    FakeUsbSockets sockets;
    ChildProcess::Setup setup;
    setup.environment = sockets.Environment();
    ChildProcess onTerminal({kPvTool, "--watch", "--placeholder", "--port", "usb-path:1-2"}, setup);
    ASSERT_TRUE(onTerminal.WaitFor("1-2  empty", 10000)) << onTerminal.Screen();
    onTerminal.Close();
    EXPECT_EQ(onTerminal.WaitExit(20000), 0);
    Line service(sockets);
    service.Signal(SIGHUP);
    ServedPv unit;
    service.Plug("1-2", unit, "H2");
    ASSERT_TRUE(service.Await("1-2", "take_out", "done")) << service.Output();
    EXPECT_EQ(service.Stop(), 0);
}

// What is planted at a PLC's lock, or a lock folder the program may not write (as
// the shipped unit would see /run/lock), stops that burn before a byte is sent,
// saying why; the station goes on with every other unit.
TEST(StationSafety, ABurnNeverGoesOnWithoutItsLock) {
    FakeUsbSockets sockets;
    const std::string& locks = sockets.LockFolder();
    ::mkfifo((locks + "/" + posix::PlcLockFileName("usb-serial-F1")).c_str(), 0666);
    Line line(sockets);
    ServedPv trapped;
    ServedPv good;
    line.Plug("1-2", trapped, "F1");
    line.Plug("1-3", good, "G1");
    ASSERT_TRUE(line.Await("1-2", "take_out", "its lock cannot be taken")) << line.Output();
    ASSERT_TRUE(line.Await("1-3", "take_out", "done")) << line.Output();
    EXPECT_NE(line.Output().find("is a FIFO, not a lock this program made"), std::string::npos);
    trapped.Stop();
    EXPECT_EQ(trapped.Received(), 0u);
    EXPECT_EQ(line.Stop(), 1);
    if (RunCaptured({"unshare", "-m", "true"}, 5000).exitStatus != 0) {
        GTEST_SKIP() << "no mount namespace here for a read-only lock folder";
    }
    for (const char* check : {"--yes", "--check"}) {
        SCOPED_TRACE(check);
        ServedPv plc;
        const CapturedRun run = RunCaptured(
            {"unshare", "-m", "sh", "-c", "mount --bind -o ro \"$0\" \"$0\" && exec \"$@\"", locks,
             kPvTool, "--placeholder", "--port", plc.Port(), check},
            20000, {"NORVANE_FWUPDATE_LOCK_DIR=" + locks});
        EXPECT_EQ(run.exitStatus, 1) << run.output;
        EXPECT_NE(run.output.find("its lock cannot be taken: cannot make the lock"),
                  std::string::npos)
            << run.output;
        EXPECT_EQ(run.output.find("ready to burn"), std::string::npos);
        plc.Stop();
        EXPECT_EQ(plc.Received(), 0u);
    }
}

}  // namespace
}  // namespace norvane::test
