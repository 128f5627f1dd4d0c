#include "ui/cli/burn_record.h"

#include <cstdio>

namespace norvane::cli {

std::string UtcTime(std::time_t when) {
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &when);
#else
    gmtime_r(&when, &utc);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

namespace {

// "0x" and `digits` upper-case hex digits of a value that fits them.
std::string Hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

}  // namespace

std::string Hex16(std::uint32_t value) {
    return Hex(value & 0xFFFFu, 4);
}

std::string Hex8(std::uint32_t value) {
    return Hex(value & 0xFFu, 2);
}

JsonObject BurnRecord(const BurnRecordFacts& f) {
    JsonObject record;
    record.Set("time", UtcTime(f.when))
        .Set("host", f.host)
        .Set("port", f.port)
        .SetTextOrNull("device", f.device)
        .SetTextOrNull("usb_path", f.usbPath)
        .SetTextOrNull("usb_serial", f.usbSerial)
        .Set("model", f.model)
        .SetTextOrNull("plc_type",
                       f.plcTypeId < 0 ? "" : Hex16(static_cast<std::uint32_t>(f.plcTypeId)))
        .SetTextOrNull("boot_version",
                       f.bootVersion < 0 ? "" : Hex8(static_cast<std::uint32_t>(f.bootVersion)))
        .SetTextOrNull("image", f.image.image)
        .SetTextOrNull("sha256", f.image.sha256)
        .Set("caption", f.end.caption)
        .Set("message", f.end.message)
        .Set("exit_status", static_cast<std::int64_t>(f.end.exitStatus))
        .Set("seconds", f.end.seconds)
        .Set("failed_attempts", f.end.errorsTotal)
        .Set("erase_begun", f.end.eraseBegun)
        .Set("handed_over", f.end.handedOver)
        .Set("burn_id", f.burnId)
        .Set("written_by", f.writtenBy);
    return record;
}

}  // namespace norvane::cli
