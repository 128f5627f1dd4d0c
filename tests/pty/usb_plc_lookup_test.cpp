// Finding the PLC's USB serial port in a device tree laid out like the kernel's.
#include "port/posix/usb_plc_lookup.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fake_sysfs.h"

namespace norvane::posix {
namespace {

using test::FakeSysfs;

// The PLC on the cdc_acm driver: the tty hangs off the USB interface.
void PlcOnAcm(FakeSysfs& s, const std::string& tty, const std::string& port) {
    s.AddUsbDevice("pci0/usb1/" + port, "6c2e", "0001");
    s.AddTty(tty, "pci0/usb1/" + port + "/" + port + ":1.0");
}

// The PLC on the generic USB serial driver: a serial port device between.
void PlcOnUsbSerial(FakeSysfs& s, const std::string& tty, const std::string& port) {
    s.AddUsbDevice("pci0/usb1/" + port, "6c2e", "0001");
    s.AddTty(tty, "pci0/usb1/" + port + "/" + port + ":1.0/" + tty);
}

TEST(UsbPlcLookupTest, FindsThePlcsPort) {
    struct Case {
        const char* name;
        std::function<void(FakeSysfs&)> build;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"cdc_acm", [](FakeSysfs& s) { PlcOnAcm(s, "ttyACM1", "1-1"); }, "/dev/ttyACM1"},
        {"usbserial", [](FakeSysfs& s) { PlcOnUsbSerial(s, "ttyUSB3", "1-2"); }, "/dev/ttyUSB3"},
        {"both: lowest name",
         [](FakeSysfs& s) {
             PlcOnUsbSerial(s, "ttyUSB0", "1-2");
             PlcOnAcm(s, "ttyACM1", "1-1");
         },
         "/dev/ttyACM1"},
        {"two PLCs: lowest number",
         [](FakeSysfs& s) {
             PlcOnAcm(s, "ttyACM10", "1-1");
             PlcOnAcm(s, "ttyACM2", "1-3");
         },
         "/dev/ttyACM2"},
        {"identifiers in capitals",
         [](FakeSysfs& s) {
             s.AddUsbDevice("pci0/usb1/1-1", "6C2E", "0001");
             s.AddTty("ttyACM0", "pci0/usb1/1-1/1-1:1.0");
         },
         "/dev/ttyACM0"},
        {"other devices only",
         [](FakeSysfs& s) {
             s.AddUsbDevice("pci0/usb1/1-1", "6c2e", "0002");
             s.AddTty("ttyACM0", "pci0/usb1/1-1/1-1:1.0");
             s.AddUsbDevice("pci0/usb1/1-2", "1a86", "0001");
             s.AddTty("ttyUSB0", "pci0/usb1/1-2/1-2:1.0/ttyUSB0");
             s.AddTty("ttyS0", "pnp0/00:01", "4");
             s.AddVirtualTty("tty1");
         },
         ""},
        {"another device behind a hub that carries the PLC's identifiers",
         [](FakeSysfs& s) {
             s.AddUsbDevice("pci0/usb1/1-1", "6c2e", "0001");
             s.AddUsbDevice("pci0/usb1/1-1/1-1.4", "1a86", "7523");
             s.AddTty("ttyUSB0", "pci0/usb1/1-1/1-1.4/1-1.4:1.0/ttyUSB0");
         },
         ""},
        {"node name with a directory",
         [](FakeSysfs& s) {
             s.AddUsbDevice("pci0/usb1/1-1", "6c2e", "0001");
             s.AddTty("usb!plc0", "pci0/usb1/1-1/1-1:1.0");
         },
         "/dev/usb/plc0"},
        {"empty tree", [](FakeSysfs&) {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSysfs sysfs;
        c.build(sysfs);
        EXPECT_EQ(FindUsbPlcTty(sysfs.root()), c.expected);
    }
}

TEST(UsbPlcLookupTest, AReplugIsFoundUnderItsNewName) {
    FakeSysfs sysfs;
    PlcOnAcm(sysfs, "ttyACM0", "1-1");
    EXPECT_EQ(FindUsbPlcTty(sysfs.root()), "/dev/ttyACM0");
    sysfs.Remove("class/tty/ttyACM0");
    sysfs.Remove("devices/pci0/usb1/1-1");
    PlcOnAcm(sysfs, "ttyACM1", "1-2");  // came back while ttyACM0 was still held
    EXPECT_EQ(FindUsbPlcTty(sysfs.root()), "/dev/ttyACM1");
}

}  // namespace
}  // namespace norvane::posix
