// The fake listing of PLC interfaces the console program is tested against under
// Wine: what a line of it is, and what a pipe path opens while it stands.
#include "port/win32/plc_interface_listing.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/win32/check.h"

namespace norvane {
namespace {

constexpr char kA[] = "\\\\?\\usb#vid_6c2e&pid_0001#SN-A#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
constexpr char kB[] = "\\\\?\\usb#vid_6c2e&pid_0001#SN-B#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

TEST_CASE(AListingLineIsAnInterfaceAndItsDevice) {
    const std::string text = std::string(kA) + "\t\\\\.\\COM1\r\n\n" + "no tab here\n" +
                             "\t\\\\.\\COM2\n" + kB + "\t\n" + kB + "\t\\\\.\\COM3";
    const std::vector<ListedInterface> rows = ParseInterfaceListing(text);
    CHECK(rows.size() == 2);
    CHECK(rows.size() == 2 && rows[0].path == kA && rows[0].device == "\\\\.\\COM1");
    CHECK(rows.size() == 2 && rows[1].path == kB && rows[1].device == "\\\\.\\COM3");
}

TEST_CASE(APipeOpensTheDeviceListedForItsInterface) {
    CHECK(PipeDevice(std::string(kA) + "\\") == std::string(kA) + "\\");  // no listing set
    const std::string file = "plc_interfaces_check.txt";
    std::FILE* out = std::fopen(file.c_str(), "wb");
    CHECK(out != nullptr);
    if (out == nullptr) {
        return;
    }
    std::fprintf(out, "%s\t\\\\.\\COM1\n", kA);
    std::fclose(out);
    _putenv_s("NORVANE_FWUPDATE_PLC_INTERFACES", file.c_str());
    CHECK(AttachedPlcInterfaces() == std::vector<std::string>{kA});
    CHECK(PipeDevice(std::string(kA) + "\\") == "\\\\.\\COM1");
    CHECK(PipeDevice(std::string(kB) + "\\").empty());  // not plugged in
    CHECK(PipeDevice("\\\\.\\COM4") == "\\\\.\\COM4");  // a COM port opened as a pipe
    std::remove(file.c_str());
    CHECK(AttachedPlcInterfaces().empty());  // the listing gone: every PLC pulled out
    _putenv_s("NORVANE_FWUPDATE_PLC_INTERFACES", "");
}

}  // namespace
}  // namespace norvane
