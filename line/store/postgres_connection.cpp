#include <libpq-fe.h>

#include <memory>
#include <string>

#include "line/store/sql_connection.h"

namespace norvane::line {

namespace {

// How long a station waits for the line's database to answer a connection;
// the sender then tries again later, and no burn waits meanwhile.
constexpr const char* kConnectSeconds = "5";

class PostgresConnection : public SqlConnection {
  public:
    explicit PostgresConnection(PGconn* connection) : connection_(connection) {}
    ~PostgresConnection() override { PQfinish(connection_); }
    PostgresConnection(const PostgresConnection&) = delete;
    PostgresConnection& operator=(const PostgresConnection&) = delete;

    bool Run(const std::string& sql, const std::vector<std::string>& params, std::vector<Row>* rows,
             std::string& error) override {
        std::vector<const char*> values;
        values.reserve(params.size());
        for (const std::string& param : params) {
            values.push_back(param.c_str());
        }
        const std::unique_ptr<PGresult, decltype(&PQclear)> result(
            PQexecParams(connection_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                         values.data(), nullptr, nullptr, 0),
            &PQclear);
        const ExecStatusType status = PQresultStatus(result.get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            error = Trimmed(PQerrorMessage(connection_));
            return false;
        }
        const char* changed = PQcmdTuples(result.get());
        changed_ = *changed != '\0' ? std::stoul(changed) : 0;
        if (rows != nullptr) {
            rows->clear();
            const int columns = PQnfields(result.get());
            for (int r = 0; r < PQntuples(result.get()); ++r) {
                Row row(static_cast<std::size_t>(columns));
                for (int c = 0; c < columns; ++c) {
                    row[static_cast<std::size_t>(c)].assign(
                        PQgetvalue(result.get(), r, c),
                        static_cast<std::size_t>(PQgetlength(result.get(), r, c)));
                }
                rows->push_back(std::move(row));
            }
        }
        return true;
    }
    // Every station that writes the schema or claims a unit takes this lock
    // first, until its transaction ends.
    bool BeginAlone(std::string& error) override {
        return Run("BEGIN", {}, nullptr, error) &&
               Run("SELECT pg_advisory_xact_lock(742017)", {}, nullptr, error);
    }
    bool Usable() const override { return PQstatus(connection_) == CONNECTION_OK; }
    std::size_t Changed() const override { return changed_; }

    // libpq's message on one line: its lines joined, its indents dropped.
    static std::string Trimmed(const char* text) {
        std::string message;
        for (const char* c = text != nullptr ? text : ""; *c != '\0'; ++c) {
            const bool blank = *c == '\n' || *c == '\t' || *c == ' ';
            if (!blank) {
                message += *c;
            } else if (!message.empty() && message.back() != ' ') {
                message += ' ';
            }
        }
        while (!message.empty() && message.back() == ' ') {
            message.pop_back();
        }
        return message;
    }

  private:
    PGconn* connection_;
    std::size_t changed_ = 0;
};

// The password, were it in the connection string, would be on the command line
// for every user of the machine to read.
bool NamesPassword(const std::string& conninfo, std::string& error) {
    char* parseError = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &parseError);
    if (options == nullptr) {
        error = "the record database's address is not one libpq reads: " +
                PostgresConnection::Trimmed(parseError);
        PQfreemem(parseError);
        return true;
    }
    bool named = false;
    for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
        named = named || (std::string(o->keyword) == "password" && o->val != nullptr);
    }
    PQconninfoFree(options);
    if (named) {
        error =
            "the record database's address names a password: keep it in libpq's password "
            "file (~/.pgpass) or PGPASSWORD, never on the command line";
    }
    return named;
}

}  // namespace

std::unique_ptr<SqlConnection> OpenPostgres(const std::string& conninfo, std::string& error,
                                            bool* unreachable) {
    if (NamesPassword(conninfo, error)) {
        return nullptr;
    }
    // Nothing waits on the server without a bound: a statement, a lock, a
    // server gone silent behind a pulled cable. What the address says itself
    // comes last and wins.
    const char* keys[] = {"connect_timeout",     "application_name", "options", "keepalives_idle",
                          "keepalives_interval", "keepalives_count", "dbname",  nullptr};
    const char* values[] = {kConnectSeconds,
                            "norvane-fwupdate",
                            "-c statement_timeout=10s -c lock_timeout=10s",
                            "10",
                            "5",
                            "3",
                            conninfo.c_str(),
                            nullptr};
    PGconn* connection = PQconnectdbParams(keys, values, 1);
    if (connection == nullptr || PQstatus(connection) != CONNECTION_OK) {
        error = "cannot reach the record database: " +
                (connection != nullptr ? PostgresConnection::Trimmed(PQerrorMessage(connection))
                                       : std::string("no memory"));
        PQfinish(connection);
        if (unreachable != nullptr) {
            *unreachable = true;
        }
        return nullptr;
    }
    auto opened = std::make_unique<PostgresConnection>(connection);
    std::vector<SqlConnection::Row> rows;
    // Notices ("relation already exists") are for a person at psql, not a station.
    if (!opened->Run("SET client_min_messages = warning", {}, &rows, error)) {
        return nullptr;
    }
    return opened;
}

}  // namespace norvane::line
