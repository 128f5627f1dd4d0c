#include "station_run.h"

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "served_burn.h"
#include "served_plc.h"

namespace norvane::bench {

// The station's own CPU seconds (its burns' apart) and peak resident KiB.
std::pair<double, long> Station::Own() const {
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
long Station::Switches() const {
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
int Station::Stop(const std::string& log) {
    tool_->Signal(SIGINT);
    const int status = tool_->WaitExit(120000);
    std::ofstream(log) << tool_->Screen();
    return status;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

Scale BurnAtOnce(int count, const std::vector<std::uint8_t>& image, const std::string& dir,
                 const std::vector<std::string>& more,
                 const std::function<void(const std::string&)>& watching) {
    Scale scale;
    scale.plcs = count;
    std::vector<std::string> ports;
    std::vector<std::string> argv{NORVANE_SCALE_TOOL, "--watch", "--json", "--placeholder"};
    argv.insert(argv.end(), more.begin(), more.end());
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
    std::string watches;
    if (station.Until(
            [&watches](const std::string& l) {
                watches = l;
                return Says(l, "station");
            },
            60) < 0) {
        std::fprintf(stderr, "the station did not start watching\n");
        return scale;
    }
    if (watching) {
        watching(watches);
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

// An inotify instance each for the simulated PLCs: Debian allows a user 128.
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

}  // namespace norvane::bench
