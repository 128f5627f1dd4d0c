// The record store: every burn of a station, or of a line of stations, kept as a
// row of a database (SQLite on the station, PostgreSQL for a line), keyed by its
// burn id so that a row sent twice is one row. It sets up and migrates its own
// schema and refuses a database newer than itself.
#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "line/station_world.h"
#include "line/store/burn_yield.h"
#include "line/store/sql_connection.h"
#include "line/store/stored_burn.h"

namespace norvane::line {

// The schema this program writes; a database of a higher one is refused.
constexpr int kRecordSchema = 1;
// A station not heard of for this long is gone, and its claims with it; no
// claim outlives a burn's longest time.
constexpr std::time_t kStationGone = 30;
constexpr std::time_t kClaimLife = 15 * 60;

// Which burns: since a time ("2026-12-07T18:35:34Z"; empty: all), of one unit,
// of one station (empty: any).
struct BurnFilter {
    std::string since;
    std::string usbSerial;
    std::string station;
    bool lines = false;  // with each burn's record line
};

class RecordStore {
  public:
    // Null with `error` set when the database cannot be opened, or is newer
    // than this program; `unreachable` as OpenSqlConnection sets it.
    static std::unique_ptr<RecordStore> Open(const std::string& url, std::string& error,
                                             bool* unreachable = nullptr);

    // Keeps `burns` in one transaction, each once: one whose burn id is there
    // already is left as it is. Each new row is numbered its unit's n-th burn.
    // `added` (if given): how many were new.
    bool Put(const std::vector<StoredBurn>& burns, std::string& error,
             std::size_t* added = nullptr);
    // The burns `filter` lets through, oldest first.
    bool Burns(const BurnFilter& filter, std::vector<StoredBurn>& burns, std::string& error);
    // The line's word on a unit about to be burnt at `station` (see LineWord),
    // taken in one transaction with the claim on it when it is this station's
    // to burn: of two stations that ask at once, one is told the other burns
    // it. A claim is let go when the burn's row arrives, when its station has
    // not been heard of for kStationGone, or after kClaimLife.
    bool AskLine(const UnitAsk& ask, const std::string& station, std::time_t now, LineWord& word,
                 std::string& error);
    // The station is there (told every few seconds by its outbox).
    bool Beat(const std::string& station, std::time_t now, std::string& error);
    // What the yield of the burns `filter` lets through is counted from, in
    // groups of `by`: only the columns it needs.
    bool Outcomes(const BurnFilter& filter, YieldBy by, std::vector<BurnOutcome>& outcomes,
                  std::string& error);
    // False once the database has gone: open it again.
    bool Usable() const { return db_->Usable(); }

  private:
    explicit RecordStore(std::unique_ptr<SqlConnection> db) : db_(std::move(db)) {}
    bool Migrate(std::string& error);
    bool InOne(const std::function<bool()>& work, std::string& error);

    std::unique_ptr<SqlConnection> db_;
};

// "sqlite:PATH", "postgresql://...", "postgres:..." name a store.
bool IsRecordStoreUrl(const std::string& url);

}  // namespace norvane::line
