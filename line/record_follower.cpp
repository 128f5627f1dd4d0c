#include "line/record_follower.h"

#include "line/machine.h"

namespace norvane::line {

namespace {

// Read this much at a time: a record of years is read in pieces at the start.
constexpr std::size_t kChunk = 1 << 20;

}  // namespace

bool RecordFollower::Follow(std::vector<RecordedBurn>& records, std::vector<std::string>& warnings,
                            std::string& error) {
    for (;;) {
        std::vector<char> bytes;
        std::string fileId;
        if (!machine::ReadFrom(path_, offset_, kChunk, bytes, fileId, error)) {
            return false;
        }
        if (fileId.empty()) {
            return true;  // not there yet
        }
        if (fileId != fileId_) {
            // Another file in its place: read it from its start.
            const bool again = !fileId_.empty();
            fileId_ = fileId;
            if (again) {
                offset_ = 0;
                lines_ = 0;
                continue;
            }
        }
        std::size_t start = 0;
        for (std::size_t eol = 0; eol < bytes.size(); ++eol) {
            if (bytes[eol] != '\n') {
                continue;
            }
            ++lines_;
            const std::string line(bytes.data() + start, eol - start);
            start = eol + 1;
            if (line.empty()) {
                continue;
            }
            if (std::optional<RecordedBurn> record = ReadRecordLine(line)) {
                records.push_back(std::move(*record));
            } else {
                warnings.push_back("line " + std::to_string(lines_) + " of the record " + path_ +
                                   " is no whole record (a write that stopped short?): skipped");
            }
        }
        if (start == 0 && bytes.size() == kChunk) {
            // A "line" longer than any record: no record at all.
            warnings.push_back("a line of the record " + path_ + " is far too long: skipped");
            start = bytes.size();
        }
        offset_ += start;  // what is left is a line still being written
        if (bytes.size() < kChunk) {
            return true;
        }
    }
}

}  // namespace norvane::line
