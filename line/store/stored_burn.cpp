#include "line/store/stored_burn.h"

#include "burn/sha256.h"
#include "line/json_line.h"

namespace norvane::line {

std::optional<StoredBurn> StoredBurnOf(std::string_view line, const std::string& station,
                                       std::string& why) {
    const std::optional<JsonLine> r = ReadLine(line);
    if (!r) {
        why = "not a JSON object";
        return std::nullopt;
    }
    StoredBurn burn;
    if (!GetNumber(*r, "exit_status", burn.exitStatus) || !GetText(*r, "time", burn.time) ||
        !GetText(*r, "port", burn.socket)) {
        why = "no record of a burn (it lacks its time, port or exit status)";
        return std::nullopt;
    }
    // Older lines lack some fields, and a line of an unknown PLC holds null
    // where a fact is not known: what is missing is left empty.
    GetTextOrNull(*r, "burn_id", burn.burnId);
    GetTextOrNull(*r, "device", burn.device);
    GetTextOrNull(*r, "usb_path", burn.usbPath);
    GetTextOrNull(*r, "usb_serial", burn.usbSerial);
    GetTextOrNull(*r, "model", burn.model);
    GetTextOrNull(*r, "plc_type", burn.plcType);
    GetTextOrNull(*r, "boot_version", burn.bootVersion);
    GetTextOrNull(*r, "image", burn.image);
    GetTextOrNull(*r, "sha256", burn.sha256);
    GetTextOrNull(*r, "outcome", burn.outcome);
    GetTextOrNull(*r, "caption", burn.caption);
    GetTextOrNull(*r, "message", burn.message);
    GetNumber(*r, "seconds", burn.seconds);
    GetNumber(*r, "failed_attempts", burn.failedAttempts);
    GetFlag(*r, "erase_begun", burn.eraseBegun);
    GetFlag(*r, "handed_over", burn.handedOver);
    GetFlag(*r, "verified", burn.verified);
    if (burn.outcome.empty()) {
        burn.outcome = burn.exitStatus == 0 ? "success" : "failed";
    }
    burn.station = station;
    if (burn.station.empty()) {
        GetTextOrNull(*r, "host", burn.station);
    }
    if (burn.burnId.empty()) {
        burn.burnId =
            "line-" + Sha256Hex(reinterpret_cast<const std::uint8_t*>(line.data()), line.size())
                          .substr(0, 32);
    }
    burn.line = std::string(line);
    return burn;
}

}  // namespace norvane::line
