// One burn as the record store keeps it: what its record line holds, the station
// that burnt it and which burn of its unit it was, read from the line itself so
// that the store and the JSON-lines record never tell two stories.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norvane::line {

struct StoredBurn {
    std::string burnId;
    std::string time;  // "2026-12-07T18:35:34Z": ordered as text
    std::string station;
    std::string socket;  // the port as --port names it
    std::string device;
    std::string usbPath;
    std::string usbSerial;
    std::string model;
    std::string plcType;
    std::string bootVersion;
    std::string image;
    std::string sha256;
    std::string outcome;  // the outcome code's word: "success", "run_mode", ...
    std::int64_t exitStatus = -1;
    std::int64_t seconds = 0;
    std::int64_t failedAttempts = 0;  // the retries of its exchanges
    std::int64_t attempt = 0;         // its unit's n-th burn in the store (0: not stored yet)
    bool eraseBegun = false;
    bool handedOver = false;
    bool verified = false;
    std::string caption;
    std::string message;
    std::string line;  // the record line itself
};

// The burn a record line tells, burnt at `station` (empty: the line's host).
// A line without a burn id (written before there were any) gets one from its
// content, the same each time, so that bringing it in twice keeps it once.
// Nothing, with `why`, for a line that is no record.
std::optional<StoredBurn> StoredBurnOf(std::string_view line, const std::string& station,
                                       std::string& why);

}  // namespace norvane::line
