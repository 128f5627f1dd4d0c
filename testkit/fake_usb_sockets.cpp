#include "fake_usb_sockets.h"

#include <algorithm>
#include <filesystem>

namespace norvane::test {

namespace fs = std::filesystem;

FakeUsbSockets::FakeUsbSockets()
    : dev_(tree_.root() + "/dev-nodes"), locks_(tree_.root() + "/locks") {
    fs::create_directories(dev_);
    fs::create_directories(locks_);
}

FakeUsbSockets::~FakeUsbSockets() = default;

void FakeUsbSockets::Plug(const std::string& socket, const std::string& tty, const std::string& pty,
                          const std::string& serial) {
    const std::string device = "pci0/usb1/" + socket;
    tree_.AddUsbDevice(device, "6c2e", "0001");
    if (!serial.empty()) {
        tree_.WriteFile("devices/" + device + "/serial", serial + "\n");
    }
    // Its node first, as udev has it before it tells of the device: a station
    // hears the tty's class entry appear and opens the node at once.
    std::error_code ec;
    fs::remove(fs::path(dev_) / tty, ec);
    fs::create_symlink(pty, fs::path(dev_) / tty);
    tree_.AddTty(tty, device + "/" + socket + ":1.0");
    plugged_.emplace_back(socket, tty);
}

void FakeUsbSockets::Unplug(const std::string& socket) {
    const auto plug = std::find_if(plugged_.begin(), plugged_.end(),
                                   [&socket](const auto& p) { return p.first == socket; });
    if (plug == plugged_.end()) {
        return;
    }
    tree_.Remove("class/tty/" + plug->second);
    tree_.Remove("devices/pci0/usb1/" + socket);
    std::error_code ec;
    fs::remove(fs::path(dev_) / plug->second, ec);
    plugged_.erase(plug);
}

std::vector<std::string> FakeUsbSockets::Environment() const {
    return {"NORVANE_FWUPDATE_SYSFS=" + tree_.root(), "NORVANE_FWUPDATE_DEV=" + dev_,
            "NORVANE_FWUPDATE_LOCK_DIR=" + locks_};
}

}  // namespace norvane::test
