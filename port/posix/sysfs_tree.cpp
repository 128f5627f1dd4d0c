#include "port/posix/sysfs_tree.h"

#include <algorithm>
#include <fstream>

#include "port/posix/port_name_order.h"

namespace norvane::posix {

namespace fs = std::filesystem;

std::vector<std::string> TtysWithDevice(const std::string& sysfsRoot) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator entry(fs::path(sysfsRoot) / "class" / "tty", ec);
         !ec && entry != fs::directory_iterator(); entry.increment(ec)) {
        std::error_code linkError;
        if (fs::exists(entry->path() / "device", linkError)) {
            names.push_back(entry->path().filename().string());
        }
    }
    std::sort(names.begin(), names.end(), PortNameLess);
    return names;
}

std::optional<fs::path> TtyDevice(const std::string& sysfsRoot, const std::string& ttyName) {
    std::error_code ec;
    fs::path device = fs::canonical(fs::path(sysfsRoot) / "class" / "tty" / ttyName / "device", ec);
    if (ec) {
        return std::nullopt;
    }
    return device;
}

std::optional<std::string> ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return std::nullopt;
    }
    const char* space = " \t\r\n";
    const auto first = line.find_first_not_of(space);
    if (first == std::string::npos) {
        return std::string();
    }
    return line.substr(first, line.find_last_not_of(space) - first + 1);
}

}  // namespace norvane::posix
