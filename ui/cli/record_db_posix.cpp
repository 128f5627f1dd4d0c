#include <ctime>
#include <fstream>
#include <functional>
#include <mutex>

#include "burn/untrusted_text.h"
#include "line/burn_record.h"
#include "line/exit_status.h"
#include "line/machine.h"
#include "line/store/burn_yield.h"
#include "line/store/record_outbox.h"
#include "line/warnings.h"
#include "ui/cli/burn_report.h"
#include "ui/cli/output.h"
#include "ui/cli/platform.h"
#include "ui/cli/record_db.h"

namespace norvane::cli {

namespace {

// What a station that stops waits for its last rows to reach the database.
constexpr std::chrono::seconds kLastRows{5};
// Lines of a record brought in per transaction.
constexpr std::size_t kImportBatch = 1000;

class OutboxDb : public StationRecordDb {
  public:
    OutboxDb(std::unique_ptr<line::RecordOutbox> outbox, std::string url, std::string station)
        : outbox_(std::move(outbox)), url_(std::move(url)), station_(std::move(station)) {}
    bool Keep(const std::string& line, std::string& error) override {
        return outbox_->Add(line, error);
    }
    void Stop() override {
        if (!outbox_->Flush(kLastRows)) {
            line::Warn(std::to_string(outbox_->Waiting()) +
                       " burns wait in the record database's outbox (" + outbox_->Trouble() +
                       "): they are sent when the station starts again");
        }
    }

    line::LineWord AskLine(const line::UnitAsk& ask) override {
        line::LineWord word;
        std::string error;
        if (!AtTheDesk(
                [&](line::RecordStore& store) {
                    return store.AskLine(ask, station_, std::time(nullptr), word, error);
                },
                error)) {
            word = line::LineWord{};
            word.trouble = error;
        }
        return word;
    }

    line::ShiftYields Shift() override {
        std::vector<line::BurnOutcome> outcomes;
        const line::BurnFilter filter{
            line::UtcTime(std::time(nullptr) - std::time_t{line::kShiftHours} * 3600), "",
            station_};
        std::string error;
        line::ShiftYields shift;
        if (AtTheDesk(
                [&](line::RecordStore& store) {
                    return store.Outcomes(filter, line::YieldBy::Socket, outcomes, error);
                },
                error)) {
            for (const line::YieldRow& row : line::YieldOf(outcomes)) {
                // Grouped as "station socket", of this station alone.
                shift[row.group.substr(station_.size() + 1)] = {row.done, row.failed, row.setAside};
            }
        }
        return shift;
    }

  private:
    // One question at a time to the desk's store, opened when first needed and
    // again once it has gone away.
    bool AtTheDesk(const std::function<bool(line::RecordStore&)>& ask, std::string& error) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!desk_) {
            desk_ = line::RecordStore::Open(url_, error);
        }
        if (desk_ && ask(*desk_)) {
            return true;
        }
        if (desk_ && !desk_->Usable()) {
            desk_.reset();
        }
        return false;
    }

    std::unique_ptr<line::RecordOutbox> outbox_;
    const std::string url_;
    const std::string station_;
    std::mutex mutex_;  // of the desk: one question at a time
    std::unique_ptr<line::RecordStore> desk_;
};

int Failed(const std::string& why, int status = line::kExitBurnFailed) {
    StandardError().Write(std::string(platform::CommandName()) + ": " + ForPerson(why) + "\n");
    return status;
}

ReportForm FormOf(const Options& options) {
    return options.json ? ReportForm::Json : options.csv ? ReportForm::Csv : ReportForm::Person;
}

// What --history and --yield read, from the database or the record file: the
// burns, or (`by` given) only what their yield is counted from.
bool Read(const Options& options, const line::YieldBy* by, std::vector<line::StoredBurn>& burns,
          std::vector<line::BurnOutcome>& outcomes, std::string& error) {
    line::BurnFilter filter{"", options.serial, options.station};
    if (!options.since.empty() && !SinceTime(options.since, std::time(nullptr), filter.since)) {
        error =
            "--since needs an RFC 3339 time (2026-12-07T06:00:00Z) or how long ago "
            "(24h, 7d, 30m), not '" +
            options.since + "'";
        return false;
    }
    if (options.recordDb.empty()) {
        std::vector<std::string> skipped;
        if (!line::BurnsInRecordFile(options.record, filter, burns, skipped, error)) {
            return false;
        }
        for (const std::string& line : skipped) {
            line::Warn(options.record + ", " + line + ": skipped");
        }
        if (by != nullptr) {
            outcomes = line::OutcomesOf(burns, *by);
        }
        return true;
    }
    const std::unique_ptr<line::RecordStore> store =
        line::RecordStore::Open(options.recordDb, error);
    return store && (by != nullptr ? store->Outcomes(filter, *by, outcomes, error)
                                   : store->Burns(filter, burns, error));
}

}  // namespace

std::unique_ptr<StationRecordDb> OpenStationRecordDb(const Options& options, std::string& error) {
    // A database that cannot be used as it is never will be: said before the
    // first burn. One that cannot be reached now may be later.
    bool unreachable = false;
    std::string why;
    if (!line::RecordStore::Open(options.recordDb, why, &unreachable) && !unreachable) {
        error = why;
        return nullptr;  // (one that cannot be reached is said by the outbox)
    }
    const std::string station =
        options.station.empty() ? line::machine::HostName() : options.station;
    std::unique_ptr<line::RecordOutbox> outbox =
        line::RecordOutbox::Open(options.record + ".outbox", options.recordDb, station, error);
    if (!outbox) {
        return nullptr;
    }
    return std::make_unique<OutboxDb>(std::move(outbox), options.recordDb, station);
}

int ShowHistory(const Options& options) {
    std::vector<line::StoredBurn> burns;
    std::vector<line::BurnOutcome> unused;
    std::string error;
    if (!Read(options, nullptr, burns, unused, error)) {
        return Failed(error);
    }
    StandardOutput().Write(HistoryReport(burns, FormOf(options)));
    return line::kExitSuccess;
}

int ShowYield(const Options& options) {
    std::vector<line::StoredBurn> burns;
    std::vector<line::BurnOutcome> outcomes;
    std::string error;
    line::YieldBy by = line::YieldBy::Socket;
    line::YieldByOfWord(options.by, by);
    if (!Read(options, &by, burns, outcomes, error)) {
        return Failed(error);
    }
    StandardOutput().Write(YieldReport(line::YieldOf(outcomes), by, FormOf(options)));
    return line::kExitSuccess;
}

int ImportRecord(const Options& options) {
    std::string error;
    const std::unique_ptr<line::RecordStore> store =
        line::RecordStore::Open(options.recordDb, error);
    if (!store) {
        return Failed(error);
    }
    // Brought in a batch at a time, as the file is read.
    std::vector<line::StoredBurn> batch;
    std::vector<std::string> skipped;
    std::size_t read = 0;
    std::size_t added = 0;
    const auto put = [&] {
        std::size_t batchAdded = 0;
        if (!store->Put(batch, error, &batchAdded)) {
            error = "after " + std::to_string(added) + " new burns: " + error;
            return false;
        }
        added += batchAdded;
        batch.clear();
        return true;
    };
    const bool all = line::EachBurnInRecordFile(
        options.importRecord,
        [&](line::StoredBurn& burn) {
            ++read;
            batch.push_back(std::move(burn));
            return batch.size() < kImportBatch || put();
        },
        skipped, error);
    for (const std::string& line : skipped) {
        line::Warn(options.importRecord + ", " + line + ": skipped");
    }
    if (!all || !put()) {
        return Failed(error);
    }
    StandardOutput().Write(std::to_string(read) + " burns read from " +
                           ForPerson(options.importRecord) + ": " + std::to_string(added) +
                           " new, " + std::to_string(read - added) + " there already; " +
                           std::to_string(skipped.size()) +
                           (skipped.size() == 1 ? " line skipped\n" : " lines skipped\n"));
    return skipped.empty() ? line::kExitSuccess : line::kExitBurnFailed;
}

}  // namespace norvane::cli
