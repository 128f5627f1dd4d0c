// The yield of burns: how many were done, failed and set aside, in groups (a
// station's socket, a model, a station, an hour), with the share done and the
// median seconds of a good burn.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "line/store/stored_burn.h"

namespace norvane::line {

enum class YieldBy : std::uint8_t { Socket, Model, Station, Hour };

struct YieldRow {
    std::string group;  // "station socket", the model, the station, "2026-12-07T18"
    std::int64_t done = 0;
    std::int64_t failed = 0;  // not done, set aside, or left untouched for want of an image
    std::int64_t setAside = 0;
    double yieldPercent = 0;   // done of done and failed; 0 without either
    double medianSeconds = 0;  // of the burns done
};

// What a yield is counted from: how many burns of a group ended with one
// outcome (its word) in so many seconds.
struct BurnOutcome {
    std::string group;
    std::string outcome;
    std::int64_t seconds = 0;
    std::int64_t count = 1;
};
std::vector<BurnOutcome> OutcomesOf(const std::vector<StoredBurn>& burns, YieldBy by);

// The groups in the order of their names.
std::vector<YieldRow> YieldOf(const std::vector<BurnOutcome>& outcomes);

// "socket", "model", "station", "hour"; false for another word.
bool YieldByOfWord(const std::string& word, YieldBy& by);

// Burns read from a JSON-lines record file that `filter` lets through, oldest
// first as the file holds them; each line that is no record is named in
// `skipped` ("line 7: ..."). False with `error` set when the file cannot be read.
struct BurnFilter;
bool BurnsInRecordFile(const std::string& path, const BurnFilter& filter,
                       std::vector<StoredBurn>& burns, std::vector<std::string>& skipped,
                       std::string& error);
// Each burn of a JSON-lines record handed to `each` as it is read, a piece of
// the file at a time; false when the file cannot be read (`error` set) or
// `each` said to stop.
bool EachBurnInRecordFile(const std::string& path, const std::function<bool(StoredBurn&)>& each,
                          std::vector<std::string>& skipped, std::string& error);

}  // namespace norvane::line
