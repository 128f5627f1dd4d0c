// The fake listing of PLC interfaces the console program is tested against under
// Wine: which of its lines are interfaces, and what a pipe path opens meanwhile.
#include "port/win32/plc_interface_listing.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/win32/check.h"

namespace norvane {
namespace {

TEST_CASE(AFakeListingGivesTheDeviceOfEachInterface) {
    const std::string a =
        "\\\\?\\usb#vid_6c2e&pid_0001#SN-A#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    const std::string b =
        "\\\\?\\usb#vid_6c2e&pid_0001#SN-B#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    CHECK(PipeDevice(a + "\\") == a + "\\");  // no listing set: the path itself
    const char file[] = "plc_interfaces_check.txt";
    std::FILE* out = std::fopen(file, "wb");
    CHECK(out != nullptr);
    if (out == nullptr) {
        return;
    }
    // Lines without a tab, or with nothing on a side of it, are no interfaces.
    std::fprintf(out, "%s\t\\\\.\\COM1\r\n\nno tab\n\t\\\\.\\COM2\n%s\t\n", a.c_str(), b.c_str());
    std::fclose(out);
    _putenv_s("NORVANE_FWUPDATE_PLC_INTERFACES", file);
    CHECK(AttachedPlcInterfaces() == std::vector<std::string>{a});
    CHECK(PipeDevice(a + "\\") == "\\\\.\\COM1");
    CHECK(PipeDevice(b + "\\").empty());                // not plugged in
    CHECK(PipeDevice("\\\\.\\COM4") == "\\\\.\\COM4");  // a COM port opened as a pipe
    std::remove(file);
    CHECK(AttachedPlcInterfaces().empty());  // the listing gone: every PLC pulled out
    _putenv_s("NORVANE_FWUPDATE_PLC_INTERFACES", "");
}

}  // namespace
}  // namespace norvane
