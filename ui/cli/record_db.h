// The record database (--record-db) where this system has one (Linux): a
// station's outbox to it, and --history, --yield and --import-record.
#pragma once

#include <memory>
#include <string>

#include "line/shift_yield.h"
#include "line/station_world.h"
#include "ui/cli/options.h"

namespace norvane::cli {

class StationRecordDb {
  public:
    virtual ~StationRecordDb() = default;
    // Keeps a burn's record line until the database has it.
    virtual bool Keep(const std::string& line, std::string& error) = 0;
    // The station stops: what waits is given a moment to arrive, and what does
    // not is said (it is sent at the next start).
    virtual void Stop() = 0;
    // The line's word on a unit about to be burnt (called beside the station's
    // loop, perhaps by several threads at once).
    virtual line::LineWord AskLine(const line::UnitAsk& ask) = 0;
    // Each of the station's sockets' yield over the shift; empty when the
    // database cannot be asked.
    virtual line::ShiftYields Shift() = 0;
};

// The station's way to options.recordDb; null with `error` set when it cannot
// be used (a database newer than this program, a wrong address, an outbox that
// cannot be written). A database that cannot be reached now is no such trouble:
// the rows wait.
std::unique_ptr<StationRecordDb> OpenStationRecordDb(const Options& options, std::string& error);

// --history, --yield, --import-record: the exit status.
int ShowHistory(const Options& options);
int ShowYield(const Options& options);
int ImportRecord(const Options& options);

}  // namespace norvane::cli
