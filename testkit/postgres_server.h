// A PostgreSQL server of a test's own: a cluster made by initdb in a folder of
// its own, listening on a Unix socket there only, run by an unprivileged user
// (the server refuses root, and CI runs as root), stopped and started again as
// a test needs, removed at the end.
#pragma once

#include <string>
#include <vector>

namespace norvane::test {

class PostgresServer {
  public:
    // Makes the cluster and starts it; Ready() says whether that worked, and
    // Trouble() what went wrong.
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    bool Ready() const { return trouble_.empty(); }
    const std::string& Trouble() const { return trouble_; }
    // --record-db for a database of this server ("postgres:host=... dbname=..."),
    // made when first asked for.
    std::string Url(const std::string& database = "line");
    // Stops the server at once (as a crash or a pulled cable would), or starts it.
    bool Stop();
    bool Start();

  private:
    // Runs a server program as the cluster's owner; its output in `output`.
    int RunAsOwner(const std::string& program, const std::vector<std::string>& args,
                   std::string* output = nullptr);

    std::string bin_;     // the server's programs
    std::string folder_;  // the cluster, its socket and its log
    std::string owner_;   // empty: this process's user
    std::string trouble_;
};

}  // namespace norvane::test
