#include "port/posix/usb_identity.h"

#include <algorithm>
#include <cctype>

#include "port/posix/port_listing.h"

namespace norvane::posix {

namespace {

namespace fs = std::filesystem;

constexpr char kUsbPathPrefix[] = "usb-path:";
constexpr char kUsbSerialPrefix[] = "usb-serial:";

bool SameHex(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

const std::string kPlcUsbVendorId = "6c2e";
const std::string kPlcUsbProductId = "0001";

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The tty's USB device directory and, through it, its identity and identifiers.
struct UsbOwner {
    fs::path dir;
    UsbIdentity identity;
    bool plc = false;
};

std::optional<UsbOwner> OwnerOf(const std::string& sysfsRoot, const std::string& ttyName) {
    std::error_code ec;
    const fs::path root = fs::canonical(sysfsRoot, ec);
    const auto device = ec ? std::nullopt : TtyDevice(sysfsRoot, ttyName);
    const auto usb = device ? OwningUsbDevice(*device, root) : std::nullopt;
    if (!usb) {
        return std::nullopt;
    }
    UsbOwner owner{*usb, {usb->filename().string(), ReadAttribute(*usb / "serial").value_or("")}};
    const auto vendor = ReadAttribute(*usb / "idVendor");
    const auto product = ReadAttribute(*usb / "idProduct");
    owner.plc = vendor && product && SameHex(*vendor, kPlcUsbVendorId) &&
                SameHex(*product, kPlcUsbProductId);
    return owner;
}

// The name under class/tty of a port name or its /dev path.
std::string TtyName(const std::string& nameOrPath) {
    std::string name =
        nameOrPath.rfind(kDevRoot, 0) == 0 ? nameOrPath.substr(kDevRoot.size()) : nameOrPath;
    std::replace(name.begin(), name.end(), '/', '!');
    return name;
}

}  // namespace

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

namespace {

PortEntry EntryOf(const std::string& sysfsRoot, const std::string& tty) {
    std::string name = tty;
    std::replace(name.begin(), name.end(), '!', '/');
    PortEntry entry{name, kDevRoot + name, false, std::nullopt};
    if (const auto owner = OwnerOf(sysfsRoot, tty)) {
        entry.plcUsb = owner->plc;
        entry.usb = owner->identity;
    }
    return entry;
}

}  // namespace

std::vector<PortEntry> ListPorts(const std::string& sysfsRoot) {
    std::vector<PortEntry> entries;
    for (const std::string& tty : ListTtysWithHardware(sysfsRoot)) {
        entries.push_back(EntryOf(sysfsRoot, tty));
    }
    return entries;
}

std::optional<PortEntry> UsbPortEntry(const std::string& tty, const std::string& sysfsRoot) {
    PortEntry entry = EntryOf(sysfsRoot, tty);
    return entry.usb ? std::optional<PortEntry>(std::move(entry)) : std::nullopt;
}

std::optional<PortEntry> UsbPortEntryOf(const std::string& nameOrPath,
                                        const std::string& sysfsRoot) {
    return UsbPortEntry(TtyName(nameOrPath), sysfsRoot);
}

PortSelector ParsePortSelector(const std::string& text) {
    if (StartsWith(text, kUsbPathPrefix)) {
        return {PortSelector::Kind::UsbPath, text.substr(sizeof kUsbPathPrefix - 1)};
    }
    if (StartsWith(text, kUsbSerialPrefix)) {
        return {PortSelector::Kind::UsbSerial, text.substr(sizeof kUsbSerialPrefix - 1)};
    }
    if (text == "USB") {
        return {PortSelector::Kind::FirstUsbPlc, ""};
    }
    return {PortSelector::Kind::Node, text};
}

std::optional<UsbIdentity> IdentityOfTty(const std::string& nameOrPath,
                                         const std::string& sysfsRoot) {
    const auto owner = OwnerOf(sysfsRoot, TtyName(nameOrPath));
    return owner ? std::optional<UsbIdentity>(owner->identity) : std::nullopt;
}

std::string FindUsbPlcTty(const std::string& sysfsRoot) {
    for (const PortEntry& entry : ListPorts(sysfsRoot)) {
        if (entry.plcUsb) {
            return entry.device;
        }
    }
    return "";
}

std::string FindTtyByIdentity(const UsbIdentity& want, const std::string& sysfsRoot) {
    if (want.path.empty() && want.serial.empty()) {
        return "";
    }
    for (const PortEntry& entry : ListPorts(sysfsRoot)) {
        if (entry.usb && (want.path.empty() || entry.usb->path == want.path) &&
            (want.serial.empty() || entry.usb->serial == want.serial)) {
            return entry.device;
        }
    }
    return "";
}

}  // namespace norvane::posix
