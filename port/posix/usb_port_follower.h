// The ports behind USB devices, followed as they come and go: the device tree
// read once, then kept up to date by its events alone, and read again only when
// some events were lost.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "port/posix/tty_events.h"
#include "port/posix/usb_identity.h"

namespace norvane::posix {

class UsbPortFollower {
  public:
    UsbPortFollower(std::unique_ptr<TtyEvents> events, std::string sysfsRoot);

    // The first call gives the ports as the tree has them now, at once; each
    // later one waits for the next change and gives them as they are then.
    // False once stopped.
    bool Next(std::vector<PortEntry>& ports);
    // From any thread: Next returns false from now on.
    void Stop() { events_->Stop(); }
    // How often the whole tree was read: once, and once per loss of events.
    std::size_t TreeReads() const { return treeReads_; }

  private:
    void ReadTree();

    std::unique_ptr<TtyEvents> events_;
    const std::string root_;
    std::map<std::string, PortEntry> ports_;  // by the tty's name under class/tty
    std::size_t treeReads_ = 0;
};

}  // namespace norvane::posix
