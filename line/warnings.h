// Warnings of the line that no event carries (a record line that could not be
// written, a record line that is skipped, burns that wait for the record
// database): said once each, through whatever the
// face of the program sets (standard error, escaped), by default standard error.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace norvane::line {

using WarningSink = std::function<void(const std::string& text)>;

void SetWarningSink(WarningSink sink);
// `text` may hold what a device or a file said: the sink shows it escaped.
void Warn(const std::string& text);
// A record line this process could not write: warned, and counted.
void WarnNotRecorded(const std::string& text);
// How many record lines this process could not write since it started.
std::uint64_t RecordErrors();
// How many burns wait in the record database's outbox (-1: there is no record
// database), as its sender last counted them.
void SetRecordsWaiting(std::int64_t waiting);
std::int64_t RecordsWaiting();

}  // namespace norvane::line
