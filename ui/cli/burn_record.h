// The record of one burn: a JSON line appended to the file --record names, one
// whole line per write, so that the lines of burns that end together never mix.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "ui/cli/burn_events.h"
#include "ui/cli/json_object.h"

namespace norvane::cli {

// Who wrote a record line: the burn's own process, or a several-PLC parent for a
// burn whose process ended without saying how the burn ended.
constexpr const char* kWrittenByBurn = "burn";
constexpr const char* kWrittenByParent = "parent";

struct BurnRecordFacts {
    std::time_t when;  // the end of the burn
    std::string host;
    std::string port;  // as --port named it
    std::string device;
    std::string usbPath;    // empty: not a USB device
    std::string usbSerial;  // empty: none reported
    std::string model;
    std::int32_t plcTypeId;    // -1: the PLC reported none
    std::int32_t bootVersion;  // -1: not read
    ImageFacts image;
    BurnEnd end;
    std::string burnId;
    const char* writtenBy;
};

JsonObject BurnRecord(const BurnRecordFacts& facts);

// "2026-12-07T18:35:34Z"
std::string UtcTime(std::time_t when);

// "0x3000"
std::string Hex16(std::uint32_t value);
// "0x20"
std::string Hex8(std::uint32_t value);

}  // namespace norvane::cli
