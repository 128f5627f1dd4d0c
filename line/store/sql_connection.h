// One connection to a database, as the record store needs it: statements with
// text parameters ($1, $2, ...) and rows of text back. SQLite on the station and
// PostgreSQL for a line implement it, so that the store's rules and SQL are one.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace norvane::line {

class SqlConnection {
  public:
    using Row = std::vector<std::string>;  // each column's text; NULL as empty

    virtual ~SqlConnection() = default;
    // Runs one statement; its rows (if `rows`) replace what `rows` held. False
    // with `error` set when the database refused it or cannot be reached.
    virtual bool Run(const std::string& sql, const std::vector<std::string>& params,
                     std::vector<Row>* rows, std::string& error) = 0;
    // The statement that begins a transaction nobody else writes beside (two
    // stations that set up the schema at once, two that claim one unit).
    virtual bool BeginAlone(std::string& error) = 0;
    // How many rows the last statement that ran inserted, changed or removed.
    virtual std::size_t Changed() const = 0;
    // Still connected: false once the server has gone (the connection is then
    // opened again).
    virtual bool Usable() const { return true; }
};

// A store's place as --record-db names it: "sqlite:PATH", "postgresql://..." or
// "postgres:" and a libpq connection string. Null with `error` set when it
// cannot be opened, or names a password (libpq's password file or PGPASSWORD
// keeps that off the command line). `unreachable` (if given) is set when the
// server could not be reached, a trouble that passes, unlike a wrong address.
std::unique_ptr<SqlConnection> OpenSqlConnection(const std::string& url, std::string& error,
                                                 bool* unreachable = nullptr);

// SQLite, opened without following a link; `create`: made when not there.
std::unique_ptr<SqlConnection> OpenSqlite(const std::string& path, bool create, std::string& error);
// PostgreSQL, through libpq; a connection string or URI.
std::unique_ptr<SqlConnection> OpenPostgres(const std::string& conninfo, std::string& error,
                                            bool* unreachable = nullptr);

}  // namespace norvane::line
