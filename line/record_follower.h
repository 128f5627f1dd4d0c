// A record file followed as it grows: the lines that burns anywhere (this
// station's, the burns of a station that died, another station on the same
// record, a burn by hand) have appended since the last look, whole lines only.
// A line that is no record (the torn end of a write that stopped short, a line
// mangled by hand) is skipped with one warning; no other line is lost.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "line/burn_record.h"

namespace norvane::line {

class RecordFollower {
  public:
    explicit RecordFollower(std::string path) : path_(std::move(path)) {}

    // The records appended since the last call (at the first, all of them), in
    // the order they were written; a warning for each line that is none. A file
    // put in the record's place is read from its start. False with `error` set
    // when the record cannot be read (a record not there yet is read as empty).
    bool Follow(std::vector<RecordedBurn>& records, std::vector<std::string>& warnings,
                std::string& error);

  private:
    std::string path_;
    std::string fileId_;
    std::uint64_t offset_ = 0;
    std::uint64_t lines_ = 0;
};

}  // namespace norvane::line
