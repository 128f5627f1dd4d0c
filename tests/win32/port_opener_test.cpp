// Opening a burn's port from the console on a machine whose PLCs come and go on
// a virtual clock: which PLC is opened first, and which one, when and whether
// after the replug; what the wait tells meanwhile; whose the PLC is.
#include "port/win32/port_opener.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "port/win32/win32_headers.h"
#include "tests/win32/check.h"

namespace norvane {
namespace {

using std::chrono::milliseconds;

constexpr char kA[] = "\\\\?\\usb#vid_6c2e&pid_0001#SN-A#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
constexpr char kALower[] =
    "\\\\?\\usb#vid_6c2e&pid_0001#sn-a#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
constexpr char kB[] = "\\\\?\\usb#vid_6c2e&pid_0001#SN-B#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
// Devices without a serial number: the system names them after the port they are on.
constexpr char kPort1[] =
    "\\\\?\\usb#vid_6c2e&pid_0001#5&1a2b3c&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
constexpr char kPort2[] =
    "\\\\?\\usb#vid_6c2e&pid_0001#5&1a2b3c&0&2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
constexpr char kCom1[] = "\\\\.\\COM1";
constexpr int kForever = 1 << 30;

class NullLink : public Link {
  public:
    std::size_t Write(const std::uint8_t*, std::size_t count) override { return count; }
    std::size_t Read(std::uint8_t*, std::size_t) override { return 0; }
    void SetTimeouts(const LinkTimeouts&) override {}
    void ApplyLineSettings(const LineSettings&) override {}
    void DiscardInput() override {}
};

// A device that is present from `fromMs` until `untilMs` of the virtual clock;
// the order of the table is the interface index.
struct Presence {
    std::string path;
    int fromMs;
    int untilMs;
};

struct Machine {
    std::vector<Presence> devices;
    int nowMs = 0;
    std::vector<std::string> opened;         // every path an open was asked for
    std::map<std::string, PortHolder> held;  // owner locks of other burns, by key
    std::vector<std::string> locked;         // every owner lock taken

    bool Present(const std::string& path) const {
        for (const Presence& d : devices) {
            if ((d.path == path || d.path + "\\" == path) && d.fromMs <= nowMs &&
                nowMs < d.untilMs) {
                return true;
            }
        }
        return false;
    }
    std::vector<std::string> PlcInterfaces() const {
        std::vector<std::string> paths;
        for (const Presence& d : devices) {
            if (d.path.find("vid_6c2e") != std::string::npos && Present(d.path)) {
                paths.push_back(d.path);
            }
        }
        return paths;
    }
    PortSystem System() {
        PortSystem system;
        system.windowsPlcInterface = [this] {
            const std::vector<std::string> paths = PlcInterfaces();
            return paths.empty() ? std::string() : paths.front();
        };
        system.plcInterfaces = [this] { return PlcInterfaces(); };
        system.open = [this](const std::string& path, bool, std::uint32_t& error) -> LinkPtr {
            opened.push_back(path);
            if (!Present(path)) {
                error = ERROR_FILE_NOT_FOUND;
                return nullptr;
            }
            return std::make_unique<NullLink>();
        };
        system.takeLock = [this](const std::string& key, PortHolder& holder) {
            const auto other = held.find(key);
            if (other != held.end()) {
                holder = other->second;
                return PlcLock::Taken::HeldElsewhere;
            }
            locked.push_back(key);
            return PlcLock::Taken::Yes;
        };
        system.letGo = [] {};
        system.now = [this] { return PortSystem::Clock::time_point(milliseconds(nowMs)); };
        system.sleep = [this](milliseconds ms) { nowMs += static_cast<int>(ms.count()); };
        return system;
    }
};

// The devices of the cases by short names.
std::string PathOf(const std::string& name) {
    static const std::map<std::string, std::string> paths = {
        {"A", kA}, {"a", kALower}, {"B", kB}, {"P1", kPort1}, {"P2", kPort2}, {"COM1", kCom1}};
    const auto found = paths.find(name);
    return found == paths.end() ? name : found->second;
}

// As the opener opens a device: an interface with the window's backslash.
std::string OpenedAs(const std::string& name) {
    return name.empty() ? name : PipePathFor(PathOf(name));
}

struct ReplugCase {
    const char* what;
    const char* selector;  // as --port gives it
    const char* first;     // the device opened first; "": none opens
    const char* again;     // the device opened after the replug at 5 s; "": none
    int againMs;           // when it is opened again (or given up)
    OpenFailureKind failure;
    std::vector<Presence> devices;
};

TEST_CASE(ThePlcIsFoundAgainAfterItsReplug) {
    using K = OpenFailureKind;
    const int never = kForever;
    const ReplugCase cases[] = {
        // clang-format off
        {"the window's choice comes back after another PLC, which is not taken", "", "A", "A",
         7000, K::None, {{"B", 6000, never}, {"A", 0, 2000}, {"A", 7000, never}}},
        {"USB names the window's choice; the path's letter case may change", "usb", "A", "a",
         12000, K::None, {{"A", 0, 2000}, {"B", 0, never}, {"a", 12000, never}}},
        {"a PLC that does not come back is given up at the time-out", "", "A", "",
         5000 + 30000, K::NotBack, {{"A", 0, 2000}, {"B", 0, never}}},
        {"a path given: the interface with its serial number, when it is back", kB, "B", "B",
         9000, K::None, {{"A", 0, never}, {"B", 0, 1000}, {"B", 9000, never}}},
        {"a path without a serial number is opened again as it is", kCom1, "COM1", "COM1",
         6500, K::None, {{"COM1", 0, 1000}, {"COM1", 6500, never}}},
        {"the window's choice without a serial number: the window's choice again", "", "P1",
         "P2", 8000, K::None, {{"P1", 0, 1000}, {"P2", 8000, never}}},
        {"no PLC on USB at all", "", "", "", 0, K::NoUsbPlc, {{"COM1", 0, never}}},
        {"a path given that is not there", kA, "", "", 0, K::NotFound, {{"B", 0, never}}},
        // clang-format on
    };
    for (const ReplugCase& c : cases) {
        Machine machine;
        for (const Presence& d : c.devices) {
            machine.devices.push_back({PathOf(d.path), d.fromMs, d.untilMs});
        }
        PortOpener opener(c.selector, milliseconds(30000), machine.System());
        std::vector<std::int64_t> told;
        opener.OnSearch([&told](std::int64_t secondsLeft) { told.push_back(secondsLeft); });
        const bool firstOpened = opener.OpenUsbPlc() != nullptr;
        bool ok = firstOpened == (*c.first != '\0') && told.empty();
        // While it waits, the seconds left of the 30, once each: 30, 29, ...
        std::vector<std::int64_t> counted;
        if (firstOpened) {
            ok = ok && opener.device() == OpenedAs(c.first);
            machine.nowMs = 5000;
            const bool again = opener.OpenUsbPlc() != nullptr;
            ok = ok && again == (*c.again != '\0') && machine.nowMs == c.againMs &&
                 (!again || opener.device() == OpenedAs(c.again));
            for (int waited = 0; waited < c.againMs - 5000; waited += 1000) {
                counted.push_back(30 - waited / 1000);
            }
        }
        // The PLC is taken once, at its first open, and stays this burn's across the replug.
        ok = ok && told == counted && opener.failure().kind == c.failure &&
             machine.locked.size() == (c.failure == K::NoUsbPlc ? 0u : 1u);
        // No other PLC is ever touched.
        for (const std::string& path : machine.opened) {
            ok = ok && (path == OpenedAs(c.first) || path == OpenedAs(c.again) ||
                        path == PipePathFor(c.selector));
        }
        if (!ok) {
            checks::Fail(__FILE__, __LINE__,
                         std::string(c.what) + ": last opened " + opener.device() + " at " +
                             std::to_string(machine.nowMs) + " ms, failure " +
                             std::to_string(static_cast<int>(opener.failure().kind)));
        }
    }
}

// Another burn owns the PLC: refused at once, before its port is touched,
// naming that burn's process and command line.
TEST_CASE(APlcAnotherBurnOwnsIsRefusedAtOnce) {
    const PortHolder other{4242, "norvane-fwupdate-cli.exe --port COM1 --yes"};
    const struct {
        const char* selector;
        bool usb;
        const char* key;
    } cases[] = {{"com1", false, "port-COM1"}, {kALower, true, "usb-serial-SN-A"}};
    for (const auto& c : cases) {
        Machine machine;
        machine.devices = {{kCom1, 0, kForever}, {kA, 0, kForever}};
        machine.held[c.key] = other;
        PortOpener opener(c.selector, milliseconds(30000), machine.System());
        const bool opened =
            c.usb ? opener.OpenUsbPlc() != nullptr : opener.OpenSerial(c.selector) != nullptr;
        const std::string said = DescribeOpenFailure(opener.failure());
        CHECK(!opened && machine.opened.empty() && machine.nowMs == 0);
        CHECK(said.find("another program is burning this PLC (held by " + other.command +
                        ", pid 4242)") != std::string::npos);
    }
}

// The system's own lock: a second taker is refused, told who holds it, until
// the holder lets go. Its name is this run's own, so no burn is disturbed.
TEST_CASE(AnOwnerLockHasOneHolderAtATime) {
    const std::string key = "check-" + std::to_string(GetCurrentProcessId());
    PortHolder holder;
    auto first = std::make_unique<PlcLock>();
    CHECK(first->Take(key, holder) == PlcLock::Taken::Yes);
    PlcLock second;
    CHECK(second.Take(key, holder) == PlcLock::Taken::HeldElsewhere);
    char image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    CHECK(QueryFullProcessImageNameA(GetCurrentProcess(), 0, image, &size));
    CHECK(holder.pid == GetCurrentProcessId() && holder.command == std::string(image, size));
    first.reset();
    CHECK(second.Take(key, holder) == PlcLock::Taken::Yes && second.Held());
}

TEST_CASE(AFailedReopenSaysWhichPlcItWaitedFor) {
    Machine machine;
    machine.devices = {{kA, 0, 1000}};
    PortOpener opener("", milliseconds(10000), machine.System());
    CHECK(opener.OpenUsbPlc() != nullptr);
    machine.nowMs = 5000;
    CHECK(opener.OpenUsbPlc() == nullptr);
    CHECK(DescribeOpenFailure(opener.failure()).find("serial number SN-A") != std::string::npos);
}

// The system's words end a line of ours: no line break or full stop of their own,
// and a number where the system has no words.
TEST_CASE(SystemErrorsAreSaidOnOneLine) {
    const std::string found = SystemErrorText(ERROR_FILE_NOT_FOUND);
    CHECK(!found.empty() && found.find_first_of("\r\n") == std::string::npos);
    CHECK(found.back() != '.' && found.back() != ' ');
    CHECK(SystemErrorText(0x2000FFFFu) == "system error " + std::to_string(0x2000FFFFu));
    OpenFailure other;
    other.kind = OpenFailureKind::Other;
    other.path = "\\\\.\\COM3";
    other.error = ERROR_FILE_NOT_FOUND;
    CHECK(DescribeOpenFailure(other) == "cannot open \\\\.\\COM3: " + found);
}

TEST_CASE(PortNamesOpenAsTheWindowOpensThem) {
    CHECK(PipePathFor("COM12") == "\\\\.\\COM12");  // above COM9 only the device namespace opens it
    CHECK(PipePathFor(kCom1) == kCom1);
    CHECK(PipePathFor(kA) == std::string(kA) + "\\");
    CHECK(PipePathFor(std::string(kA) + "\\") == std::string(kA) + "\\");
    Machine machine;
    machine.devices = {{"\\\\.\\COM12", 0, kForever}};
    PortOpener opener("", milliseconds(1000), machine.System());
    CHECK(opener.OpenSerial("COM12") != nullptr);
    CHECK(opener.device() == "\\\\.\\COM12");
    CHECK(opener.OpenSerial("COM13") == nullptr);
    CHECK(opener.failure().kind == OpenFailureKind::NotFound);
}

}  // namespace
}  // namespace norvane
