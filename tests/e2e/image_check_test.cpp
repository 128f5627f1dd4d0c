// One build for every model: firmware files of any model burnt with their model's
// rules, bad files refused before any port is opened, --check stopping where the
// burn would first change the PLC.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "burn_output.h"
#include "child_process.h"
#include "served_pv.h"
#include "test_image.h"

namespace norvane::test {
namespace {

TEST(ImageFile, OneBuildBurnsASerialAndAUsbModelFromFiles) {
    const ImageFile nt4("NT4_v2.0_line.bin", 20000);
    const ImageFile pvw("PVW_v1.1.bin", 30000);
    plcsim::PlcConfig large;
    large.d1148 = 1;  // a 26-point PV: a PVW
    ServedPv serial("NT4", {});
    ServedPv usb("PVW", large);
    const TempFile record("files");
    EXPECT_EQ(RunCaptured({kPvTool, "--yes", "--port", serial.Port(), "--image", nt4.path(),
                           "--record", record.path()},
                          60000)
                  .exitStatus,
              0);
    // Two PVW PLCs at once: each burn process gets the bytes the parent checked.
    ServedPv second("PVW", large);
    const CapturedRun both = RunCaptured({kPvTool, "--yes", "--port", usb.Port(), "--port",
                                          second.Port(), "--image", pvw.path(), "--json"},
                                         60000);
    EXPECT_EQ(both.exitStatus, 0) << both.output;
    EXPECT_TRUE(serial.FlashHolds(nt4.bytes()));
    EXPECT_TRUE(usb.FlashHolds(pvw.bytes()));
    EXPECT_TRUE(second.FlashHolds(pvw.bytes()));
    const std::vector<JsonObject> lines = RecordLines(record.path());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Text("model"), "NT4");
    EXPECT_EQ(lines[0].Text("image"), "NT4_v2.0_line.bin");
    EXPECT_NE(both.output.find("\"image\": \"PVW_v1.1.bin\""), std::string::npos) << both.output;
}

// Every bad image is a usage error before any port is opened: not a byte reaches
// the PLC.
TEST(ImageFile, BadImagesAreRefusedBeforeAnyPortIsOpened) {
    const ImageFile good("QB5-AIO_v3.bin", 4000);
    const ImageFile large("QB5-AIO_big.bin", 40961);
    const ImageFile shortTail("QB7_short.bin", 4000);
    const ImageFile unknown("QB9_v1.bin", 100);
    const ImageFile farOff("XYZZYPLUGH_v1.bin", 100);
    const ImageFile bare("firmware.bin", 100);
    const ImageFile empty("NT4_empty.bin", 0);
    const std::string fifo = ::testing::TempDir() + "NT4_fifo" + std::to_string(getpid());
    const std::string folder = ::testing::TempDir() + "NT4_folder" + std::to_string(getpid());
    const std::string device = ::testing::TempDir() + "NT4_device" + std::to_string(getpid());
    mkfifo(fifo.c_str(), 0600);
    mkdir(folder.c_str(), 0755);
    symlink("/dev/null", device.c_str());
    ServedPv plc;
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--image", "/nonexistent/NT4_x.bin"}, "/nonexistent/NT4_x.bin does not exist"},
        {{"--image", "/nonexistent/nonexist_QB7.bin"}, "nonexist_QB7.bin does not exist"},
        {{"--image", folder}, "is a directory"},
        {{"--image", fifo}, "is a FIFO"},
        {{"--image", device}, "is a device"},
        {{"--image", empty.path()}, "NT4_empty.bin is empty"},
        {{"--image", large.path()}, "more than a QB5-AIO takes: The file size EXCEEDS"},
        {{"--image", shortTail.path()}, "fewer than the 4096 that a QB7 keeps to itself"},
        {{"--image", unknown.path()}, "QB9 is no model of this program; did you mean QB7, QB5"},
        {{"--image", farOff.path()},
         "XYZZYPLUGH is no model of this program; did you mean NZ4, PV, MG5? (--models"},
        {{"--image", bare.path()}, "the text before its first underscore naming the PLC model"},
        {{"--image", good.path(), "--expect-sha256", std::string(64, 'a')},
         "not the approved image"},
        {{"--image", "-", "--image-name", "NT4_piped.bin"}, "NT4_piped.bin is empty"},
        {{"--image", kPlaceholderImage}, "that image is the generated PLACEHOLDER"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv{kPvTool, "--yes", "--port", plc.Port()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const CapturedRun run = RunCaptured(argv, 20000);
        EXPECT_EQ(run.exitStatus, 2) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    }
    plc.Stop();
    EXPECT_EQ(plc.Received(), 0u);
    std::remove(fifo.c_str());
    rmdir(folder.c_str());
    std::remove(device.c_str());
    // What a file is, without burning it.
    const CapturedRun version = RunCaptured({kPvTool, "--version", "--image", good.path()}, 10000);
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_NE(version.output.find("model: QB5-AIO\nimage: QB5-AIO_v3.bin\nsize: 4000 bytes\n"),
              std::string::npos)
        << version.output;
    // The placeholder is known by its bytes, whatever file holds it.
    const CapturedRun placeholder =
        RunCaptured({kPvTool, "--version", "--image", kPlaceholderImage}, 10000);
    EXPECT_NE(placeholder.output.find("note: a generated PLACEHOLDER"), std::string::npos);
}

// --check runs the first pass as the burn would and stops before the first request
// that changes the PLC: ready, or the ERROR the burn would show.
TEST(Check, StopsBeforeAnythingChangesThePlc) {
    const ImageFile aio("QB5-AIO_v3.bin", 4000);
    const struct {
        const char* what;
        const char* model;
        std::function<void(plcsim::PlcConfig&)> tweak;
        int status;
        const char* says;
    } cases[] = {
        {"ready",
         "PV",
         {},
         0,
         "ready to burn: a PV (type 0x0015) running its application; not checked before the "
         "erase: the hand-over's own refusals"},
        {"ready in its bootloader", "PV",
         [](plcsim::PlcConfig& c) { c.initialMode = plcsim::PlcMode::Bootloader; }, 0,
         "ready to burn: a PV (type 0x0015) waiting in its bootloader; not checked before the "
         "erase: the erase and the transfer"},
        {"run mode", "PV", [](plcsim::PlcConfig& c) { c.runMode = true; }, 1,
         "ERROR: PLC in RUN MODE"},
        {"wrong type", "PV", [](plcsim::PlcConfig& c) { c.appTypeId = 0x3000; }, 1,
         "ERROR: NO RESPONSE @ State 2"},
        {"variant", "PV", [](plcsim::PlcConfig& c) { c.d1148 = 1; }, 1,
         "ERROR: Check PLC, 12PV is different than 26PV"},
        {"bootloader version", "QB5-AIO", [](plcsim::PlcConfig& c) { c.appVersion = 0x09; }, 1,
         "ERROR: The bootloader version is V0.9, do not support AIO FW update"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        plcsim::PlcConfig config;
        if (c.tweak) {
            c.tweak(config);
        }
        ServedPv plc(c.model, config);
        std::vector<std::string> argv{kPvTool, "--check", "--port", plc.Port()};
        if (std::string(c.model) == "QB5-AIO") {
            argv.insert(argv.end(), {"--image", aio.path()});
        } else {
            argv.push_back("--placeholder");
        }
        const CapturedRun run = RunCaptured(argv, 60000);
        EXPECT_EQ(run.exitStatus, c.status) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
        plc.Stop();
        for (const plcsim::Exchange changes :
             {plcsim::Exchange::EraseRequest, plcsim::Exchange::BootErase,
              plcsim::Exchange::BootUpdate, plcsim::Exchange::Block}) {
            EXPECT_EQ(plc.Requests(changes), 0u) << plcsim::ExchangeName(changes);
        }
    }
}

}  // namespace
}  // namespace norvane::test
