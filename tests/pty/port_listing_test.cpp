// The port list built from a device tree laid out like the kernel's.
#include "port/posix/port_listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fake_sysfs.h"
#include "port/posix/port_name_order.h"

namespace norvane::posix {
namespace {

using Names = std::vector<std::string>;

TEST(PortListingTest, ListsPortsWithHardwareInPortNameOrder) {
    test::FakeSysfs sysfs;
    sysfs.AddTty("ttyS0", "pnp0/00:01", "4");           // a 16550A on the board
    sysfs.AddTty("ttyS1", "platform/serial8250", "0");  // reserved by the driver, no UART
    sysfs.AddTty("ttyS2", "platform/serial8250");       // the same on a kernel without `type`
    sysfs.AddTty("ttyS3", "platform/serial8250/serial8250:0/serial8250:0.3", "0");
    sysfs.AddTty("ttyS4", "platform/serial8250", "4");  // a legacy UART that is there
    sysfs.AddTty("ttyUSB0", "pci0/usb1/1-2/1-2:1.0/ttyUSB0");
    sysfs.AddTty("ttyACM10", "pci0/usb1/1-3/1-3:1.0");
    sysfs.AddTty("ttyACM2", "pci0/usb1/1-4/1-4:1.0");
    sysfs.AddTty("ttyExtraLong0", "pci0/0000:01:00.0");
    sysfs.AddTty("usb!tty0", "pci0/usb1/1-5/1-5:1.0");  // node /dev/usb/tty0
    sysfs.AddVirtualTty("tty0");
    sysfs.AddVirtualTty("console");
    sysfs.AddVirtualTty("ptmx");

    EXPECT_EQ(ListSerialPorts(sysfs.root()),
              (Names{"ttyACM2", "ttyACM10", "ttyExtraLong0", "ttyS0", "ttyS4", "ttyUSB0"}));
    EXPECT_EQ(ListWindowPortNames(sysfs.root()),
              (Names{"ttyACM2", "ttyACM10", "ttyS0", "ttyS4", "ttyUSB0"}));
}

TEST(PortListingTest, NoTreeMeansNoPorts) {
    EXPECT_TRUE(ListSerialPorts("/nonexistent-norvane-sysfs").empty());
    test::FakeSysfs empty;
    EXPECT_TRUE(ListWindowPortNames(empty.root()).empty());
}

TEST(PortListingTest, OnlyNamesThatFitTheWindowSlotFit) {
    struct Case {
        std::string name;
        bool fits;
    };
    const Case cases[] = {
        {"ttyS0", true},
        {"ttyUSB123", true},    // 9 characters: the slot's limit
        {"ttyUSB1234", false},  // 10 would leave no room for the terminator
        {"", false},
        {"tty S0", false},
        {"pts/3", false},
        {"ttyS0\n", false},
        {std::string("tty\0S0", 6), false},
        {std::string(300, 'x'), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FitsPortName(c.name), c.fits) << '"' << c.name << '"';
    }
}

TEST(PortListingTest, PortNamesSortByNumberValue) {
    Names names = {"ttyUSB10", "ttyS1",  "ttyUSB2", "ttyACM0",
                   "ttyS10",   "ttyS01", "ttyS",    "ttyUSB9"};
    std::sort(names.begin(), names.end(), PortNameLess);
    EXPECT_EQ(names, (Names{"ttyACM0", "ttyS", "ttyS01", "ttyS1", "ttyS10", "ttyUSB2", "ttyUSB9",
                            "ttyUSB10"}));
    for (const auto& name : names) {
        EXPECT_FALSE(PortNameLess(name, name)) << name;
    }
}

}  // namespace
}  // namespace norvane::posix
