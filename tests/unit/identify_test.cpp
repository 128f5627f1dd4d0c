// What --identify tells of a PLC of unknown model, against the simulated PLC: the
// model or the models it can be, honestly what did not answer, and never a
// request that changes the PLC.
#include "line/identify.h"

#include <gtest/gtest.h>

#include <functional>

#include "burn/catalogue.h"
#include "plc_end.h"

namespace norvane::line {
namespace {

using plcsim::Exchange;
using plcsim::PlcConfig;

struct Case {
    const char* what;
    const char* model;  // the simulated PLC's
    bool usbDevice;
    std::function<void(PlcConfig&)> tweak;
    const char* says;  // the start of what a person reads
};

TEST(Identify, TellsWhatThePlcIsAndChangesNothing) {
    const Case cases[] = {
        {"a USB model running its application",
         "QB7",
         true,
         {},
         "QB7 (type 0x3000), running its application, bootloader version 0x20"},
        {"an AIO model, framed with its own unit byte",
         "QB5-AIO",
         true,
         {},
         "QB5-AIO (type 0x3010), running its application, bootloader version 0x20"},
        {"a PLC waiting in its bootloader", "QB5", true,
         [](PlcConfig& c) { c.initialMode = plcsim::PlcMode::Bootloader; },
         "QB5 (type 0x3010), waiting in its bootloader: it stays there until it is burned, "
         "bootloader version 0x20"},
        {"a shared type told apart by its registers", "NR4", false,
         [](PlcConfig& c) { c.d1148 = 0x1C; }, "NR4W (type 0x0013), running its application"},
        {"registers that do not answer", "PV", true,
         [](PlcConfig& c) {
             c.faults.Add(plcsim::Fault::Every(Exchange::ReadRegister, plcsim::FaultKind::Silent));
         },
         "PV or PVW (type 0x0015), running its application; the registers that tell them apart "
         "did not answer"},
        {"a USB model behind a serial port",
         "QB7",
         false,
         {},
         "QB7 (type 0x3000), running its application, bootloader version 0x20; a USB model, "
         "here on a serial port"},
        {"a USB model of a shared type on a serial port", "PVW", false,
         [](PlcConfig& c) { c.d1148 = 0x1C; }, "PVW (type 0x0015), running its application"},
        {"an AIO PLC that keeps silent at the usual unit byte", "TQ7P-AIO", false,
         [](PlcConfig& c) { c.onlyOwnUnit = true; }, "TQ7P-AIO (type 0x000D), running"},
        {"a USB AIO PLC that keeps silent at the usual unit byte", "QB5-AIO", true,
         [](PlcConfig& c) { c.onlyOwnUnit = true; }, "QB5-AIO (type 0x3010), running"},
        {"a PLC in run mode", "NT4", false, [](PlcConfig& c) { c.runMode = true; },
         "a PLC in RUN mode: switch it to STOP"},
        {"a type of no model", "NT4", false, [](PlcConfig& c) { c.appTypeId = 0x7777; },
         "type 0x7777, which is no model of this program"},
        {"nothing on the line", "NT4", false, [](PlcConfig& c) { c.attached = false; },
         "no PLC answered"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PlcConfig config;
        config.model = c.model;
        if (c.tweak) {
            c.tweak(config);
        }
        plcsim::SimulatedPlc plc(config);
        test::VirtualClock clock;
        PlcIdentity identity;
        {
            test::SimLink link(clock, test::PlcEnd(plc));
            identity = IdentifyPlc(link, c.usbDevice);
        }
        const std::string said = DescribeIdentity(identity);
        EXPECT_EQ(said.rfind(c.says, 0), 0u) << said;
        for (const Exchange changes :
             {Exchange::EraseRequest, Exchange::EraseConfirm, Exchange::BootErase,
              Exchange::BootUpdate, Exchange::Block}) {
            EXPECT_EQ(plc.CountRequests(changes), 0u) << plcsim::ExchangeName(changes);
        }
        // An empty line costs the wake burst, one mode query's six read time-outs
        // and the one ask with the AIO unit byte.
        if (!config.attached) {
            EXPECT_LE(clock.Now(), 2000u + 7 * 3000u);
        }
    }
}

}  // namespace
}  // namespace norvane::line
