#include "postgres_server.h"

#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <vector>

#include "child_process.h"

namespace norvane::test {

namespace {

constexpr int kCommandMs = 60000;

// The newest server Debian installed.
std::string ServerPrograms() {
    std::string newest;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ignored)) {
        const std::string bin = entry.path().string() + "/bin";
        if (std::filesystem::exists(bin + "/initdb") && bin > newest) {
            newest = bin;
        }
    }
    return newest;
}

}  // namespace

PostgresServer::PostgresServer() : bin_(ServerPrograms()) {
    if (bin_.empty()) {
        trouble_ = "no PostgreSQL server is installed (Debian's postgresql)";
        return;
    }
    char pattern[] = "/tmp/norvane-pg-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        trouble_ = "no folder for the cluster";
        return;
    }
    folder_ = pattern;
    if (geteuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        if (nobody == nullptr || chown(folder_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
            trouble_ = "the cluster's folder cannot be given to nobody";
            return;
        }
        owner_ = "nobody";
    }
    std::string output;
    if (RunAsOwner(
            "initdb",
            {"-D", folder_ + "/data", "-A", "trust", "-U", "norvane", "-E", "UTF8", "--no-sync"},
            &output) != 0) {
        trouble_ = "initdb failed: " + output;
        return;
    }
    if (!Start()) {
        return;
    }
}

PostgresServer::~PostgresServer() {
    if (!folder_.empty()) {
        Stop();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

int PostgresServer::RunAsOwner(const std::string& program, const std::vector<std::string>& args,
                               std::string* output) {
    std::vector<std::string> argv;
    if (!owner_.empty()) {
        argv = {"runuser", "-u", owner_, "--"};
    }
    argv.push_back(bin_ + "/" + program);
    argv.insert(argv.end(), args.begin(), args.end());
    const CapturedRun run = RunCaptured(argv, kCommandMs);
    if (output != nullptr) {
        *output = run.output;
    }
    return run.exitStatus;
}

bool PostgresServer::Start() {
    // A Unix socket in the cluster's folder only: nothing of the machine's
    // network, and no clash with another test's server.
    std::string output;
    if (RunAsOwner("pg_ctl",
                   {"-D", folder_ + "/data", "-l", folder_ + "/log", "-w", "-o",
                    "-k " + folder_ + " -c listen_addresses='' -c fsync=off", "start"},
                   &output) != 0) {
        trouble_ = "the server did not start: " + output;
        return false;
    }
    trouble_.clear();
    return true;
}

bool PostgresServer::Stop() {
    return RunAsOwner("pg_ctl", {"-D", folder_ + "/data", "-w", "-m", "immediate", "stop"}) == 0;
}

std::string PostgresServer::Url(const std::string& database) {
    static std::set<std::string> made;
    if (made.insert(folder_ + "/" + database).second) {
        RunAsOwner("createdb", {"-h", folder_, "-U", "norvane", database});
    }
    return "postgres:host=" + folder_ + " user=norvane dbname=" + database;
}

}  // namespace norvane::test
