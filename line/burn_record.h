// The record of one burn: a JSON line appended to the file --record names, one
// whole line per write, so that the lines of burns that end together never mix;
// written by the burn's own process, or by its parent for a burn whose process
// ended without saying how the burn ended.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "line/burn_event.h"
#include "line/run_image.h"

namespace norvane::line {

// Where the burn was: the port as --port named it, the device node and its USB
// identity (empty: not known, or not a USB device).
struct RecordPlace {
    std::string port;
    std::string device;
    std::string usbPath;
    std::string usbSerial;
};

// What the PLC said of itself (-1: it did not say).
struct PlcReport {
    std::int32_t typeId = -1;
    std::int32_t bootVersion = -1;
};

enum class WrittenBy : std::uint8_t { Burn, Parent };

// The record line of a burn that ended as `end` says, at `when`.
std::string RecordLine(const EndFields& end, const RecordPlace& place, const PlcReport& report,
                       const ImageFacts& image, WrittenBy writer,
                       std::time_t when = std::time(nullptr));

// What a record line says of its burn, as far as the line of any version of this
// program says it; nothing for a line that is no record.
struct RecordedBurn {
    std::string time;
    std::string usbSerial;  // as the line writes it (valid UTF-8)
    std::string model;
    std::string image;
    std::string sha256;
    int exitStatus = -1;
    bool eraseBegun = false;
    bool handedOver = false;
    std::string burnId;  // empty in lines written before burns had one
    std::string line;    // the line itself
};
std::optional<RecordedBurn> ReadRecordLine(std::string_view line);

// "2026-12-07T18:35:34Z"
std::string UtcTime(std::time_t when);
// The time an RFC 3339 text names (a date and time with "Z" or an offset,
// fractions of a second allowed), in seconds since 1970; nothing when it names
// none.
std::optional<std::int64_t> ParseRfc3339(const std::string& text);
// "0x3000"
std::string Hex16(std::uint32_t value);
// "0x20"
std::string Hex8(std::uint32_t value);

}  // namespace norvane::line
