// The text handling of port listings: the port inside a friendly name, the
// serial-device map fallback, the PLC's device path and its pipe suffix, and
// the order in which Linux port names are shown.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "port/posix/port_name_order.h"
#include "port/win32/port_names.h"

using namespace norvane;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return lines;
}

void Require(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string cText = text.c_str();  // up to the first NUL, as the system hands it over

    char name[kPortNameSize] = "untouched";
    if (ComPortNameFromFriendlyName(cText.c_str(), name)) {
        Require(std::memchr(name, '\0', sizeof name) != nullptr);
        Require(FitsPortName(name));
    } else {
        Require(std::strcmp(name, "untouched") == 0);
    }

    const std::vector<std::string> lines = Lines(cText);
    const std::size_t half = lines.size() / 2;
    const std::vector<std::string> friendly(lines.begin(), lines.begin() + half);
    const std::vector<std::string> serialMap(lines.begin() + half, lines.end());
    for (const std::string& entry : ComPortEntries(friendly, [&] { return serialMap; }))
        Require(entry.size() < kPortNameSize);

    (void)IsPlcDevicePath(cText.c_str());
    char path[kDevicePathSize] = {};
    std::strncpy(path, cText.c_str(), kDevicePathSize - 1);
    const std::string before = path;
    const std::string suffix = lines.back();
    if (AppendPipeSuffix(path, suffix.c_str()))
        Require(std::string(path) == before + "\\" + suffix);
    else
        Require(std::string(path) == before);
    // A path that fits must take the pipe's empty suffix, and the other way round.
    char fresh[kDevicePathSize] = {};
    std::strncpy(fresh, before.c_str(), kDevicePathSize - 1);
    Require(DevicePathFits(before.c_str()) == AppendPipeSuffix(fresh, ""));

    // A sort needs a strict weak order: never a < a, never both a < b and b < a.
    for (const std::string& a : lines) {
        Require(!posix::PortNameLess(a, a));
        for (const std::string& b : lines)
            Require(!(posix::PortNameLess(a, b) && posix::PortNameLess(b, a)));
    }
    return 0;
}
