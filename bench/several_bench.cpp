// Several PLCs at once: N simulated PLCs of a Serial model with a small image, each
// on a pseudo-terminal of its own, burnt by one run of the terminal program with N
// --port options (a child process per PLC). Prints, for each N, the run's wall
// time against the single burn's and the tool's CPU time per burn (the program and
// its children).
//
// Usage: several_bench [N...]   (default 1 4 16 32)
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_setup.h"
#include "served_burn.h"

namespace {

using namespace norvane::bench;

constexpr double kGoalAt16 = 1.15;

struct Run {
    int plcs = 0;
    ChildRun tool;
    int burnt = 0;  // PLCs whose flash holds the image
};

Run BurnAtOnce(int count, const std::vector<std::uint8_t>& image, const std::string& log) {
    Run run;
    run.plcs = count;
    std::vector<std::string> argv{NORVANE_SCALE_TOOL, "--placeholder", "--yes", "--json"};
    plcsim::ServeOptions serve;
    serve.exitAfterBurn = true;
    serve.idleTimeoutSeconds = 60;
    const std::vector<std::unique_ptr<plcsim::ServedPlc>> plcs = ServeNt4Plcs(count, serve);
    if (plcs.empty()) {
        return run;
    }
    for (const auto& plc : plcs) {
        argv.insert(argv.end(), {"--port", plc->SlavePath()});
    }
    run.tool = RunLogged(argv, {}, log);
    for (auto& plc : plcs) {
        plc->Join();
        run.burnt += plc->Plc().FlashHoldsImage(image.data(), image.size()) ? 1 : 0;
    }
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<int> counts = PlcCounts(argc, argv, {1, 4, 16, 32});
    const std::vector<std::uint8_t> image = ReadFileBytes(NORVANE_SCALE_IMAGE);
    const std::string workDir = MakeWorkDir();
    std::printf("Several PLCs at once: NT4, image of %zu bytes, one run of the tool per line\n",
                image.size());
    std::printf("(logs in %s)\n\n", workDir.c_str());
    std::printf("  %5s %10s %14s %20s %8s\n", "PLCs", "wall s", "wall / one", "CPU s per burn",
                "burnt");
    const Run single = BurnAtOnce(1, image, workDir + "/one.log");
    bool ok = single.burnt == 1;
    for (const int count : counts) {
        const Run run =
            count == 1 ? single
                       : BurnAtOnce(count, image, workDir + "/" + std::to_string(count) + ".log");
        const double ratio = run.tool.wallSeconds / single.tool.wallSeconds;
        std::printf("  %5d %10.2f %14.3f %20.4f %5d/%d%s\n", count, run.tool.wallSeconds, ratio,
                    run.tool.cpuSeconds / count, run.burnt, count,
                    count == 16 ? (ratio <= kGoalAt16 ? "  goal met (at most 1.15)"
                                                      : "  goal NOT met (at most 1.15)")
                                : "");
        ok = ok && run.burnt == count && run.tool.exitStatus == 0;
    }
    return ok ? 0 : 1;
}
