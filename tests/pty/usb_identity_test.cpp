// Finding the PLC's USB serial port in a device tree laid out like the kernel's.
#include "port/posix/usb_identity.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_sysfs.h"
#include "port/posix/open_failure.h"
#include "port/posix/port_factory.h"

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

// What --list shows of each port, and how --port names a PLC by its identity.
TEST(UsbIdentityTest, PortsCarryTheirUsbIdentity) {
    FakeSysfs sysfs;
    PlcOnAcm(sysfs, "ttyACM0", "1-2.3");
    sysfs.WriteFile("devices/pci0/usb1/1-2.3/serial", "PLC0042\n");
    PlcOnAcm(sysfs, "ttyACM1", "1-4");  // no serial number
    sysfs.AddUsbDevice("pci0/usb1/1-1", "1a86", "7523");
    sysfs.AddTty("ttyUSB0", "pci0/usb1/1-1/1-1:1.0/ttyUSB0");
    sysfs.AddTty("ttyS0", "pnp0/00:01", "4");

    const std::vector<PortEntry> ports = ListPorts(sysfs.root());
    ASSERT_EQ(ports.size(), 4u);  // in port-name order
    EXPECT_EQ(ports[0].device, "/dev/ttyACM0");
    EXPECT_TRUE(ports[0].plcUsb);
    EXPECT_EQ(ports[0].usb->path, "1-2.3");
    EXPECT_EQ(ports[0].usb->serial, "PLC0042");
    EXPECT_EQ(ports[1].usb->path, "1-4");
    EXPECT_EQ(ports[1].usb->serial, "");
    EXPECT_EQ(ports[2].name, "ttyS0");
    EXPECT_FALSE(ports[2].usb.has_value());
    EXPECT_EQ(ports[3].device, "/dev/ttyUSB0");
    EXPECT_FALSE(ports[3].plcUsb);
    ASSERT_TRUE(ports[3].usb);
    EXPECT_EQ(ports[3].usb->path, "1-1");

    const struct {
        UsbIdentity want;
        const char* device;
    } finds[] = {
        {{"1-2.3", ""}, "/dev/ttyACM0"},
        {{"", "PLC0042"}, "/dev/ttyACM0"},
        {{"1-4", ""}, "/dev/ttyACM1"},
        {{"1-2.3", "PLC0042"}, "/dev/ttyACM0"},
        {{"1-2.3", "OTHER"}, ""},
        {{"1-9", ""}, ""},
        {{"", ""}, ""},
    };
    for (const auto& f : finds) {
        EXPECT_EQ(FindTtyByIdentity(f.want, sysfs.root()), f.device)
            << f.want.path << "/" << f.want.serial;
    }
    EXPECT_EQ(IdentityOfTty("/dev/ttyACM0", sysfs.root())->path, "1-2.3");
    EXPECT_FALSE(IdentityOfTty("ttyS0", sysfs.root()).has_value());

    EXPECT_EQ(ParsePortSelector("usb-path:1-2.3").kind, PortSelector::Kind::UsbPath);
    EXPECT_EQ(ParsePortSelector("usb-path:1-2.3").value, "1-2.3");
    EXPECT_EQ(ParsePortSelector("usb-serial:PLC0042").kind, PortSelector::Kind::UsbSerial);
    EXPECT_EQ(ParsePortSelector("/dev/ttyACM0").kind, PortSelector::Kind::Node);
}

// The PLC leaves during the replug and comes back; the burn must find the same PLC
// again, whatever the kernel calls it now, and never take another one.
class ReplugTest : public ::testing::Test {
  protected:
    using Clock = PortOpener::Clock;

    // The opener over the fake tree, on a clock of its own; `at(ms)` changes the tree
    // once that much time has passed since the reopen began.
    PortOpener Opener(const std::string& selector) {
        PortOpener opener(selector, std::chrono::seconds(30), tree->root());
        opener.SetOpenPath([this](const std::string& path, OpenFailure*) {
            opened.push_back(path);
            return LinkPtr(new FakeOpenLink);
        });
        opener.SetClock([this] { return now; },
                        [this](std::chrono::milliseconds ms) {
                            now += ms;
                            for (auto& [when, change] : changes) {
                                if (change && now - start >= std::chrono::milliseconds(when)) {
                                    change();
                                    change = nullptr;
                                }
                            }
                        });
        return opener;
    }
    void Unplug(const std::string& tty, const std::string& port) {
        tree->Remove("class/tty/" + tty);
        tree->Remove("devices/pci0/usb1/" + port);
    }

    struct FakeOpenLink : Link {
        std::size_t Write(const std::uint8_t*, std::size_t n) override { return n; }
        std::size_t Read(std::uint8_t*, std::size_t) override { return 0; }
        void SetTimeouts(const LinkTimeouts&) override {}
        void ApplyLineSettings(const LineSettings&) override {}
        void DiscardInput() override {}
    };

    std::unique_ptr<FakeSysfs> tree = std::make_unique<FakeSysfs>();
    Clock::time_point now{};
    Clock::time_point start{};
    std::vector<std::string> opened;
    std::vector<std::pair<int, std::function<void()>>> changes;
};

TEST_F(ReplugTest, ComesBackUnderAnotherNodeLateAndWithASecondPlcAttached) {
    PlcOnAcm(*tree, "ttyACM0", "1-2");
    PlcOnAcm(*tree, "ttyACM3", "1-4");  // a second PLC, attached throughout
    PortOpener opener = Opener("");
    ASSERT_TRUE(opener.OpenUsbPlc(nullptr));
    EXPECT_EQ(opener.device(), "/dev/ttyACM0");
    Unplug("ttyACM0", "1-2");
    // Back after 12 s, as ttyACM1: the kernel still held ttyACM0.
    changes.push_back({12000, [this] { PlcOnAcm(*tree, "ttyACM1", "1-2"); }});
    start = now;
    ASSERT_TRUE(opener.OpenUsbPlc(nullptr));
    EXPECT_EQ(opener.device(), "/dev/ttyACM1");
    EXPECT_GE(now - start, std::chrono::seconds(12));
    EXPECT_EQ(opened, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyACM1"}));
}

TEST_F(ReplugTest, ElsewhereOrTooLateIsNotTaken) {
    const struct {
        const char* what;
        const char* socket;  // where it comes back
        int afterMs;
    } cases[] = {{"another socket", "1-3", 1000}, {"after the time-out", "1-2", 31000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tree = std::make_unique<FakeSysfs>();
        opened.clear();
        changes.clear();
        PlcOnAcm(*tree, "ttyACM0", "1-2");
        tree->WriteFile("devices/pci0/usb1/1-2/serial", "A1\n");
        PortOpener opener = Opener("usb-path:1-2");
        ASSERT_TRUE(opener.OpenUsbPlc(nullptr));
        Unplug("ttyACM0", "1-2");
        const std::string socket = c.socket;
        changes.push_back({c.afterMs, [this, socket] {
                               PlcOnAcm(*tree, "ttyACM1", socket);
                               tree->WriteFile("devices/pci0/usb1/" + socket + "/serial", "A1\n");
                           }});
        start = now;
        OpenFailure failure;
        EXPECT_FALSE(opener.OpenUsbPlc(&failure));
        EXPECT_EQ(failure.kind, OpenFailureKind::NotBack);
        EXPECT_EQ(DescribeOpenFailure(failure),
                  "the PLC did not come back at usb-path:1-2 (serial A1) after the replug");
        EXPECT_EQ(opened.size(), 1u);
        EXPECT_LE(now - start, std::chrono::milliseconds(30100));
    }
}

TEST_F(ReplugTest, ASerialNumberThatChangedIsAnotherPlc) {
    PlcOnAcm(*tree, "ttyACM0", "1-2");
    tree->WriteFile("devices/pci0/usb1/1-2/serial", "A1\n");
    PortOpener opener = Opener("usb-serial:A1");
    ASSERT_TRUE(opener.OpenUsbPlc(nullptr));
    Unplug("ttyACM0", "1-2");
    changes.push_back({500, [this] {
                           PlcOnAcm(*tree, "ttyACM0", "1-2");  // another PLC in the same socket
                           tree->WriteFile("devices/pci0/usb1/1-2/serial", "B2\n");
                       }});
    start = now;
    EXPECT_FALSE(opener.OpenUsbPlc(nullptr));
}

}  // namespace
}  // namespace norvane::posix
