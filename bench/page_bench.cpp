// A station's page under load: 16 simulated PLCs burnt at once by a station
// that serves its page, while 64 clients follow /events and /metrics is
// scraped ten times a second, against the same run with no client, the two
// taken in turns. Prints each run's burns' wall time, their ratio, the
// station's CPU per burn and its peak memory (the server's share: the
// difference), and what the clients got.
//
// Usage: page_bench [ROUNDS]   (default 3)
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "bench_setup.h"
#include "served_burn.h"
#include "station_run.h"

namespace {

using namespace norvane::bench;

constexpr int kPlcs = 16;
constexpr int kFollowers = 64;
constexpr double kGoal = 1.02;  // the burns' wall time with clients against without

// The clients of one run: followers of the events and a scraper of the metrics.
class Clients {
  public:
    explicit Clients(int port) {
        for (int i = 0; i < kFollowers; ++i) {
            threads_.emplace_back([this, port] { Follow(port); });
        }
        threads_.emplace_back([this, port] {
            httplib::Client client("127.0.0.1", port);
            while (!stop_) {
                const double asked = MonotonicSeconds();
                const auto scrape = client.Get("/metrics");
                // Not answered at all: the station has stopped at the run's end.
                scrapes_ += scrape && scrape->status == 200;
                refused_ += scrape && scrape->status != 200;
                slowest_ = std::max(slowest_.load(), MonotonicSeconds() - asked);
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
    }
    ~Clients() {
        stop_ = true;
        for (std::thread& t : threads_) {
            t.join();
        }
    }
    long Bytes() const { return bytes_; }
    int Scrapes() const { return scrapes_; }
    int Refused() const { return refused_; }
    double Slowest() const { return slowest_; }

  private:
    void Follow(int port) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<std::uint16_t>(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval wait{0, 200000};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        const std::string ask = "GET /events HTTP/1.1\r\nHost: bench\r\n\r\n";
        if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
            send(fd, ask.data(), ask.size(), MSG_NOSIGNAL) > 0) {
            char buffer[16384];
            while (!stop_) {
                const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
                if (got == 0) {
                    break;
                }
                bytes_ += got > 0 ? got : 0;
            }
        }
        close(fd);
    }

    std::atomic<bool> stop_{false};
    std::atomic<long> bytes_{0};
    std::atomic<int> scrapes_{0};
    std::atomic<int> refused_{0};
    std::atomic<double> slowest_{0};
    std::vector<std::thread> threads_;
};

int PortOfPage(const std::string& stationLine) {
    const std::string page = Field(stationLine, "page");
    const std::size_t colon = page.rfind(':');
    return colon == std::string::npos ? 0 : std::atoi(page.c_str() + colon + 1);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::vector<std::uint8_t> image = ReadFileBytes(NORVANE_SCALE_IMAGE);
    const std::string workDir = MakeWorkDir();
    MakeRoomFor(kPlcs);
    std::printf(
        "A station's page under load: %d NT4 PLCs at once, image of %zu bytes; with\n"
        "clients: %d followers of /events and /metrics scraped 10 times a second\n"
        "(logs in %s)\n\n",
        kPlcs, image.size(), kFollowers, workDir.c_str());
    std::printf("  %5s %8s %8s %15s %9s %7s %12s %8s\n", "round", "clients", "wall s",
                "station ms/burn", "peak KiB", "burnt", "events KiB", "scrapes");
    std::vector<double> without;
    std::vector<double> with;
    std::vector<double> cpuWith;
    std::vector<double> peakWithout;
    std::vector<double> peakWith;
    bool ok = true;
    for (int round = 1; round <= rounds; ++round) {
        for (const bool clients : {false, true}) {
            std::unique_ptr<Clients> load;
            const Scale run = BurnAtOnce(kPlcs, image, workDir, {"--http", "127.0.0.1:0"},
                                         [&](const std::string& line) {
                                             if (clients) {
                                                 load = std::make_unique<Clients>(PortOfPage(line));
                                             }
                                         });
            const long bytes = load ? load->Bytes() : 0;
            const int scrapes = load ? load->Scrapes() : 0;
            if (load && load->Refused() > 0) {
                std::printf("    (%d scrapes not answered 200; the slowest took %.2f s)\n",
                            load->Refused(), load->Slowest());
            }
            load.reset();
            std::printf("  %5d %8s %8.2f %15.2f %9ld %4d/%d %12.1f %8d\n", round,
                        clients ? "yes" : "no", run.wall, run.cpuPerBurn * 1000, run.peakKiB,
                        run.burnt, kPlcs, static_cast<double>(bytes) / 1024, scrapes);
            ok = ok && run.burnt == kPlcs;
            (clients ? with : without).push_back(run.wall);
            (clients ? peakWith : peakWithout).push_back(static_cast<double>(run.peakKiB));
            if (clients) {
                cpuWith.push_back(run.cpuPerBurn * 1000);
            }
        }
    }
    const double ratio = Median(with) / Median(without);
    std::printf(
        "\nburns' wall time with clients / without (medians): %.3f: %s (within %.2f);\n"
        "station CPU per burn with clients %.2f ms (median); peak memory %ld KiB with "
        "clients, %ld KiB without (medians)\n",
        ratio, ratio <= kGoal ? "goal met" : "goal NOT met", kGoal, Median(cpuWith),
        static_cast<long>(Median(peakWith)), static_cast<long>(Median(peakWithout)));
    return ok ? 0 : 1;
}
