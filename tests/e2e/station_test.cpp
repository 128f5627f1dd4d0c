// A station's day on a line, against simulated PLCs in fake USB sockets: units
// plugged in, burnt, taken out; units that fail, one in RUN mode, one pulled out
// mid-burn, one plugged back in after its success, one there before the station
// started, a socket whose cable comes and goes. Every unit is burnt once at most,
// every burn has its record line, and the station leaves no process behind.
#include "pty_pair.h"
#include "station_line.h"

namespace norvane::test {
namespace {

TEST(Station, ADayOnTheLine) {
    FakeUsbSockets sockets;
    ServedPv before;
    sockets.Plug("1-4", "ttyACM4", before.Port(), "BEFORE");
    Line line(sockets);
    // There before the station started: never burnt, to be taken out.
    ASSERT_TRUE(line.Await("1-4", "take_out", "there when the station started")) << line.Output();
    line.Unplug("1-4");
    ASSERT_TRUE(line.Await("1-4", "empty")) << line.Output();

    ServedPv first;
    line.Plug("1-2", first, "U1");
    ASSERT_TRUE(line.Await("1-2", "take_out", "done")) << line.Output();
    EXPECT_TRUE(first.FlashHoldsImage());

    plcsim::PlcConfig running;
    running.runMode = true;
    ServedPv inRunMode(running);
    line.Plug("1-3", inRunMode, "U2");
    ASSERT_TRUE(line.Await("1-3", "take_out", "switch it to STOP")) << line.Output();

    // The first unit back in another socket: known by its serial number.
    line.Unplug("1-2");
    ASSERT_TRUE(line.Await("1-2", "empty"));
    ServedPv again;
    line.Plug("1-4", again, "U1");
    ASSERT_TRUE(line.Await("1-4", "take_out", "already burnt")) << line.Output();
    line.Unplug("1-4");
    line.Unplug("1-3");

    // A unit of a model this station has no image for is asked what it is, and
    // nothing more.
    plcsim::PlcConfig other;
    other.appTypeId = 0x3000;
    ServedPv wrong(other);
    line.Plug("1-2", wrong, "U3");
    ASSERT_TRUE(line.Await("1-2", "take_out", "no image for a QB7 here: take it out"))
        << line.Output();
    line.Unplug("1-2");
    wrong.Stop();
    EXPECT_EQ(wrong.Requests(plcsim::Exchange::EraseRequest), 0u);

    // A unit pulled out during its transfer: the burn fails, and says so.
    plcsim::PlcConfig slow;
    slow.flashWriteTimeMs = 50;
    auto pulled = std::make_unique<ServedPv>(slow);
    line.Plug("1-3", *pulled, "U4");
    ASSERT_TRUE(line.AwaitPhase("1-3", "Programming")) << line.Output();
    line.Unplug("1-3");
    pulled.reset();
    ASSERT_TRUE(line.Await("1-3", "take_out", "failed")) << line.Output();
    line.Unplug("1-3");

    // A record that cannot be written: nothing more is burnt, and the row says why.
    const std::vector<JsonObject> records = line.Records();
    line.LoseTheRecord();
    ServedPv unrecorded;
    line.Plug("1-2", unrecorded, "U5");
    ASSERT_TRUE(line.Await("1-2", "take_out", "the record cannot be written")) << line.Output();

    EXPECT_EQ(line.Stop(), 1);  // units failed, one was in RUN mode
    // One record line per unit: the burns of the first unit and the pulled one,
    // and those the station ended untouched, the one in RUN mode and the one it
    // has no image for; the first unit only once, proven to run its firmware.
    EXPECT_EQ(records.size(), line.Starts() + 2);
    std::map<std::string, std::string> outcomes;
    for (const JsonObject& r : records) {
        EXPECT_TRUE(outcomes.emplace(r.Text("usb_serial"), r.Text("outcome")).second);
        EXPECT_EQ(r.Flag("verified"), r.Text("outcome") == "success");
    }
    EXPECT_EQ(outcomes["U1"], "success");
    EXPECT_EQ(outcomes["U2"], "run_mode");
    EXPECT_EQ(outcomes["U3"], "no_image");
    EXPECT_EQ(line.BurnsLeft(), 0);
}

// A burn that hangs mid-transfer is ended once it has said nothing for the
// limit (shortened here), and told on its row and in its record.
TEST(Station, EndsABurnThatSaysNothing) {
    FakeUsbSockets sockets;
    Line line(sockets, {}, {"NORVANE_FWUPDATE_SILENCE_LIMIT=5"});
    plcsim::PlcConfig slow;
    slow.flashWriteTimeMs = 50;
    ServedPv plc(slow);
    line.Plug("1-2", plc, "H1");
    ASSERT_TRUE(line.AwaitPhase("1-2", "Programming")) << line.Output();
    line.HangBurns();
    ASSERT_TRUE(line.Await("1-2", "take_out", "said nothing for 5 s and was ended"))
        << line.Output();
    line.Unplug("1-2");
    EXPECT_EQ(line.Stop(), 1);
    const std::vector<JsonObject> records = line.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Text("written_by"), "parent");
    EXPECT_TRUE(records[0].Flag("erase_begun"));
    EXPECT_EQ(line.BurnsLeft(), 0);
}

// A serial port is asked for a PLC at most once a second between burns; one that
// answers is burnt, and once it has gone silent the port takes the next.
TEST(Station, WatchesASerialPort) {
    const ImageFile nt4("NT4_station.bin", 20000);
    // The serial port: a node the PLC is connected behind once the station runs.
    const std::string port = ::testing::TempDir() + "ttyS7-" + std::to_string(getpid());
    std::remove(port.c_str());
    FakeUsbSockets sockets;
    ServedPv plc("NT4", {}, true);
    Line line(sockets, {"--image", nt4.path(), "--port", port});
    ASSERT_TRUE(line.Await(port, "missing", "no such port")) << line.Output();
    ASSERT_EQ(symlink(plc.Port().c_str(), port.c_str()), 0);
    ASSERT_TRUE(line.Await(port, "take_out", "done")) << line.Output();
    plc.Stop();  // taken away: the port is silent
    EXPECT_TRUE(plc.FlashHolds(nt4.bytes()));
    ASSERT_TRUE(line.Await(port, "empty")) << line.Output();
    EXPECT_EQ(line.Stop(), 0);
    EXPECT_EQ(line.Records().size(), 1u);
    std::remove(port.c_str());
}

// One station for several models: each unit gets its own model's image from the
// folder, a USB unit and a serial one alike, and is seen to start it; a hang-up
// reads the folder again, and the next unit gets the image that is there now.
TEST(Station, OneStationForSeveralModels) {
    auto pvA = std::make_unique<ImageFile>("PV_a.bin", 20000);
    const ImageFile nt4("NT4_a.bin", 20000);
    const std::string dir = nt4.path().substr(0, nt4.path().rfind('/'));
    std::ofstream(dir + "/readme.txt") << "what is no image is left alone\n";
    const std::string port = ::testing::TempDir() + "ttyS8-" + std::to_string(getpid());
    std::remove(port.c_str());
    FakeUsbSockets sockets;
    Line line(sockets, {"--image-dir", dir, "--port", port, "--port", "usb-path:1-2"});
    ASSERT_TRUE(line.Await(port, "missing")) << line.Output();
    ServedPv serial("NT4", {}, true);
    ASSERT_EQ(symlink(serial.Port().c_str(), port.c_str()), 0);
    ServedPv pv;
    line.Plug("1-2", pv, "P1");
    ASSERT_TRUE(line.Await("1-2", "take_out", "done")) << line.Output();
    ASSERT_TRUE(line.Await(port, "take_out", "done")) << line.Output();
    EXPECT_TRUE(pv.FlashHolds(pvA->bytes()));
    serial.Stop();
    EXPECT_TRUE(serial.FlashHolds(nt4.bytes()));

    pvA.reset();
    const ImageFile pvB("PV_b.bin", 24000);
    line.Signal(SIGHUP);
    ASSERT_TRUE(line.AwaitThat(
        [&] {
            return line.Output().find("the images were read again: NT4_a.bin, PV_b.bin") !=
                   std::string::npos;
        },
        10))
        << line.Output();
    line.Unplug("1-2");
    ASSERT_TRUE(line.Await("1-2", "empty")) << line.Output();
    ServedPv next;
    line.Plug("1-2", next, "P2");
    ASSERT_TRUE(line.Await("1-2", "take_out", "done")) << line.Output();
    EXPECT_TRUE(next.FlashHolds(pvB.bytes()));
    EXPECT_EQ(line.Stop(), 0);
    std::map<std::string, std::string> images;  // by the port, and the USB serial number
    for (const JsonObject& r : line.Records()) {
        EXPECT_TRUE(r.Flag("verified"));
        images[r.Text("port") + " " + r.Text("usb_serial")] = r.Text("image");
    }
    EXPECT_EQ(images, (std::map<std::string, std::string>{{"usb-path:1-2 P1", "PV_a.bin"},
                                                          {"usb-path:1-2 P2", "PV_b.bin"},
                                                          {port + " ", "NT4_a.bin"}}));
    std::remove((dir + "/readme.txt").c_str());
    std::remove(port.c_str());
}

// A unit that comes back in its bootloader after its burn did not take: told so
// on its row, and recorded as a failure of its own.
TEST(Station, AUnitThatDoesNotStartIsToldSo) {
    FakeUsbSockets sockets;
    Line line(sockets);
    plcsim::PlcConfig stuck;
    stuck.newFirmwareStarts = false;
    ServedPv unit(stuck);
    line.Plug("1-2", unit, "B1");
    ASSERT_TRUE(
        line.Await("1-2", "take_out", "it must be burnt again (burnt, but it did not start)"))
        << line.Output();
    EXPECT_EQ(line.Stop(), 1);
    const std::vector<JsonObject> records = line.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Text("outcome"), "not_running");
    EXPECT_EQ(records[0].Text("message"),
              "burnt, but it did not start: it came back in its bootloader");
    EXPECT_FALSE(records[0].Flag("verified"));
}

// Every form of --port a station takes names a socket it watches, a unit there
// before it started included; "USB", which names no socket, is refused.
TEST(Station, EveryFormOfPortItTakesIsASocket) {
    FakeUsbSockets sockets;
    ServedPv unit;
    sockets.Plug("1-2", "ttyACM2", unit.Port(), "F1");
    const std::string node =
        sockets.Environment()[1].substr(sizeof "NORVANE_FWUPDATE_DEV=" - 1) + "/ttyACM2";
    const struct {
        std::string port;
        std::string socket;  // as its events name it; empty: refused
    } cases[] = {
        {"usb-path:1-2", "usb-path:1-2"},
        {"usb-serial:F1", "usb-serial:F1"},
        {node, "usb-path:1-2"},
        {"USB", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        ChildProcess::Setup setup;
        setup.output = ChildProcess::Setup::Output::Pipe;
        setup.environment = sockets.Environment();
        ChildProcess station({kPvTool, "--watch", "--json", "--placeholder", "--port", c.port},
                             setup);
        if (c.socket.empty()) {
            EXPECT_EQ(station.WaitExit(10000), 2);
            EXPECT_NE(station.Screen().find("a station watches usb-path:"), std::string::npos);
            continue;
        }
        EXPECT_TRUE(station.WaitFor(
            R"("port": ")" + c.socket + R"(", "state": "take_out", "message": "it was there)",
            10000))
            << station.Screen();
        station.Signal(SIGTERM);
        EXPECT_EQ(station.WaitExit(10000), 0);
    }
}

// A station that dies leaves its burns to finish and record themselves; a station
// started in its place shows their sockets as busy and burns nothing there.
TEST(Station, ARestartedStationLeavesTheBurnsOfTheDeadOneAlone) {
    FakeUsbSockets sockets;
    auto dead = std::make_unique<Line>(sockets);
    plcsim::PlcConfig slow;
    slow.flashWriteTimeMs = 20;
    ServedPv unit(slow);
    dead->Plug("1-2", unit, "R1");
    ASSERT_TRUE(dead->AwaitPhase("1-2", "Programming")) << dead->Output();
    dead->Signal(SIGKILL);
    EXPECT_EQ(dead->Wait(), -1);
    Line restarted(sockets);
    ASSERT_TRUE(restarted.Await("1-2", "busy", "another program burns this PLC"))
        << restarted.Output();
    // Its burn goes on to its end; the technician replugs it, as its burn asks
    // (on the dead station's face), to see it start.
    for (int wait = 0; wait < 600 && !unit.TransferDone(); ++wait) {
        usleep(100000);
    }
    ASSERT_TRUE(unit.TransferDone());
    usleep(500000);
    sockets.Unplug("1-2");
    usleep(300000);
    sockets.Plug("1-2", "ttyACM2", unit.Port(), "R1");
    EXPECT_TRUE(unit.FlashHoldsImage());
    // Its record line, once written, tells the station the unit is done, there
    // and wherever it comes back.
    ASSERT_TRUE(restarted.Await("1-2", "take_out", "burnt by another program"))
        << restarted.Output();
    restarted.Unplug("1-2");
    ASSERT_TRUE(restarted.Await("1-2", "empty")) << restarted.Output();
    ServedPv again;
    restarted.Plug("1-3", again, "R1");
    ASSERT_TRUE(restarted.Await("1-3", "take_out", "already burnt")) << restarted.Output();
    const std::vector<JsonObject> records = restarted.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Number("exit_status"), 0);
    EXPECT_EQ(records[0].Text("written_by"), "burn");
    EXPECT_EQ(restarted.Stop(), 0);
    EXPECT_EQ(restarted.Starts(), 0u);
}

// Stopping: no new burn, the running one finishes; twice, it is interrupted.
TEST(Station, StopsOnlyOnceItsBurnsAreOver) {
    for (const int signals : {1, 2}) {
        SCOPED_TRACE(signals);
        FakeUsbSockets sockets;
        Line line(sockets);
        plcsim::PlcConfig slow;
        slow.flashWriteTimeMs = 40;
        ServedPv unit(slow);
        line.Plug("1-2", unit, "S" + std::to_string(signals));
        ASSERT_TRUE(line.AwaitPhase("1-2", "Programming")) << line.Output();
        EXPECT_EQ(line.BurnsLeft(), 1);
        line.Signal(SIGTERM);
        if (signals == 2) {
            usleep(300000);
            line.Signal(SIGTERM);
        }
        EXPECT_EQ(line.Wait(), signals == 1 ? 0 : 130) << line.Output();
        EXPECT_EQ(line.BurnsLeft(), 0);
        if (signals == 2) {
            unit.Stop();  // cut short mid-transfer, it is never asked after a burn
        }
        EXPECT_EQ(unit.FlashHoldsImage(), signals == 1);
        ASSERT_EQ(line.Records().size(), 1u);
        EXPECT_EQ(line.Records()[0].Text("caption"), signals == 1 ? "Information" : "Interrupted");
    }
}

}  // namespace
}  // namespace norvane::test
