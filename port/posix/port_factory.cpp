#include "port/posix/port_factory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "port/posix/serial_open.h"
#include "port/replug_wait.h"

namespace norvane::posix {

namespace {

constexpr std::chrono::milliseconds kReplugPoll{100};

bool SameDevice(const struct stat& a, const struct stat& b) {
    return S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode) && a.st_rdev == b.st_rdev;
}

void Fail(OpenFailure* failure, OpenFailureKind kind, const std::string& path) {
    if (failure != nullptr) {
        *failure = OpenFailure{};
        failure->kind = kind;
        failure->path = path;
    }
}

// Before a port is opened: never this program's own terminal, and the PLC this
// program's alone from its first open until the burn ends.
bool Owned(const std::string& device, const std::string& sysfsRoot, PortUse use, PlcLock& lock,
           OpenFailure* failure) {
    if (IsOwnTerminal(device)) {
        Fail(failure, OpenFailureKind::OwnTerminal, device);
        return false;
    }
    if (lock.Held()) {
        return true;
    }
    const std::string key = PlcLockKey(IdentityOfTty(device, sysfsRoot), device);
    if (key.empty()) {
        return true;  // nothing there to burn: the open that follows says so
    }
    PortHolder holder;
    std::string problem;
    const PlcLock::Taken taken = lock.Take(key, holder, problem);
    if (taken == PlcLock::Taken::Yes || (taken == PlcLock::Taken::Refused && use == PortUse::Ask)) {
        return true;
    }
    if (taken == PlcLock::Taken::Refused) {
        Fail(failure, OpenFailureKind::NoLock, device);
        if (failure != nullptr) {
            failure->detail = problem;
        }
        return false;
    }
    Fail(failure, OpenFailureKind::Busy, device);
    if (failure != nullptr) {
        failure->burning = true;
        failure->holders.push_back(holder);
    }
    return false;
}

}  // namespace

std::string DescribeIdentity(const UsbIdentity& identity) {
    std::string text = "usb-path:" + identity.path;
    if (!identity.serial.empty()) {
        text += " (serial " + identity.serial + ")";
    }
    return text;
}

PortOpener::PortOpener(std::string selector, std::chrono::milliseconds replugTimeout,
                       std::string sysfsRoot, PortUse use)
    : selector_(std::move(selector)),
      replugTimeout_(replugTimeout),
      sysfsRoot_(std::move(sysfsRoot)),
      open_([release = release_, lock = std::make_shared<PlcLock>(), root = sysfsRoot_, use](
                const std::string& path, OpenFailure* failure) {
          if (!Owned(path, root, use, *lock, failure)) {
              return LinkPtr();
          }
          SerialOpenResult result = OpenSerialPort(path, release);
          if (failure != nullptr) {
              *failure = std::move(result.failure);
          }
          return LinkPtr(std::move(result.link));
      }),
      now_([] { return Clock::now(); }),
      sleep_([](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); }) {}

void PortOpener::SetClock(std::function<Clock::time_point()> now, Sleep sleep) {
    now_ = std::move(now);
    sleep_ = std::move(sleep);
}

std::string ResolvePortSelector(const std::string& selector, const std::string& sysfsRoot) {
    const PortSelector s = ParsePortSelector(selector);
    switch (s.kind) {
        case PortSelector::Kind::UsbPath:
            return FindTtyByIdentity(UsbIdentity{s.value, ""}, sysfsRoot);
        case PortSelector::Kind::UsbSerial:
            return FindTtyByIdentity(UsbIdentity{"", s.value}, sysfsRoot);
        case PortSelector::Kind::FirstUsbPlc:
            return FindUsbPlcTty(sysfsRoot);
        case PortSelector::Kind::Node:
            break;
    }
    return DevicePathForPortName(s.value);
}

bool IsOwnTerminal(const std::string& device) {
    struct stat port {};
    if (::stat(device.c_str(), &port) != 0) {
        return false;
    }
    struct stat st {};
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::isatty(fd) != 0 && ::fstat(fd, &st) == 0 && SameDevice(st, port)) {
            return true;
        }
    }
    const int tty = ::open("/dev/tty", O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (tty < 0) {
        return false;
    }
    const bool same = ::fstat(tty, &st) == 0 && SameDevice(st, port);
    (void)::close(tty);
    return same;
}

LinkPtr PortOpener::Opened(const std::string& device, OpenFailure* failure) {
    LinkPtr link = open_(device, failure);
    if (link) {
        device_ = device;
        identity_ = IdentityOfTty(device, sysfsRoot_);
        openedBefore_ = true;
    }
    return link;
}

LinkPtr PortOpener::OpenSerial(const std::string& name, OpenFailure* failure) {
    const std::string device = ResolvePortSelector(name, sysfsRoot_);
    if (device.empty()) {
        Fail(failure, OpenFailureKind::NotFound, name);
        return nullptr;
    }
    return Opened(device, failure);
}

bool PortOpener::AwaitReplug(std::chrono::milliseconds limit, const SearchListener& told) {
    if (!identity_) {
        return true;
    }
    return AwaitLeaveAndReturn(
        now_() + limit, now_, [this] { return !FindTtyByIdentity(*identity_, sysfsRoot_).empty(); },
        [this] { sleep_(kReplugPoll); }, told);
}

LinkPtr PortOpener::OpenUsbPlc(OpenFailure* failure) {
    if (!openedBefore_) {
        const bool anyPlc = selector_.empty() || selector_ == "USB";
        const std::string device =
            anyPlc ? FindUsbPlcTty(sysfsRoot_) : ResolvePortSelector(selector_, sysfsRoot_);
        if (device.empty()) {
            Fail(failure, anyPlc ? OpenFailureKind::NoUsbPlc : OpenFailureKind::NotFound,
                 selector_);
            return nullptr;
        }
        return Opened(device, failure);
    }
    // After the replug: the same device, once it is back and opens.
    const Clock::time_point deadline = now_() + replugTimeout_;
    const std::optional<UsbIdentity> wanted = identity_;
    std::int64_t toldLeft = -1;
    for (;;) {
        const std::string device = wanted ? FindTtyByIdentity(*wanted, sysfsRoot_) : device_;
        OpenFailure attempt;
        if (!device.empty()) {
            if (LinkPtr link = Opened(device, &attempt)) {
                return link;
            }
        }
        if (attempt.kind == OpenFailureKind::Busy && attempt.burning) {
            // Another burn took this PLC while it was away: it is not ours any more.
            if (failure != nullptr) {
                *failure = attempt;
            }
            return nullptr;
        }
        const Clock::time_point now = now_();
        if (now >= deadline) {
            if (failure != nullptr) {
                *failure = attempt;
                failure->kind = OpenFailureKind::NotBack;
                failure->path = wanted ? DescribeIdentity(*wanted) : device_;
            }
            return nullptr;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::seconds>(deadline - now).count() + 1;
        if (searching_ && left != toldLeft) {
            toldLeft = left;
            searching_(left);
        }
        sleep_(kReplugPoll);
    }
}

}  // namespace norvane::posix
