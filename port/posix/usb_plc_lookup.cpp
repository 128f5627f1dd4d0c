#include "port/posix/usb_plc_lookup.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace norvane::posix {

namespace {

namespace fs = std::filesystem;

bool SameHex(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The USB device a tty belongs to: the nearest directory above its device
// that carries a vendor and a product identifier. The nearest one only, so
// that a hub further up is never taken for the device.
std::optional<fs::path> OwningUsbDevice(const fs::path& device, const fs::path& root) {
    // tty device -> (usb-serial port ->) interface -> USB device
    constexpr int kMaxLevels = 4;
    fs::path dir = device;
    for (int level = 0; level < kMaxLevels; ++level) {
        std::error_code ec;
        if (fs::exists(dir / "idVendor", ec) && fs::exists(dir / "idProduct", ec)) {
            return dir;
        }
        const fs::path parent = dir.parent_path();
        if (parent == dir || parent == root ||
            parent.native().compare(0, root.native().size(), root.native()) != 0) {
            break;
        }
        dir = parent;
    }
    return std::nullopt;
}

}  // namespace

std::string FindUsbTty(const std::string& vendorId, const std::string& productId,
                       const std::string& sysfsRoot) {
    std::error_code ec;
    const fs::path root = fs::canonical(sysfsRoot, ec);
    if (ec) {
        return "";
    }
    for (const std::string& name : TtysWithDevice(sysfsRoot)) {
        const auto device = TtyDevice(sysfsRoot, name);
        const auto usb = device ? OwningUsbDevice(*device, root) : std::nullopt;
        if (!usb) {
            continue;
        }
        const auto vendor = ReadAttribute(*usb / "idVendor");
        const auto product = ReadAttribute(*usb / "idProduct");
        if (vendor && product && SameHex(*vendor, vendorId) && SameHex(*product, productId)) {
            std::string node = name;  // the kernel writes a '/' of a node name as '!'
            std::replace(node.begin(), node.end(), '!', '/');
            return "/dev/" + node;
        }
    }
    return "";
}

std::string FindUsbPlcTty(const std::string& sysfsRoot) {
    return FindUsbTty(kPlcUsbVendorId, kPlcUsbProductId, sysfsRoot);
}

}  // namespace norvane::posix
