#include "port/win32/plc_interface_listing.h"

#include <fstream>
#include <sstream>

#include "port/test_settings.h"
#include "port/win32/port_names.h"
#include "port/win32/usb_device_lookup.h"

namespace norvane {

namespace {

// The rows of a fake listing, in their order (the interface index); lines
// without a tab, or with nothing on either side of it, are no rows.
std::vector<ListedInterface> ParseInterfaceListing(const std::string& text) {
    std::vector<ListedInterface> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos && tab > 0 && tab + 1 < line.size()) {
            rows.push_back(ListedInterface{line.substr(0, tab), line.substr(tab + 1)});
        }
    }
    return rows;
}

}  // namespace

std::optional<std::vector<ListedInterface>> FakeInterfaceListing() {
    const char* file = TestSettingValue(TestSetting::PlcInterfaces);
    if (file == nullptr || *file == '\0') {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return ParseInterfaceListing(text.str());
}

std::vector<std::string> AttachedPlcInterfaces() {
    const std::optional<std::vector<ListedInterface>> fake = FakeInterfaceListing();
    if (!fake) {
        return PlcInterfacePaths();
    }
    std::vector<std::string> paths;
    for (const ListedInterface& row : *fake) {
        paths.push_back(row.path);
    }
    return paths;
}

std::string PipeDevice(const std::string& pipePath) {
    const std::optional<std::vector<ListedInterface>> fake = FakeInterfaceListing();
    if (!fake || !IsPlcDevicePath(pipePath.c_str())) {
        return pipePath;
    }
    for (const ListedInterface& row : *fake) {
        if (pipePath == row.path || pipePath == row.path + "\\") {
            return row.device;
        }
    }
    return "";
}

}  // namespace norvane
