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
    GetText(*r, "burn_id", burn.burnId);
    burn.line = std::string(line);
    return burn;
}

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar, without
// the C library's time zone (a date's days are counted from March, so that the
// leap day ends a year).
std::int64_t DaysSince1970(int year, int month, int day) {
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

}  // namespace

std::optional<std::int64_t> ParseRfc3339(const std::string& text) {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%*1[Tt ]%2d:%2d:%2d%n", &year, &month, &day, &hour,
                    &minute, &second, &used) != 6 ||
        used != 19 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 60) {
        return std::nullopt;
    }
    std::size_t at = 19;
    if (at < text.size() && text[at] == '.') {
        ++at;
        const std::size_t digits = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            ++at;
        }
        if (at == digits) {
            return std::nullopt;
        }
    }
    long offset = 0;
    const std::string zone = text.substr(at);
    if (zone != "Z" && zone != "z") {
        int zoneHours = 0;
        int zoneMinutes = 0;
        char sign[2] = {};
        int zoneUsed = 0;
        if (std::sscanf(zone.c_str(), "%1[+-]%2d:%2d%n", sign, &zoneHours, &zoneMinutes,
                        &zoneUsed) != 3 ||
            zoneUsed != 6 || static_cast<std::size_t>(zoneUsed) != zone.size() || zoneHours > 23 ||
            zoneMinutes > 59) {
            return std::nullopt;
        }
        offset = (zoneHours * 60L + zoneMinutes) * 60L * (sign[0] == '-' ? -1 : 1);
    }
    return DaysSince1970(year, month, day) * 86400 + hour * 3600L + minute * 60L + second - offset;
}

}  // namespace norvane::line
