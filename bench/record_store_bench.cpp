// The record database's cost, against SQLite and a PostgreSQL server of its own:
// what it adds to each burn on the station (the outbox's write on the loop, the
// line's question before the burn, the sending beside it: wall time, and the
// station's CPU per burn), with the record file's append timed in the same go
// as the reference; --history --since 24h and --yield --by socket over 100,000
// rows; the catch-up of 1,000 rows that waited while the database was away.
//
// Usage: record_store_bench [BURNS]   (default 1000)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench_setup.h"
#include "line/machine.h"
#include "line/store/burn_yield.h"
#include "line/store/record_outbox.h"
#include "line/store/record_store.h"
#include "postgres_server.h"
#include "ui/cli/burn_report.h"

namespace {

using namespace norvane;
using Clock = std::chrono::steady_clock;

constexpr int kRows = 100000;
constexpr int kWaiting = 1000;
constexpr double kBurnGoalMs = 5;
constexpr double kQueryGoalMs = 100;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double CpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double Percentile95(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() * 95 / 100];
}

// A record line as a station's burn writes it.
std::string Line(int n, std::time_t at, int stations = 4, int sockets = 16) {
    char time[32];
    std::tm utc{};
    gmtime_r(&at, &utc);
    std::strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%SZ", &utc);
    const bool ok = n % 20 != 0;
    return std::string(R"({"time": ")") + time + R"(", "host": "st)" +
           std::to_string(n % stations) + R"(", "port": "usb-path:1-)" +
           std::to_string(n % sockets) + R"(", "device": "/dev/ttyACM0", "usb_path": "1-2", )" +
           R"("usb_serial": "SN)" + std::to_string(n) +
           R"(", "model": "QB7", "plc_type": "0x3000", "boot_version": "0x20", )" +
           R"("image": "QB7_v1.12.10_20220613_01.bin", "sha256": ")" + std::string(64, 'a') +
           R"(", "caption": "INFO", "message": "Firmware update is successful", "exit_status": )" +
           (ok ? "0" : "1") + R"(, "seconds": )" + std::to_string(30 + n % 17) +
           R"(, "failed_attempts": 0, "erase_begun": true, "handed_over": true, "burn_id": "b)" +
           std::to_string(n) + R"(", "written_by": "burn", "outcome": ")" +
           (ok ? "success" : "transfer_failed") + R"(", "verified": true})";
}

// What a station's burn costs: the record file's append alone (the reference),
// then with the database: the line asked before the burn, the outbox written
// on the loop, and every row sent before the clock stops.
void PerBurn(const std::string& kind, const std::string& url, const std::string& dir, int burns) {
    std::vector<double> append;
    const std::string record = dir + "/" + kind + ".jsonl";
    const double appendCpu = CpuMs();
    for (int n = 0; n < burns; ++n) {
        std::string error;
        const auto start = Clock::now();
        line::machine::AppendLine(record, Line(n, std::time(nullptr)), error);
        append.push_back(Ms(Clock::now() - start));
    }
    const double appendCpuPerBurn = (CpuMs() - appendCpu) / burns;

    std::string error;
    auto outbox = line::RecordOutbox::Open(dir + "/" + kind + ".outbox", url, "bench", error);
    auto desk = line::RecordStore::Open(url, error);
    if (!outbox || !desk) {
        std::printf("%s: %s\n", kind.c_str(), error.c_str());
        return;
    }
    std::vector<double> asked;
    std::vector<double> kept;
    const double cpu = CpuMs();
    const auto wall = Clock::now();
    for (int n = 0; n < burns; ++n) {
        const std::string serial = "P" + std::to_string(n);
        line::LineWord word;
        auto start = Clock::now();
        desk->AskLine({serial, "QB7", std::string(64, 'a'), "usb-path:1-2"}, "bench",
                      std::time(nullptr), word, error);
        asked.push_back(Ms(Clock::now() - start));
        start = Clock::now();
        outbox->Add(Line(1000000 + n, std::time(nullptr)), error);
        kept.push_back(Ms(Clock::now() - start));
    }
    outbox->Flush(std::chrono::minutes(5));
    const double cpuPerBurn = (CpuMs() - cpu) / burns;
    std::printf(
        "%-10s per burn (%d): record file append %.2f ms median (%.2f p95), CPU %.2f ms | "
        "line asked %.2f ms median (%.2f p95), outbox %.2f ms median (%.2f p95), station CPU "
        "%.2f ms with the sending; all sent in %.1f s  goal < %.0f ms: %s\n",
        kind.c_str(), burns, Median(append), Percentile95(append), appendCpuPerBurn, Median(asked),
        Percentile95(asked), Median(kept), Percentile95(kept), cpuPerBurn,
        Ms(Clock::now() - wall) / 1e3, kBurnGoalMs,
        Median(asked) + Median(kept) < kBurnGoalMs && cpuPerBurn < kBurnGoalMs ? "met" : "NOT met");
}

// The median of five runs of `work`, in ms.
double Timed(const std::function<void()>& work) {
    std::vector<double> runs;
    for (int run = 0; run < 5; ++run) {
        const auto start = Clock::now();
        work();
        runs.push_back(Ms(Clock::now() - start));
    }
    return Median(runs);
}

// 100,000 rows over the last 7 days, read back as --history and --yield do.
void Queries(const std::string& kind, const std::string& url) {
    std::string error;
    auto store = line::RecordStore::Open(url, error);
    const std::time_t now = std::time(nullptr);
    const auto seeding = Clock::now();
    for (int at = 0; store && at < kRows; at += 1000) {
        std::vector<line::StoredBurn> batch;
        for (int n = at; n < at + 1000; ++n) {
            std::string why;
            batch.push_back(*line::StoredBurnOf(
                Line(n, now - static_cast<std::time_t>(7.0 * 86400 * (kRows - n) / kRows)), "",
                why));
        }
        if (!store->Put(batch, error)) {
            break;
        }
    }
    if (!store || !error.empty()) {
        std::printf("%s: %s\n", kind.c_str(), error.c_str());
        return;
    }
    const double seeded = Ms(Clock::now() - seeding) / 1e3;
    std::size_t shown = 0;
    std::size_t groups = 0;
    double query = 0;
    const double history = Timed([&] {
        std::vector<line::StoredBurn> burns;
        std::string since;
        cli::SinceTime("24h", std::time(nullptr), since);
        const auto start = Clock::now();
        store->Burns({since, "", ""}, burns, error);
        query = Ms(Clock::now() - start);
        shown = burns.size();
        const std::string text = cli::HistoryReport(burns, cli::ReportForm::Person);
        std::fwrite(text.data(), 1, 0, stdout);
    });
    const double yield = Timed([&] {
        std::vector<line::BurnOutcome> outcomes;
        store->Outcomes({}, line::YieldBy::Socket, outcomes, error);
        const auto rows = line::YieldOf(outcomes);
        groups = rows.size();
        const std::string text =
            cli::YieldReport(rows, line::YieldBy::Socket, cli::ReportForm::Person);
        std::fwrite(text.data(), 1, 0, stdout);
    });
    std::printf(
        "%-10s %d rows (seeded in %.1f s): --history --since 24h %.1f ms (%zu burns; the "
        "query %.1f ms), --yield --by socket %.1f ms (%zu groups)  goal < %.0f ms: %s\n",
        kind.c_str(), kRows, seeded, history, shown, query, yield, groups, kQueryGoalMs,
        history < kQueryGoalMs && yield < kQueryGoalMs ? "met" : "NOT met");
}

// 1,000 rows kept while the database was away, sent once it is there.
void CatchUp(const std::string& kind, const std::string& url, const std::string& dir) {
    const std::string box = dir + "/" + kind + ".catch-up";
    std::string error;
    {
        auto away =
            line::RecordOutbox::Open(box, "postgres:host=" + dir + "/nowhere", "bench", error);
        for (int n = 0; away && n < kWaiting; ++n) {
            away->Add(Line(2000000 + n, std::time(nullptr)), error);
        }
    }
    const auto start = Clock::now();
    auto back = line::RecordOutbox::Open(box, url, "bench", error);
    const bool all = back && back->Flush(std::chrono::minutes(5));
    std::printf("%-10s catch-up of %d waiting rows: %.0f ms%s\n", kind.c_str(), kWaiting,
                Ms(Clock::now() - start), all ? "" : " (not all sent)");
}

}  // namespace

int main(int argc, char** argv) {
    const int burns = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const std::string dir = bench::MakeWorkDir();
    test::PostgresServer server;
    if (!server.Ready()) {
        std::printf("PostgreSQL: %s\n", server.Trouble().c_str());
        return 1;
    }
    for (const std::string kind : {"sqlite", "postgresql"}) {
        const auto url = [&](const std::string& name) {
            return kind == "sqlite" ? "sqlite:" + dir + "/" + name + ".db" : server.Url(name);
        };
        PerBurn(kind, url("burns"), dir, burns);
        Queries(kind, url("rows"));
        CatchUp(kind, url("catchup"), dir);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
}
