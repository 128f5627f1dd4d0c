// The text rules of the port listing and the USB lookup, with the bounds of
// the fixed port-name and device-path buffers.
#include "port/win32/port_names.h"

#include <cstring>
#include <string>
#include <vector>

#include "tests/win32/check.h"

namespace norvane {
namespace {

TEST_CASE(FriendlyNamesGiveTheirPortName) {
    struct Case {
        const char* friendly;
        const char* listed;  // nullptr: not listed
    };
    const Case cases[] = {
        {"USB Serial Port (COM3)", "COM3"},
        {"Communications Port (COM1)", "COM1"},
        {"Port (COM4) (x)", "COM4) (x"},  // up to the last ")" of the whole name
        {"Port (com5)", nullptr},         // the search is case-sensitive
        {"Printer Port (LPT1)", nullptr},
        {"Port (COM123456)", "COM123456"},  // nine characters: the most an entry holds
        {"Port (COM1234567)", nullptr},     // ten would overrun the entry
        {"Port (COM7", nullptr},            // no ")" at all
        {"Port) (COM7", nullptr},           // the last ")" comes before the port
        {"", nullptr},
    };
    for (const Case& c : cases) {
        char name[kPortNameSize];
        std::memset(name, 'z', sizeof name);
        const bool listed = ComPortNameFromFriendlyName(c.friendly, name);
        CHECK(listed == (c.listed != nullptr));
        if (listed && c.listed != nullptr) {
            if (std::string(name) != c.listed) {
                checks::Fail(__FILE__, __LINE__, std::string(c.friendly) + " gave " + name);
            }
        } else {
            CHECK(name[0] == 'z');  // untouched
        }
    }
}

TEST_CASE(SerialMapIsReadOnlyWhenNoDeviceNamesAPort) {
    using Names = std::vector<std::string>;
    struct Case {
        Names friendly;
        Names serialMap;
        Names listed;
        bool mapRead;
    };
    const Case cases[] = {
        // Devices with friendly names: listed as before, the map is not read.
        {{"USB Serial Port (COM3)", "Communications Port (COM1)"},
         {"COM9"},
         {"COM3", "COM1"},
         false},
        {{"Printer Port (LPT1)", "Port (COM4)"}, {"COM9"}, {"COM4"}, false},
        // No device names a port (Wine, virtual ports): the map's names that fit an entry.
        {{}, {"COM1", "COM2"}, {"COM1", "COM2"}, true},
        {{"Printer Port (LPT1)", "Port (com5)"}, {"COM7"}, {"COM7"}, true},
        {{}, {"COM123456", "COM1234567", "", "COM8"}, {"COM123456", "COM8"}, true},
        {{}, {}, {}, true},
    };
    for (const Case& c : cases) {
        bool mapRead = false;
        const Names listed = ComPortEntries(c.friendly, [&] {
            mapRead = true;
            return c.serialMap;
        });
        CHECK(listed == c.listed);
        CHECK(mapRead == c.mapRead);
    }
}

TEST_CASE(OnlyThePlcsPathMatches) {
    CHECK(IsPlcDevicePath("\\\\?\\usb#vid_6c2e&pid_0001#5&1a2b3c&0&2#{a5dcbf10-6530-11d2}"));
    CHECK(!IsPlcDevicePath("\\\\?\\USB#VID_6C2E&PID_0001#5&1a2b3c&0&2#{a5dcbf10-6530-11d2}"));
    CHECK(!IsPlcDevicePath("\\\\?\\usb#vid_6c2e&pid_0002#5&1a2b3c&0&2"));
}

TEST_CASE(TheSerialNumberIsTakenFromTheDevicePath) {
    struct Case {
        const char* path;
        const char* serial;
    };
    const Case cases[] = {
        {"\\\\?\\usb#vid_6c2e&pid_0001#A1B2C3#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", "A1B2C3"},
        {"\\\\?\\usb#vid_6c2e&pid_0001#A1B2C3#{a5dcbf10-6530-11d2-901f-00c04fb951ed}\\",
         "A1B2C3"},  // as it is opened, with the backslash
        // No serial number: the system's instance name for the port, with '&' in it.
        {"\\\\?\\usb#vid_6c2e&pid_0001#5&1a2b3c&0&2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", ""},
        {"\\\\?\\usb#vid_6c2e&pid_0001##{a5dcbf10}", ""},
        {"\\\\?\\usb#vid_6c2e&pid_0001#A1B2C3", ""},  // no part after it: not an interface path
        {"\\\\.\\COM1", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        if (SerialFromDevicePath(c.path) != c.serial) {
            checks::Fail(__FILE__, __LINE__,
                         std::string(c.path) + " gave \"" + SerialFromDevicePath(c.path) + "\"");
        }
    }
    CHECK(SameUsbSerial("a1b2c3", "A1B2C3"));
    CHECK(!SameUsbSerial("A1B2C3", "A1B2C4"));
    CHECK(!SameUsbSerial("A1B2C3", "A1B2C"));
    CHECK(!SameUsbSerial("", ""));  // no serial number names no device
}

TEST_CASE(DevicePathLeavesRoomForTheBackslash) {
    const std::string fits(kDevicePathSize - 2, 'p');
    const std::string tooLong(kDevicePathSize - 1, 'p');
    CHECK(DevicePathFits(fits.c_str()));
    CHECK(!DevicePathFits(tooLong.c_str()));
}

TEST_CASE(PipeSuffixIsAppendedAfterABackslash) {
    char path[kDevicePathSize] = "\\\\?\\usb#vid_6c2e&pid_0001#1";
    CHECK(AppendPipeSuffix(path, ""));
    CHECK(std::string(path) == "\\\\?\\usb#vid_6c2e&pid_0001#1\\");

    char full[kDevicePathSize];
    std::memset(full, 'p', sizeof full);
    full[kDevicePathSize - 2] = '\0';  // 298 characters: the backslash and the NUL just fit
    CHECK(AppendPipeSuffix(full, ""));
    CHECK(std::strlen(full) == kDevicePathSize - 1);
    CHECK(!AppendPipeSuffix(full, ""));  // no room for another
    CHECK(std::strlen(full) == kDevicePathSize - 1);
    full[kDevicePathSize - 3] = '\0';  // 297 characters: a one-character suffix fits, two do not
    CHECK(!AppendPipeSuffix(full, "ab"));
    CHECK(AppendPipeSuffix(full, "a"));
    CHECK(std::string(full + kDevicePathSize - 4) == "p\\a");

    char unterminated[kDevicePathSize];
    std::memset(unterminated, 'p', sizeof unterminated);
    CHECK(!AppendPipeSuffix(unterminated, ""));
}

}  // namespace
}  // namespace norvane
