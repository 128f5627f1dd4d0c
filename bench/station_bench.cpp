// A station at scale: N simulated PLCs of a Serial model with a small image,
// connected at once to the serial ports one station watches, then one USB PLC
// after another plugged into a socket it watches. Prints, for each N, the wall
// time to burn them all (from the first burn's start to the last one's end)
// against the single burn's, the station's own CPU time per burn (its burns'
// processes apart) and its peak memory, and how long a PLC waited to be seen:
// serial, from its connection to the watcher's first byte to it; USB, from its
// device appearing to its first request, and to its burn's start. And how
// often an idle station wakes.
//
// Usage: station_bench [N...]   (default 1 16 64 256)
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench_setup.h"
#include "fake_usb_sockets.h"
#include "served_burn.h"
#include "served_plc.h"

namespace {

using namespace norvane::bench;
using norvane::test::ChildProcess;
using norvane::test::MonotonicSeconds;

constexpr double kGoalAtScale = 1.10;  // 64 and 256 at once against one
constexpr double kGoalCpuMs = 10;
constexpr double kGoalUsbFirstRequest = 0.030;  // median
constexpr double kGoalIdleWakesPerSecond = 1.0;
constexpr double kIdleSeconds = 10;
constexpr double kGoalSerialSeen = 1.0 + 3.0;  // one watch period and one mode query

// The text of `"key": "..."` in a JSON line, empty when it has none.
std::string Field(const std::string& line, const std::string& key) {
    const std::string head = "\"" + key + "\": \"";
    const std::size_t at = line.find(head);
    if (at == std::string::npos) {
        return "";
    }
    const std::size_t from = at + head.size();
    return line.substr(from, line.find('"', from) - from);
}

// A station's output read as it comes, each line stamped with its arrival.
class Station {
  public:
    explicit Station(std::vector<std::string> argv,
                     const std::vector<std::string>& environment = {}) {
        ChildProcess::Setup setup;
        setup.output = ChildProcess::Setup::Output::Pipe;
        setup.environment = environment;
        tool_ = std::make_unique<ChildProcess>(argv, setup);
    }

    // Reads until `done` holds of a line, or `seconds` pass; the line's arrival.
    template <typename Done>
    double Until(Done done, double seconds) {
        const double end = MonotonicSeconds() + seconds;
        while (MonotonicSeconds() < end) {
            for (std::size_t eol; (eol = tool_->Screen().find('\n', read_)) != std::string::npos;) {
                const std::string line = tool_->Screen().substr(read_, eol - read_);
                read_ = eol + 1;
                if (done(line)) {
                    return MonotonicSeconds();
                }
            }
            tool_->Read(5);
        }
        return -1;
    }

    // The station's own CPU seconds (its burns' apart) and peak resident KiB.
    std::pair<double, long> Own() const {
        std::ifstream stat("/proc/" + std::to_string(tool_->Pid()) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        double ticks = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            ticks += i >= 14 ? std::atof(field.c_str()) : 0;  // utime, stime
        }
        std::ifstream status("/proc/" + std::to_string(tool_->Pid()) + "/status");
        long hwm = 0;
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmHWM:", 0) == 0) {
                hwm = std::atol(line.c_str() + 6);
            }
        }
        return {ticks / static_cast<double>(sysconf(_SC_CLK_TCK)), hwm};
    }

    // How often the station's threads were switched out so far: each time one
    // woke and slept again.
    long Switches() const {
        long switches = 0;
        const std::string tasks = "/proc/" + std::to_string(tool_->Pid()) + "/task";
        for (const auto& task : std::filesystem::directory_iterator(tasks)) {
            std::ifstream status(task.path() / "status");
            for (std::string line; std::getline(status, line);) {
                if (line.find("ctxt_switches:") != std::string::npos) {
                    switches += std::atol(line.c_str() + line.find(':') + 1);
                }
            }
        }
        return switches;
    }

    // Stops the station, its output into `log`; its exit status.
    int Stop(const std::string& log) {
        tool_->Signal(SIGINT);
        const int status = tool_->WaitExit(120000);
        std::ofstream(log) << tool_->Screen();
        return status;
    }

  private:
    std::unique_ptr<ChildProcess> tool_;
    std::size_t read_ = 0;
};

bool Says(const std::string& line, const std::string& event, const std::string& port = "") {
    return Field(line, "event") == event && (port.empty() || Field(line, "port") == port);
}

struct Scale {
    int plcs = 0;
    double wall = 0;
    double cpuPerBurn = 0;
    long peakKiB = 0;
    double seenMedian = 0;  // connection to the first byte sent to the PLC
    double seenWorst = 0;
    int burnt = 0;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

Scale BurnAtOnce(int count, const std::vector<std::uint8_t>& image, const std::string& dir) {
    Scale scale;
    scale.plcs = count;
    std::vector<std::string> ports;
    std::vector<std::string> argv{NORVANE_SCALE_TOOL, "--watch", "--json", "--placeholder"};
    plcsim::ServeOptions serve;
    serve.idleTimeoutSeconds = 600;  // served until stopped: the watcher opens and closes the port
    const std::vector<std::unique_ptr<plcsim::ServedPlc>> plcs = ServeNt4Plcs(count, serve);
    if (plcs.empty()) {
        return scale;
    }
    for (int i = 0; i < count; ++i) {
        ports.push_back(dir + "/ttyS" + std::to_string(i));
        std::remove(ports.back().c_str());
        argv.insert(argv.end(), {"--port", ports.back()});
    }
    Station station(argv);
    if (station.Until([](const std::string& l) { return Says(l, "station"); }, 60) < 0) {
        std::fprintf(stderr, "the station did not start watching\n");
        return scale;
    }
    std::vector<double> connected;
    for (int i = 0; i < count; ++i) {
        connected.push_back(MonotonicSeconds());
        if (symlink(plcs[static_cast<std::size_t>(i)]->SlavePath().c_str(),
                    ports[static_cast<std::size_t>(i)].c_str()) != 0) {
            std::perror("symlink");
        }
    }
    double firstStart = -1;
    double lastEnd = 0;
    int ends = 0;
    station.Until(
        [&](const std::string& line) {
            if (Says(line, "start") && firstStart < 0) {
                firstStart = MonotonicSeconds();
            }
            if (Says(line, "end")) {
                lastEnd = MonotonicSeconds();
                ++ends;
            }
            return ends == count;
        },
        600);
    scale.wall = lastEnd - firstStart;
    const auto [cpu, peak] = station.Own();
    scale.cpuPerBurn = cpu / count;
    scale.peakKiB = peak;
    const int status = station.Stop(dir + "/station-" + std::to_string(count) + ".log");
    std::vector<double> seen;
    for (std::size_t i = 0; i < plcs.size(); ++i) {
        plcs[i]->Stop();
        // The flash, not the session's counts: the watcher's asks after a burn
        // open a new session of the PLC's bootloader.
        const plcsim::SimulatedPlc& plc = plcs[i]->Plc();
        scale.burnt +=
            status >= 0 && plc.FlashEquals(image.data(), image.size() - plc.Model().reservedTail);
        const auto& requests = plcs[i]->Plc().Requests();
        if (!requests.empty()) {
            seen.push_back(static_cast<double>(requests.front().atMs) / 1000 - connected[i]);
        }
        std::remove(ports[i].c_str());
    }
    scale.seenMedian = Median(seen);
    scale.seenWorst = seen.empty() ? 0 : *std::max_element(seen.begin(), seen.end());
    return scale;
}

struct UsbFigures {
    std::vector<double> firstRequest;  // the device's appearing to its first request
    std::vector<double> working;       // ... to its row saying working (asking what it is)
    double idleWakesPerSecond = -1;
};

// An idle station's wakes a second, then one USB PLC after another into a
// watched socket, each checked (nothing is burnt).
UsbFigures UsbArrivals(int count, const std::string& dir) {
    norvane::test::FakeUsbSockets sockets;
    Station station({NORVANE_BENCH_USB_TOOL, "--watch", "--check", "--json", "--placeholder"},
                    sockets.Environment());
    UsbFigures figures;
    if (station.Until([](const std::string& l) { return Says(l, "station"); }, 60) < 0) {
        return figures;
    }
    const long switchesBefore = station.Switches();
    usleep(static_cast<useconds_t>(kIdleSeconds * 1e6));
    figures.idleWakesPerSecond =
        static_cast<double>(station.Switches() - switchesBefore) / kIdleSeconds;
    for (int i = 0; i < count; ++i) {
        // A socket of its own for each: one socket would soon count as unsteady.
        const std::string socket = "1-" + std::to_string(i + 1);
        const std::string port = "usb-path:" + socket;
        plcsim::ServedPlc plc{plcsim::PlcConfig{}};
        std::string error;
        if (!plc.Start(plcsim::ServeOptions{}, error)) {
            break;
        }
        const double plugged = MonotonicSeconds();
        sockets.Plug(socket, "ttyACM" + std::to_string(i), plc.SlavePath(),
                     "B" + std::to_string(i));
        const double working = station.Until(
            [&](const std::string& l) {
                return Says(l, "socket", port) && Field(l, "state") == "working";
            },
            10);
        station.Until(
            [&](const std::string& l) {
                return Says(l, "socket", port) && Field(l, "state") == "take_out";
            },
            60);
        sockets.Unplug(socket);
        station.Until(
            [&](const std::string& l) {
                return Says(l, "socket", port) && Field(l, "state") == "empty";
            },
            10);
        plc.Stop();
        const auto& requests = plc.Plc().Requests();
        if (working > 0 && !requests.empty()) {
            figures.working.push_back(working - plugged);
            figures.firstRequest.push_back(static_cast<double>(requests.front().atMs) / 1000 -
                                           plugged);
        }
    }
    station.Stop(dir + "/station-usb.log");
    return figures;
}

// Room for `plcs` PLCs' pseudo-terminals and their burns' pipes, here and in
// the station, and for the simulated PLCs' watches of their pseudo-terminals
// (an inotify instance each: Debian allows a user 128).
void MakeRoomFor(int plcs) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    const char* instances = "/proc/sys/fs/inotify/max_user_instances";
    int allowed = 0;
    std::ifstream(instances) >> allowed;
    const int needed = plcs + 64;
    if (allowed >= needed) {
        return;
    }
    if (geteuid() == 0 && std::ofstream(instances) << needed) {
        std::printf("(fs.inotify.max_user_instances raised from %d to %d for the simulated PLCs)\n",
                    allowed, needed);
    } else {
        std::printf(
            "(%d PLCs need fs.inotify.max_user_instances of %d, this machine allows %d: "
            "raise it as root)\n",
            plcs, needed, allowed);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<int> counts = PlcCounts(argc, argv, {1, 16, 64, 256});
    const std::vector<std::uint8_t> image = ReadFileBytes(NORVANE_SCALE_IMAGE);
    const std::string workDir = MakeWorkDir();
    MakeRoomFor(*std::max_element(counts.begin(), counts.end()));
    std::printf("A station at scale: NT4 PLCs on serial ports, image of %zu bytes\n", image.size());
    std::printf("(logs in %s; the station's CPU time is counted in ticks of 10 ms)\n\n",
                workDir.c_str());
    std::printf("  %5s %8s %11s %15s %9s %19s %8s\n", "PLCs", "wall s", "wall / one",
                "station ms/burn", "peak KiB", "seen s (median/max)", "burnt");
    const Scale single = BurnAtOnce(1, image, workDir);
    bool ok = single.burnt == 1;
    for (const int count : counts) {
        const Scale run = count == 1 ? single : BurnAtOnce(count, image, workDir);
        const double ratio = run.wall / single.wall;
        std::printf("  %5d %8.2f %11.3f %15.2f %9ld %9.2f / %7.2f %5d/%d\n", count, run.wall, ratio,
                    run.cpuPerBurn * 1000, run.peakKiB, run.seenMedian, run.seenWorst, run.burnt,
                    count);
        ok = ok && run.burnt == count;
        if (count >= 64) {
            std::printf(
                "    %d at once: %s (at most %.2f times one); station CPU: %s (under %.0f ms per "
                "burn);\n    serial PLCs seen: %s (within %.0f s)\n",
                count, ratio <= kGoalAtScale ? "goal met" : "goal NOT met", kGoalAtScale,
                run.cpuPerBurn * 1000 < kGoalCpuMs ? "goal met" : "goal NOT met", kGoalCpuMs,
                run.seenWorst <= kGoalSerialSeen ? "goal met" : "goal NOT met", kGoalSerialSeen);
        }
    }
    const UsbFigures usb = UsbArrivals(10, workDir);
    const double firstRequest = Median(usb.firstRequest);
    std::printf(
        "\nAn idle station watching every USB socket: %.1f wakes a second over %.0f s: %s (at "
        "most %.0f)\n",
        usb.idleWakesPerSecond, kIdleSeconds,
        usb.idleWakesPerSecond >= 0 && usb.idleWakesPerSecond <= kGoalIdleWakesPerSecond
            ? "goal met"
            : "goal NOT met",
        kGoalIdleWakesPerSecond);
    std::printf(
        "USB PLCs plugged one after another (%zu): first request %.1f ms after the device "
        "appeared (median), %.1f ms at most: %s (median within %.0f ms);\n  its row says working "
        "%.1f ms after (median)\n",
        usb.firstRequest.size(), firstRequest * 1000,
        usb.firstRequest.empty()
            ? 0
            : *std::max_element(usb.firstRequest.begin(), usb.firstRequest.end()) * 1000,
        firstRequest <= kGoalUsbFirstRequest ? "goal met" : "goal NOT met",
        kGoalUsbFirstRequest * 1000, Median(usb.working) * 1000);
    ok = ok && usb.firstRequest.size() == 10;
    return ok ? 0 : 1;
}
