#include "line/store/record_store.h"

#include <functional>
#include <stdexcept>

#include "line/burn_record.h"

namespace norvane::line {

namespace {

// Each version's statements, from the one before it. A column is never renamed
// or dropped: a station of an older version may still write beside a newer one.
const std::vector<std::vector<const char*>> kMigrations = {
    {
        // Unknown facts are empty text, so that SQLite and PostgreSQL compare alike.
        "CREATE TABLE burns ("
        " burn_id TEXT PRIMARY KEY, time TEXT NOT NULL, station TEXT NOT NULL,"
        " socket TEXT NOT NULL, device TEXT NOT NULL, usb_path TEXT NOT NULL,"
        " usb_serial TEXT NOT NULL, model TEXT NOT NULL, plc_type TEXT NOT NULL,"
        " boot_version TEXT NOT NULL, image TEXT NOT NULL, sha256 TEXT NOT NULL,"
        " outcome TEXT NOT NULL, exit_status INTEGER NOT NULL, seconds BIGINT NOT NULL,"
        " failed_attempts BIGINT NOT NULL, attempt INTEGER NOT NULL,"
        " erase_begun INTEGER NOT NULL, handed_over INTEGER NOT NULL,"
        " verified INTEGER NOT NULL, caption TEXT NOT NULL, message TEXT NOT NULL)",
        // The record lines apart: most of a row's bytes, read only when asked
        // for, so that a yield over many burns reads few pages.
        "CREATE TABLE burn_lines (burn_id TEXT PRIMARY KEY, line TEXT NOT NULL)",
        "CREATE INDEX burns_by_time ON burns (time)",
        "CREATE INDEX burns_by_serial ON burns (usb_serial, model, sha256)",
        // What a yield by socket reads, in its order.
        "CREATE INDEX burns_by_socket ON burns (station, socket, outcome, seconds, time)",
        // A unit a station is burning now, so that no other burns it beside.
        "CREATE TABLE claims (usb_serial TEXT PRIMARY KEY, station TEXT NOT NULL,"
        " socket TEXT NOT NULL, since TEXT NOT NULL)",
        // When each station was last heard of, for the claims of one that is gone.
        "CREATE TABLE stations (station TEXT PRIMARY KEY, seen TEXT NOT NULL)",
    },
};

#define NORVANE_BURN_FACTS                                                                   \
    "burn_id, time, station, socket, device, usb_path, usb_serial, model, plc_type, "        \
    "boot_version, image, sha256, outcome, exit_status, seconds, failed_attempts, attempt, " \
    "erase_begun, handed_over, verified, caption, message"
const char* const kColumns = NORVANE_BURN_FACTS;
// A burn's row as it is read: its facts, then its record line (or none).
const char* const kWithLine =
    NORVANE_BURN_FACTS ", (SELECT line FROM burn_lines l WHERE l.burn_id = burns.burn_id)";
const char* const kWithoutLine = NORVANE_BURN_FACTS ", ''";
#undef NORVANE_BURN_FACTS

std::string Flag(bool flag) {
    return flag ? "1" : "0";
}

std::int64_t Number(const std::string& text) {
    try {
        return text.empty() ? 0 : std::stoll(text);
    } catch (const std::exception&) {
        return 0;
    }
}

StoredBurn BurnOfRow(SqlConnection::Row& row) {
    StoredBurn b;
    std::size_t c = 0;
    for (std::string* text :
         {&b.burnId, &b.time, &b.station, &b.socket, &b.device, &b.usbPath, &b.usbSerial, &b.model,
          &b.plcType, &b.bootVersion, &b.image, &b.sha256, &b.outcome}) {
        *text = std::move(row[c++]);
    }
    for (std::int64_t* number : {&b.exitStatus, &b.seconds, &b.failedAttempts, &b.attempt}) {
        *number = Number(row[c++]);
    }
    for (bool* flag : {&b.eraseBegun, &b.handedOver, &b.verified}) {
        *flag = row[c++] == "1";
    }
    b.caption = std::move(row[c++]);
    b.message = std::move(row[c++]);
    b.line = std::move(row[c]);
    return b;
}

// "10:42" for a time of today, "2026-12-09 10:42" for one before, in the
// station's time zone.
std::string LocalTimeOf(const std::string& utc, std::time_t now) {
    const std::optional<std::int64_t> at = ParseRfc3339(utc);
    if (!at) {
        return utc;
    }
    const std::time_t when = static_cast<std::time_t>(*at);
    std::tm local{};
    std::tm today{};
    localtime_r(&when, &local);
    localtime_r(&now, &today);
    char text[32];
    const bool sameDay = local.tm_year == today.tm_year && local.tm_yday == today.tm_yday;
    std::strftime(text, sizeof text, sameDay ? "%H:%M" : "%Y-%m-%d %H:%M", &local);
    return text;
}

}  // namespace

bool IsRecordStoreUrl(const std::string& url) {
    for (const char* scheme : {"sqlite:", "postgresql://", "postgres://", "postgres:"}) {
        if (url.rfind(scheme, 0) == 0) {
            return true;
        }
    }
    return false;
}

std::unique_ptr<SqlConnection> OpenSqlConnection(const std::string& url, std::string& error,
                                                 bool* unreachable) {
    if (url.rfind("sqlite:", 0) == 0) {
        const std::string path = url.substr(7);
        if (path.empty()) {
            error = "sqlite: needs the database file's path (sqlite:/var/lib/station/burns.db)";
            return nullptr;
        }
        return OpenSqlite(path, true, error);
    }
    if (url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0) {
        return OpenPostgres(url, error, unreachable);
    }
    if (url.rfind("postgres:", 0) == 0) {
        return OpenPostgres(url.substr(9), error, unreachable);
    }
    error =
        "--record-db needs sqlite:PATH, postgresql://... or postgres:CONNINFO, not '" + url + "'";
    return nullptr;
}

std::unique_ptr<RecordStore> RecordStore::Open(const std::string& url, std::string& error,
                                               bool* unreachable) {
    std::unique_ptr<SqlConnection> db = OpenSqlConnection(url, error, unreachable);
    if (!db) {
        return nullptr;
    }
    std::unique_ptr<RecordStore> store(new RecordStore(std::move(db)));
    if (!store->Migrate(error)) {
        return nullptr;
    }
    return store;
}

bool RecordStore::InOne(const std::function<bool()>& work, std::string& error) {
    if (!db_->BeginAlone(error)) {
        return false;
    }
    std::string ignored;
    if (!work()) {
        db_->Run("ROLLBACK", {}, nullptr, ignored);
        return false;
    }
    if (!db_->Run("COMMIT", {}, nullptr, error)) {
        db_->Run("ROLLBACK", {}, nullptr, ignored);
        return false;
    }
    return true;
}

// Two stations that start at once on a new database: one sets it up, the
// other finds it set up.
bool RecordStore::Migrate(std::string& error) {
    return InOne(
        [&] {
            std::vector<SqlConnection::Row> rows;
            if (!db_->Run("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)",
                          {}, nullptr, error) ||
                !db_->Run("SELECT MAX(version) FROM schema_version", {}, &rows, error)) {
                return false;
            }
            const std::int64_t version = rows.empty() ? 0 : Number(rows[0][0]);
            if (version > kRecordSchema) {
                error = "the record database is of schema version " + std::to_string(version) +
                        ", newer than this program's (" + std::to_string(kRecordSchema) +
                        "): update the program before it writes there";
                return false;
            }
            for (std::int64_t v = version; v < kRecordSchema; ++v) {
                for (const char* statement : kMigrations[static_cast<std::size_t>(v)]) {
                    if (!db_->Run(statement, {}, nullptr, error)) {
                        return false;
                    }
                }
            }
            return version == kRecordSchema ||
                   (db_->Run("DELETE FROM schema_version", {}, nullptr, error) &&
                    db_->Run("INSERT INTO schema_version (version) VALUES ($1)",
                             {std::to_string(kRecordSchema)}, nullptr, error));
        },
        error);
}

bool RecordStore::Put(const std::vector<StoredBurn>& burns, std::string& error,
                      std::size_t* added) {
    const std::string insert =
        std::string("INSERT INTO burns (") + kColumns +
        // The parameters are text: PostgreSQL takes each as its column's type
        // only when told, and SQLite reads the casts alike.
        ") SELECT CAST($1 AS TEXT), $2, $3, $4, $5, $6, CAST($7 AS TEXT), $8, $9, $10, $11, $12,"
        " $13, CAST($14 AS INTEGER), CAST($15 AS BIGINT), CAST($16 AS BIGINT),"
        " (SELECT COUNT(*) + 1 FROM burns WHERE usb_serial = CAST($7 AS TEXT)"
        " AND usb_serial <> ''),"
        " CAST($17 AS INTEGER), CAST($18 AS INTEGER), CAST($19 AS INTEGER), $20, $21"
        " WHERE NOT EXISTS (SELECT 1 FROM burns WHERE burn_id = CAST($1 AS TEXT))";
    const char* const insertLine =
        "INSERT INTO burn_lines (burn_id, line) SELECT CAST($1 AS TEXT), $2"
        " WHERE NOT EXISTS (SELECT 1 FROM burn_lines WHERE burn_id = CAST($1 AS TEXT))";
    if (added != nullptr) {
        *added = 0;
    }
    return InOne(
        [&] {
            for (const StoredBurn& b : burns) {
                // The unit's burn is over: its claim goes with its row.
                if (!db_->Run("DELETE FROM claims WHERE usb_serial = $1 AND station = $2",
                              {b.usbSerial, b.station}, nullptr, error)) {
                    return false;
                }
                if (!db_->Run(insert,
                              {b.burnId,
                               b.time,
                               b.station,
                               b.socket,
                               b.device,
                               b.usbPath,
                               b.usbSerial,
                               b.model,
                               b.plcType,
                               b.bootVersion,
                               b.image,
                               b.sha256,
                               b.outcome,
                               std::to_string(b.exitStatus),
                               std::to_string(b.seconds),
                               std::to_string(b.failedAttempts),
                               Flag(b.eraseBegun),
                               Flag(b.handedOver),
                               Flag(b.verified),
                               b.caption,
                               b.message},
                              nullptr, error)) {
                    return false;
                }
                if (added != nullptr) {
                    *added += db_->Changed();  // none for a row that was there
                }
                if (!db_->Run(insertLine, {b.burnId, b.line}, nullptr, error)) {
                    return false;
                }
            }
            return true;
        },
        error);
}

bool RecordStore::AskLine(const UnitAsk& ask, const std::string& station, std::time_t now,
                          LineWord& word, std::string& error) {
    word = LineWord{};
    return InOne(
        [&] {
            std::vector<SqlConnection::Row> rows;
            if (!db_->Run("SELECT station, socket, time FROM burns WHERE usb_serial = $1"
                          " AND model = $2 AND sha256 = $3 AND outcome = 'success'"
                          " ORDER BY time DESC LIMIT 1",
                          {ask.usbSerial, ask.model, ask.sha256}, &rows, error)) {
                return false;
            }
            if (!rows.empty()) {
                word.burntAt = "station " + rows[0][0] + ", socket " + rows[0][1] + ", " +
                               LocalTimeOf(rows[0][2], now);
                return true;
            }
            if (!db_->Run("SELECT c.station, c.socket FROM claims c JOIN stations s"
                          " ON s.station = c.station WHERE c.usb_serial = $1"
                          " AND c.station <> $2 AND s.seen >= $3 AND c.since >= $4",
                          {ask.usbSerial, station, UtcTime(now - kStationGone),
                           UtcTime(now - kClaimLife)},
                          &rows, error)) {
                return false;
            }
            if (!rows.empty()) {
                word.burningAt = "station " + rows[0][0] + ", socket " + rows[0][1];
                return true;
            }
            return db_->Run("DELETE FROM claims WHERE usb_serial = $1", {ask.usbSerial}, nullptr,
                            error) &&
                   db_->Run(
                       "INSERT INTO claims (usb_serial, station, socket, since)"
                       " VALUES ($1, $2, $3, $4)",
                       {ask.usbSerial, station, ask.socket, UtcTime(now)}, nullptr, error);
        },
        error);
}

bool RecordStore::Beat(const std::string& station, std::time_t now, std::string& error) {
    return db_->Run(
        "INSERT INTO stations (station, seen) VALUES ($1, $2)"
        " ON CONFLICT (station) DO UPDATE SET seen = excluded.seen",
        {station, UtcTime(now)}, nullptr, error);
}

// The filter's conditions; its values are $1, $2, $3.
constexpr const char* kFiltered =
    " FROM burns WHERE time >= CAST($1 AS TEXT)"
    " AND (CAST($2 AS TEXT) = '' OR usb_serial = CAST($2 AS TEXT))"
    " AND (CAST($3 AS TEXT) = '' OR station = CAST($3 AS TEXT))";

bool RecordStore::Burns(const BurnFilter& filter, std::vector<StoredBurn>& burns,
                        std::string& error) {
    std::vector<SqlConnection::Row> rows;
    // The record lines are most of a row's bytes: read only when asked for.
    if (!db_->Run(std::string("SELECT ") + (filter.lines ? kWithLine : kWithoutLine) + kFiltered +
                      " ORDER BY time, burn_id",
                  {filter.since, filter.usbSerial, filter.station}, &rows, error)) {
        return false;
    }
    burns.clear();
    burns.reserve(rows.size());
    for (SqlConnection::Row& row : rows) {
        burns.push_back(BurnOfRow(row));
    }
    return true;
}

bool RecordStore::Outcomes(const BurnFilter& filter, YieldBy by, std::vector<BurnOutcome>& outcomes,
                           std::string& error) {
    // A socket is named with its station's name; grouped by the columns
    // themselves, which an index holds in order.
    const char* group = by == YieldBy::Socket    ? "station, socket"
                        : by == YieldBy::Model   ? "'', model"
                        : by == YieldBy::Station ? "'', station"
                                                 : "'', substr(time, 1, 13)";
    std::vector<SqlConnection::Row> rows;
    // Counted by the database: a few rows back, however many burns.
    if (!db_->Run(std::string("SELECT ") + group + ", outcome, seconds, COUNT(*)" + kFiltered +
                      " GROUP BY 1, 2, 3, 4",
                  {filter.since, filter.usbSerial, filter.station}, &rows, error)) {
        return false;
    }
    outcomes.clear();
    outcomes.reserve(rows.size());
    for (SqlConnection::Row& row : rows) {
        outcomes.push_back({row[0].empty() ? std::move(row[1]) : row[0] + " " + row[1],
                            std::move(row[2]), Number(row[3]), Number(row[4])});
    }
    return true;
}

}  // namespace norvane::line
