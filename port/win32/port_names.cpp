#include "port/win32/port_names.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace norvane {

bool ComPortNameFromFriendlyName(const char* friendlyName, char (&name)[kPortNameSize]) {
    const char* marker = std::strstr(friendlyName, "(COM");
    if (marker == nullptr) {
        return false;
    }
    const char* begin = marker + 1;
    const char* end = std::strrchr(friendlyName, ')');
    if (end == nullptr || end < begin) {
        return false;
    }
    const std::size_t length = static_cast<std::size_t>(end - begin);
    if (length >= kPortNameSize) {
        return false;
    }
    std::memset(name, 0, sizeof name);
    std::memcpy(name, begin, length);
    return true;
}

bool FitsPortName(const char* name) {
    const std::size_t length = std::strlen(name);
    return length > 0 && length < kPortNameSize;
}

std::vector<std::string> ComPortEntries(
    const std::vector<std::string>& friendlyNames,
    const std::function<std::vector<std::string>()>& serialMapNames) {
    std::vector<std::string> entries;
    for (const std::string& friendlyName : friendlyNames) {
        char name[kPortNameSize];
        if (ComPortNameFromFriendlyName(friendlyName.c_str(), name)) {
            entries.emplace_back(name);
        }
    }
    if (entries.empty()) {
        for (const std::string& name : serialMapNames()) {
            if (FitsPortName(name.c_str())) {
                entries.push_back(name);
            }
        }
    }
    return entries;
}

bool IsPlcDevicePath(const char* path) {
    return std::strstr(path, kPlcDevicePathFragment) != nullptr;
}

bool DevicePathFits(const char* path) {
    return std::strlen(path) + 2 <= kDevicePathSize;
}

std::string SerialFromDevicePath(const std::string& path) {
    const std::size_t first = path.find('#');
    const std::size_t second = first == std::string::npos ? first : path.find('#', first + 1);
    const std::size_t third = second == std::string::npos ? second : path.find('#', second + 1);
    if (third == std::string::npos) {
        return std::string();
    }
    const std::string part = path.substr(second + 1, third - second - 1);
    return part.find('&') == std::string::npos ? part : std::string();
}

bool SameUsbSerial(const std::string& a, const std::string& b) {
    return !a.empty() && a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool AppendPipeSuffix(char (&path)[kDevicePathSize], const char* suffix) {
    const void* terminator = std::memchr(path, '\0', kDevicePathSize);
    if (terminator == nullptr) {
        return false;
    }
    const std::size_t used = static_cast<std::size_t>(static_cast<const char*>(terminator) - path);
    const std::size_t extra = 1 + std::strlen(suffix);
    if (used + extra + 1 > kDevicePathSize) {
        return false;
    }
    path[used] = '\\';
    std::memcpy(path + used + 1, suffix, extra);  // the suffix and its NUL
    return true;
}

}  // namespace norvane
