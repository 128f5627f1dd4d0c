// Opening a burn's port from the console on a machine whose PLCs come and go on
// a virtual clock: which PLC is opened first, and which one, when and whether
// after the replug.
#include "port/win32/port_opener.h"

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
    std::vector<std::string> opened;  // every path an open was asked for

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
        system.now = [this] { return PortSystem::Clock::time_point(milliseconds(nowMs)); };
        system.sleep = [this](milliseconds ms) { nowMs += static_cast<int>(ms.count()); };
        return system;
    }
};

struct ReplugCase {
    const char* what;
    std::string selector;
    std::vector<Presence> devices;
    int replugMs;             // the burn opens the PLC again at this time
    std::string first;        // the path opened first; empty: none opens
    std::string again;        // the path opened after the replug; empty: none
    int againMs;              // when it is opened again (or given up)
    OpenFailureKind failure;  // after the second open
    std::string neverOpened;  // a PLC that must not be touched
};

TEST_CASE(ThePlcIsFoundAgainAfterItsReplug) {
    const std::string a = kA;
    const std::string b = kB;
    const ReplugCase cases[] = {
        {"the window's choice comes back after another PLC: that one is not taken",
         "",
         {{b, 6000, kForever}, {a, 0, 2000}, {a, 7000, kForever}},
         5000,
         a + "\\",
         a + "\\",
         7000,
         OpenFailureKind::None,
         b + "\\"},
        {"USB names the window's choice; the path's letter case may change",
         "usb",
         {{a, 0, 2000}, {b, 0, kForever}, {kALower, 12000, kForever}},
         5000,
         a + "\\",
         std::string(kALower) + "\\",
         12000,
         OpenFailureKind::None,
         b + "\\"},
        {"a PLC that does not come back is given up at the time-out",
         "",
         {{a, 0, 2000}, {b, 0, kForever}},
         5000,
         a + "\\",
         "",
         5000 + 30000,
         OpenFailureKind::NotBack,
         b + "\\"},
        {"a path given: the interface with its serial number, wherever it comes back",
         b,
         {{a, 0, kForever}, {b, 0, 1000}, {b, 9000, kForever}},
         5000,
         b + "\\",
         b + "\\",
         9000,
         OpenFailureKind::None,
         a + "\\"},
        {"a path without a serial number is opened again as it is",
         kCom1,
         {{kCom1, 0, 1000}, {kCom1, 6500, kForever}},
         5000,
         kCom1,
         kCom1,
         6500,
         OpenFailureKind::None,
         ""},
        {"the window's choice without a serial number: the window's choice again",
         "",
         {{kPort1, 0, 1000}, {kPort2, 8000, kForever}},
         5000,
         std::string(kPort1) + "\\",
         std::string(kPort2) + "\\",
         8000,
         OpenFailureKind::None,
         ""},
        {"no PLC on USB at all",
         "",
         {{kCom1, 0, kForever}},
         5000,
         "",
         "",
         0,
         OpenFailureKind::NoUsbPlc,
         ""},
        {"a path given that is not there",
         a,
         {{b, 0, kForever}},
         5000,
         "",
         "",
         0,
         OpenFailureKind::NotFound,
         b + "\\"},
    };
    for (const ReplugCase& c : cases) {
        Machine machine;
        machine.devices = c.devices;
        PortOpener opener(c.selector, milliseconds(30000), machine.System());
        const bool firstOpened = opener.OpenUsbPlc() != nullptr;
        bool ok = firstOpened == !c.first.empty();
        if (firstOpened) {
            ok = ok && opener.device() == c.first;
            machine.nowMs = c.replugMs;
            const bool again = opener.OpenUsbPlc() != nullptr;
            ok = ok && again == !c.again.empty() && machine.nowMs == c.againMs &&
                 (!again || opener.device() == c.again);
        }
        ok = ok && opener.failure().kind == c.failure;
        for (const std::string& path : machine.opened) {
            ok = ok && path != c.neverOpened;
        }
        if (!ok) {
            checks::Fail(__FILE__, __LINE__,
                         std::string(c.what) + ": last opened " + opener.device() + " at " +
                             std::to_string(machine.nowMs) + " ms, failure " +
                             std::to_string(static_cast<int>(opener.failure().kind)));
        }
    }
}

TEST_CASE(AFailedReopenSaysWhichPlcItWaitedFor) {
    Machine machine;
    machine.devices = {{kA, 0, 1000}};
    PortOpener opener("", milliseconds(10000), machine.System());
    CHECK(opener.OpenUsbPlc() != nullptr);
    CHECK(opener.serial() == "SN-A");
    machine.nowMs = 5000;
    CHECK(opener.OpenUsbPlc() == nullptr);
    CHECK(opener.failure().serial == "SN-A");
    CHECK(DescribeOpenFailure(opener.failure()).find("SN-A") != std::string::npos);
}

TEST_CASE(PortNamesOpenAsTheWindowOpensThem) {
    struct Case {
        const char* name;
        const char* path;
    };
    const Case cases[] = {
        {"COM12", "\\\\.\\COM12"},  // above COM9 only the device namespace opens it
        {"\\\\.\\COM1", "\\\\.\\COM1"},
        {kA, "\\\\?\\usb#vid_6c2e&pid_0001#SN-A#{a5dcbf10-6530-11d2-901f-00c04fb951ed}\\"},
        {"\\\\?\\usb#vid_6c2e&pid_0001#SN-A#{x}\\", "\\\\?\\usb#vid_6c2e&pid_0001#SN-A#{x}\\"},
    };
    for (const Case& c : cases) {
        if (PipePathFor(c.name) != c.path) {
            checks::Fail(__FILE__, __LINE__, std::string(c.name) + " -> " + PipePathFor(c.name));
        }
    }
    Machine machine;
    machine.devices = {{"\\\\.\\COM12", 0, kForever}};
    PortOpener opener("", milliseconds(1000), machine.System());
    CHECK(opener.OpenSerial("COM12") != nullptr);
    CHECK(opener.device() == "\\\\.\\COM12");
    CHECK(opener.OpenSerial("COM13") == nullptr);
    CHECK(opener.failure().kind == OpenFailureKind::NotFound);
    CHECK(NamesWindowsChoice("USB") && NamesWindowsChoice("usb") && !NamesWindowsChoice("USB1"));
}

TEST_CASE(OpenErrorsAreToldApart) {
    struct Case {
        std::uint32_t error;
        OpenFailureKind kind;
    };
    const Case cases[] = {
        {ERROR_FILE_NOT_FOUND, OpenFailureKind::NotFound},
        {ERROR_PATH_NOT_FOUND, OpenFailureKind::NotFound},
        {ERROR_ACCESS_DENIED, OpenFailureKind::Busy},  // a COM port another program holds
        {ERROR_SHARING_VIOLATION, OpenFailureKind::Busy},
        {ERROR_GEN_FAILURE, OpenFailureKind::Other},
    };
    for (const Case& c : cases) {
        CHECK(ClassifyOpenError(c.error) == c.kind);
    }
    // An error the tool has no words for is told in the system's.
    const std::string other = DescribeOpenFailure(
        OpenFailure{OpenFailureKind::Other, "\\\\.\\COM3", "", ERROR_GEN_FAILURE});
    CHECK(other.rfind("cannot open \\\\.\\COM3: ", 0) == 0 && other.size() > 26);
}

}  // namespace
}  // namespace norvane
