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
#include "station_run.h"

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
