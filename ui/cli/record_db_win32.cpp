#include "line/exit_status.h"
#include "ui/cli/output.h"
#include "ui/cli/platform.h"
#include "ui/cli/record_db.h"

namespace norvane::cli {

namespace {

constexpr const char* kNotHere =
    "the Windows console program keeps no record database: a Linux station does, and reads "
    "--history and --yield";

int NotHere() {
    StandardError().Write(std::string(platform::CommandName()) + ": " + kNotHere + "\n");
    return line::kExitUsage;
}

}  // namespace

std::unique_ptr<StationRecordDb> OpenStationRecordDb(const Options&, std::string& error) {
    error = kNotHere;
    return nullptr;
}

int ShowHistory(const Options&) {
    return NotHere();
}
int ShowYield(const Options&) {
    return NotHere();
}
int ImportRecord(const Options&) {
    return NotHere();
}

}  // namespace norvane::cli
