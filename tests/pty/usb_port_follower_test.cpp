// Following the USB ports by the device tree's events: the tree read once, then
// kept by what comes and goes, and read again only when events were lost.
#include "port/posix/usb_port_follower.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "fake_sysfs.h"

namespace norvane::posix {
namespace {

using test::FakeSysfs;

void Plug(FakeSysfs& tree, const std::string& tty, const std::string& socket,
          const std::string& product = "0001") {
    tree.AddUsbDevice("pci0/usb1/" + socket, "6c2e", product);
    tree.WriteFile("devices/pci0/usb1/" + socket + "/serial", "S" + socket + "\n");
    tree.AddTty(tty, "pci0/usb1/" + socket + "/" + socket + ":1.0");
}

void Unplug(FakeSysfs& tree, const std::string& tty, const std::string& socket) {
    tree.Remove("class/tty/" + tty);
    tree.Remove("devices/pci0/usb1/" + socket);
}

// "socket:serial" of each PLC the follower gives next.
std::map<std::string, std::string> NextPlcs(UsbPortFollower& follower) {
    std::vector<PortEntry> ports;
    EXPECT_TRUE(follower.Next(ports));
    std::map<std::string, std::string> plcs;
    for (const PortEntry& entry : ports) {
        if (entry.plcUsb) {
            plcs[entry.name] = entry.usb->path + ":" + entry.usb->serial;
        }
    }
    return plcs;
}

UsbPortFollower Follow(const FakeSysfs& tree) {
    std::string error;
    std::unique_ptr<TtyEvents> events = TtyEvents::Open(tree.root(), error);
    EXPECT_NE(events, nullptr) << error;
    return UsbPortFollower(std::move(events), tree.root());
}

TEST(UsbPortFollowerTest, KeepsThePortsByTheTreesEventsAlone) {
    FakeSysfs tree;
    Plug(tree, "ttyACM0", "1-1");
    tree.AddTty("ttyS0", "platform/serial8250", "4");  // no USB device behind it
    UsbPortFollower follower = Follow(tree);
    EXPECT_EQ(NextPlcs(follower), (std::map<std::string, std::string>{{"ttyACM0", "1-1:S1-1"}}));

    Plug(tree, "ttyACM1", "1-2");
    Plug(tree, "ttyUSB0", "1-3", "0002");  // another maker's device: followed, no PLC
    // The changes are queued as they are made: one Next takes them all.
    EXPECT_EQ(NextPlcs(follower), (std::map<std::string, std::string>{{"ttyACM0", "1-1:S1-1"},
                                                                      {"ttyACM1", "1-2:S1-2"}}));

    Unplug(tree, "ttyACM0", "1-1");
    EXPECT_EQ(NextPlcs(follower), (std::map<std::string, std::string>{{"ttyACM1", "1-2:S1-2"}}));
    EXPECT_EQ(follower.TreeReads(), 1U);

    follower.Stop();
    std::vector<PortEntry> ports;
    EXPECT_FALSE(follower.Next(ports));
}

TEST(UsbPortFollowerTest, ReadsTheTreeAgainWhenEventsWereLost) {
    FakeSysfs tree;
    UsbPortFollower follower = Follow(tree);
    EXPECT_TRUE(NextPlcs(follower).empty());
    // More changes than the kernel queues for a listener that does not read:
    // the last of them, a PLC's arrival, is among those dropped.
    std::size_t queued = 16384;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queued;
    const std::string stray = tree.root() + "/class/tty/stray";
    for (std::size_t i = 0; i <= queued / 2; ++i) {
        ASSERT_EQ(symlink("nowhere", stray.c_str()), 0);
        ASSERT_EQ(unlink(stray.c_str()), 0);
    }
    Plug(tree, "ttyACM3", "2-1");
    EXPECT_EQ(NextPlcs(follower), (std::map<std::string, std::string>{{"ttyACM3", "2-1:S2-1"}}));
    EXPECT_EQ(follower.TreeReads(), 2U);
}

TEST(UsbPortFollowerTest, TheMachinesOwnDeviceEventsCanBeFollowed) {
    std::string error;
    const std::unique_ptr<TtyEvents> events = TtyEvents::Open("/sys", error);
    ASSERT_NE(events, nullptr) << error;
    events->Stop();
    std::vector<TtyEvents::Change> changes;
    EXPECT_EQ(events->Wait(changes), TtyEvents::Heard::Stopped);
}

}  // namespace
}  // namespace norvane::posix
