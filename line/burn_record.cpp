#include "line/burn_record.h"

#include <cstdio>

#include "line/json_line.h"
#include "line/machine.h"

namespace norvane::line {

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

std::string RecordLine(const EndFields& end, const RecordPlace& place, const PlcReport& report,
                       const ImageFacts& image, WrittenBy writer, std::time_t when) {
    JsonLine r;
    PutText(r, "time", UtcTime(when));
    PutText(r, "host", machine::HostName());
    PutText(r, "port", place.port);
    PutTextOrNull(r, "device", place.device);
    PutTextOrNull(r, "usb_path", place.usbPath);
    PutTextOrNull(r, "usb_serial", place.usbSerial);
    PutText(r, "model", image.model);
    PutTextOrNull(r, "plc_type",
                  report.typeId < 0 ? "" : Hex16(static_cast<std::uint32_t>(report.typeId)));
    PutTextOrNull(
        r, "boot_version",
        report.bootVersion < 0 ? "" : Hex8(static_cast<std::uint32_t>(report.bootVersion)));
    PutTextOrNull(r, "image", image.image);
    PutTextOrNull(r, "sha256", image.sha256);
    PutText(r, "caption", end.caption);
    PutText(r, "message", end.message);
    r["exit_status"] = end.exitStatus;
    r["seconds"] = end.seconds;
    r["failed_attempts"] = end.errorsTotal;
    r["erase_begun"] = end.eraseBegun;
    r["handed_over"] = end.handedOver;
    PutText(r, "burn_id", end.burnId);
    r["written_by"] = writer == WrittenBy::Burn ? "burn" : "parent";
    r["outcome"] = OutcomeWord(end.outcome);
    r["verified"] = end.verified;
    return WriteLine(r);
}

std::optional<RecordedBurn> ReadRecordLine(std::string_view line) {
    const std::optional<JsonLine> r = ReadLine(line);
    std::int64_t status = -1;
    if (!r || !GetNumber(*r, "exit_status", status)) {
        return std::nullopt;
    }
    // Older lines lack some fields, and a line written for an unknown PLC holds
    // null where a fact is not known: what is missing is left empty.
    RecordedBurn burn;
    burn.exitStatus = static_cast<int>(status);
    GetText(*r, "time", burn.time);
    GetText(*r, "usb_serial", burn.usbSerial);
    GetText(*r, "model", burn.model);
    GetText(*r, "image", burn.image);
    GetText(*r, "sha256", burn.sha256);
    GetFlag(*r, "erase_begun", burn.eraseBegun);
    GetFlag(*r, "handed_over", burn.handedOver);
    return burn;
}

}  // namespace norvane::line
