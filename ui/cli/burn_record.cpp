#include "ui/cli/burn_record.h"

#include <cstdio>

namespace norvane::cli {

namespace {

void SetOrNull(JsonObject& record, const std::string& key, const std::string& text) {
    if (text.empty()) {
        record.SetNull(key);
    } else {
        record.Set(key, text);
    }
}

}  // namespace

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

std::string Hex16(std::uint32_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value & 0xFFFFu);
    return text;
}

JsonObject BurnRecord(const BurnRecordFacts& f) {
    JsonObject record;
    record.Set("time", UtcTime(f.when)).Set("host", f.host).Set("port", f.port);
    SetOrNull(record, "device", f.device);
    SetOrNull(record, "usb_path", f.usbPath);
    SetOrNull(record, "usb_serial", f.usbSerial);
    record.Set("model", f.model);
    SetOrNull(record, "plc_type",
              f.plcTypeId < 0 ? "" : Hex16(static_cast<std::uint32_t>(f.plcTypeId)));
    if (f.bootVersion < 0) {
        record.SetNull("boot_version");
    } else {
        char version[16];
        std::snprintf(version, sizeof version, "0x%02X", static_cast<unsigned>(f.bootVersion));
        record.Set("boot_version", version);
    }
    record.Set("image", f.image.image)
        .Set("sha256", f.image.sha256)
        .Set("caption", f.end.caption)
        .Set("message", f.end.message)
        .Set("exit_status", static_cast<std::int64_t>(f.end.exitStatus))
        .Set("seconds", f.end.seconds)
        .Set("failed_attempts", f.end.errorsTotal);
    return record;
}

}  // namespace norvane::cli
