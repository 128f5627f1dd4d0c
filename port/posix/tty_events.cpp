#include "port/posix/tty_events.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace norvane::posix {

namespace {

// Room for a burst of events while the station is busy: 256 PLCs replugged at
// once are some 1,500 events of the whole machine before the filter.
constexpr int kMonitorBufferBytes = 4 * 1024 * 1024;

// After the events could not be waited for: milliseconds before the tree is read.
constexpr int kAfterError = 1000;

std::string Errno(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

std::unique_ptr<TtyEvents> TtyEvents::Open(const std::string& sysfsRoot, std::string& error) {
    std::unique_ptr<TtyEvents> events(new TtyEvents);
    events->stop_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (events->stop_ < 0) {
        error = Errno("cannot make an eventfd");
        return nullptr;
    }
    if (sysfsRoot != "/sys") {
        events->tree_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        const std::string folder = sysfsRoot + "/class/tty";
        if (events->tree_ < 0 ||
            inotify_add_watch(events->tree_, folder.c_str(),
                              IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO) < 0) {
            error = Errno(("cannot follow " + folder).c_str());
            return nullptr;
        }
        return events;
    }
    // The events udev sends once its rules have run: the device node is there
    // and may be opened when the event arrives.
    events->udev_ = udev_new();
    events->monitor_ =
        events->udev_ ? udev_monitor_new_from_netlink(events->udev_, "udev") : nullptr;
    if (events->monitor_ == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(events->monitor_, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(events->monitor_) < 0) {
        error = Errno("cannot follow the device events");
        return nullptr;
    }
    udev_monitor_set_receive_buffer_size(events->monitor_, kMonitorBufferBytes);
    return events;
}

TtyEvents::~TtyEvents() {
    if (monitor_ != nullptr) {
        udev_monitor_unref(monitor_);
    }
    if (udev_ != nullptr) {
        udev_unref(udev_);
    }
    for (const int fd : {tree_, stop_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void TtyEvents::Stop() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(stop_, &one, sizeof one);
}

TtyEvents::Heard TtyEvents::Wait(std::vector<Change>& changes) {
    pollfd fds[2] = {{stop_, POLLIN, 0},
                     {monitor_ ? udev_monitor_get_fd(monitor_) : tree_, POLLIN, 0}};
    while (true) {
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            // Nothing can be heard now: the caller reads the tree, a second
            // later, not at once, so that an error that stays is no busy loop.
            pollfd stop{stop_, POLLIN, 0};
            const int stopped = poll(&stop, 1, kAfterError);
            if (stopped > 0) {
                return Heard::Stopped;
            }
            if (stopped < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(kAfterError));
            }
            return Heard::Lost;
        }
        if (fds[0].revents != 0) {
            return Heard::Stopped;
        }
        if (fds[1].revents != 0) {
            return monitor_ ? TakeMonitor(changes) : TakeTree(changes);
        }
    }
}

TtyEvents::Heard TtyEvents::TakeMonitor(std::vector<Change>& changes) {
    while (true) {
        errno = 0;
        udev_device* device = udev_monitor_receive_device(monitor_);
        if (device == nullptr) {
            // Its socket's buffer overflowed: what was dropped is not known.
            return errno == ENOBUFS ? Heard::Lost : Heard::Changes;
        }
        const char* action = udev_device_get_action(device);
        const char* path = udev_device_get_syspath(device);
        const std::string syspath = path ? path : "";
        const bool moved = action && std::strcmp(action, "move") == 0;
        const bool removed = action && std::strcmp(action, "remove") == 0;
        udev_device_unref(device);
        if (moved) {
            return Heard::Lost;  // its old name is not told
        }
        // The name under class/tty keeps the kernel's '!' for a '/'.
        changes.push_back(Change{!removed, syspath.substr(syspath.rfind('/') + 1)});
    }
}

TtyEvents::Heard TtyEvents::TakeTree(std::vector<Change>& changes) {
    alignas(inotify_event) char buffer[16384];
    while (true) {
        const ssize_t n = read(tree_, buffer, sizeof buffer);
        if (n <= 0) {
            return Heard::Changes;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if ((event->mask & (IN_Q_OVERFLOW | IN_IGNORED)) != 0) {
                return Heard::Lost;
            }
            if (event->len > 0) {
                changes.push_back(
                    Change{(event->mask & (IN_CREATE | IN_MOVED_TO)) != 0, event->name});
            }
        }
    }
}

}  // namespace norvane::posix
