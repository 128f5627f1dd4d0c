// The machine's ttys as they come and go, told at once: by the kernel's device
// events through a udev monitor, or, for a test's device tree (the test setting
// in place of /sys), by that tree's class/tty folder changing. A station hears a
// PLC arrive this way instead of reading the tree on a timer.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct udev;
struct udev_monitor;

namespace norvane::posix {

class TtyEvents {
  public:
    struct Change {
        bool added = false;  // came (or changed); false: went
        std::string tty;     // its name under class/tty
    };
    enum class Heard { Changes, Lost, Stopped };

    // Follows the ttys under `sysfsRoot`: the kernel's own under /sys, a test
    // tree's elsewhere. Null, with `error` set, when they cannot be followed.
    static std::unique_ptr<TtyEvents> Open(const std::string& sysfsRoot, std::string& error);
    ~TtyEvents();
    TtyEvents(const TtyEvents&) = delete;
    TtyEvents& operator=(const TtyEvents&) = delete;

    // Blocks until something came or went, and appends all that did to
    // `changes`; Lost when some events were dropped (the tree must be read
    // again); Stopped once Stop was called.
    Heard Wait(std::vector<Change>& changes);
    // From any thread: Wait returns Stopped from now on.
    void Stop();

  private:
    TtyEvents() = default;
    Heard TakeMonitor(std::vector<Change>& changes);
    Heard TakeTree(std::vector<Change>& changes);

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    int tree_ = -1;  // inotify on a test tree's class/tty
    int stop_ = -1;  // an eventfd that Stop makes readable
};

}  // namespace norvane::posix
