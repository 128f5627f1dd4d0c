// A throw-away device tree in a temporary directory, laid out as the kernel
// lays out sysfs (class/tty entries linking into devices/, `device` links).
#pragma once

#include <string>

namespace norvane::test {

class FakeSysfs {
  public:
    FakeSysfs();
    ~FakeSysfs();
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    const std::string& root() const { return root_; }

    void WriteFile(const std::string& relPath, const std::string& content);
    void Remove(const std::string& relPath);

    // A USB device directory (relative to devices/) with its identifiers.
    void AddUsbDevice(const std::string& deviceDir, const std::string& vendor,
                      const std::string& product);

    // A tty registered under the device at devices/<deviceDir>: the tty's own
    // directory below it, its `device` link back up, and class/tty/<name>.
    // A non-empty `type` writes the serial port type attribute.
    void AddTty(const std::string& name, const std::string& deviceDir,
                const std::string& type = "");

    // A tty without a device behind it (a virtual console).
    void AddVirtualTty(const std::string& name);

  private:
    std::string root_;
};

}  // namespace norvane::test
