#include <sqlite3.h>

#include <map>

#include "line/store/sql_connection.h"

namespace norvane::line {

namespace {

// A writer that finds the database locked by another waits this long.
constexpr int kBusyMilliseconds = 5000;

class SqliteConnection : public SqlConnection {
  public:
    explicit SqliteConnection(sqlite3* db) : db_(db) {}
    ~SqliteConnection() override {
        for (auto& [sql, statement] : prepared_) {
            sqlite3_finalize(statement);
        }
        sqlite3_close(db_);
    }
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    bool Run(const std::string& sql, const std::vector<std::string>& params, std::vector<Row>* rows,
             std::string& error) override {
        sqlite3_stmt* statement = Prepared(sql, error);
        if (statement == nullptr) {
            return false;
        }
        for (std::size_t i = 0; i < params.size(); ++i) {
            sqlite3_bind_text(statement, static_cast<int>(i + 1), params[i].data(),
                              static_cast<int>(params[i].size()), SQLITE_TRANSIENT);
        }
        if (rows != nullptr) {
            rows->clear();
        }
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
            if (rows == nullptr) {
                continue;
            }
            Row row(static_cast<std::size_t>(sqlite3_column_count(statement)));
            for (std::size_t c = 0; c < row.size(); ++c) {
                const auto* text = sqlite3_column_text(statement, static_cast<int>(c));
                if (text != nullptr) {
                    row[c].assign(reinterpret_cast<const char*>(text),
                                  static_cast<std::size_t>(
                                      sqlite3_column_bytes(statement, static_cast<int>(c))));
                }
            }
            rows->push_back(std::move(row));
        }
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        if (step != SQLITE_DONE) {
            error = sqlite3_errmsg(db_);
            return false;
        }
        return true;
    }
    std::size_t Changed() const override { return static_cast<std::size_t>(sqlite3_changes(db_)); }
    bool BeginAlone(std::string& error) override {
        return Run("BEGIN IMMEDIATE", {}, nullptr, error);
    }

  private:
    // The store runs few statements, many times: each is prepared once. Its
    // parameters are written $1, $2 as PostgreSQL writes them; SQLite reads
    // ?1, ?2 as the same.
    sqlite3_stmt* Prepared(const std::string& sql, std::string& error) {
        const auto known = prepared_.find(sql);
        if (known != prepared_.end()) {
            return known->second;
        }
        std::string text = sql;
        for (char& c : text) {
            c = c == '$' ? '?' : c;
        }
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, text.c_str(), static_cast<int>(text.size()), &statement,
                               nullptr) != SQLITE_OK) {
            error = sqlite3_errmsg(db_);
            return nullptr;
        }
        prepared_.emplace(sql, statement);
        return statement;
    }

    sqlite3* db_;
    std::map<std::string, sqlite3_stmt*> prepared_;
};

}  // namespace

std::unique_ptr<SqlConnection> OpenSqlite(const std::string& path, bool create,
                                          std::string& error) {
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) |
                      SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        error = "cannot open " + path + ": " + (db != nullptr ? sqlite3_errmsg(db) : "no memory");
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyMilliseconds);
    auto connection = std::make_unique<SqliteConnection>(db);
    // Written ahead and synced at each commit: a station killed at any moment
    // leaves every committed row, and readers never wait for a writer.
    for (const char* pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL"}) {
        std::vector<SqlConnection::Row> rows;
        if (!connection->Run(pragma, {}, &rows, error)) {
            error.insert(0, path + ": ");
            return nullptr;
        }
    }
    return connection;
}

}  // namespace norvane::line
