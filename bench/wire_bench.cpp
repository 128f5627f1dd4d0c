// Against the wire: a complete burn by the Serial-model build against the simulated
// PLC on a paced line, where every byte takes the time the speed the tool set gives
// it (10 bit times: 1041.7 us at 9600 7E1, 86.8 us at 115200 8N1) and the PLC takes a
// configurable time to program a block and to erase a unit. Prints the burn's wall
// time divided by the time the line needs, and the tool's CPU time divided by its
// wall time; then the same for a plain sender over the same line, the floor.
//
// Usage: wire_bench [--block-us N] [--erase-us N] [--no-plain] [--keep-cpus-awake]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_setup.h"
#include "built_tools.h"
#include "idle_cpu_keepers.h"
#include "served_burn.h"

namespace {

using namespace norvane;
using namespace norvane::bench;

constexpr double kGoalWallOverLine = 1.01;
constexpr double kGoalCpuShare = 0.02;

struct Options {
    std::uint32_t blockUs = 0;
    std::uint32_t eraseUs = 0;
    bool plain = true;
    bool keepCpusAwake = false;
};

bool Parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-plain") == 0) {
            options.plain = false;
        } else if (std::strcmp(argv[i], "--keep-cpus-awake") == 0) {
            options.keepCpusAwake = true;
        } else if (std::strcmp(argv[i], "--block-us") == 0 && i + 1 < argc) {
            options.blockUs = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (std::strcmp(argv[i], "--erase-us") == 0 && i + 1 < argc) {
            options.eraseUs = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            return false;
        }
    }
    return true;
}

double Seconds(std::uint64_t us) {
    return static_cast<double>(us) / 1e6;
}

// What the line itself needs: the bytes on the wire and the PLC's programming.
double LineSeconds(const plcsim::LineTotals& t) {
    return (t.wireUs + static_cast<double>(t.plcBusyUs)) / 1e6;
}

void PrintHeader() {
    std::printf("  %-26s %8s %8s %7s %10s %8s %8s %9s\n", "", "wall s", "wire s", "PLC s",
                "turnaround", "waiting", "sim late", "wall/line");
}

void PrintRow(const char* name, double wall, const plcsim::LineTotals& t) {
    std::printf("  %-26s %8.3f %8.3f %7.3f %10.4f %8.3f %8.4f %9.4f\n", name, wall, t.wireUs / 1e6,
                Seconds(t.plcBusyUs), Seconds(t.turnaroundUs), Seconds(t.waitingUs),
                Seconds(t.serverLateUs), wall / LineSeconds(t));
}

void PrintCpu(const char* who, const ChildRun& run, std::uint64_t blocks) {
    const double share = run.cpuSeconds / run.wallSeconds;
    std::printf(
        "  %s CPU: %.3f s over %.3f s wall = %.2f %%, %.0f us and %.2f context switches "
        "a block",
        who, run.cpuSeconds, run.wallSeconds, 100 * share,
        blocks == 0 ? 0.0 : 1e6 * run.cpuSeconds / static_cast<double>(blocks),
        blocks == 0 ? 0.0 : static_cast<double>(run.contextSwitches) / static_cast<double>(blocks));
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: wire_bench [--block-us N] [--erase-us N] [--no-plain] "
                     "[--keep-cpus-awake]\n");
        return 2;
    }
    const IdleCpuKeepers keepers(options.keepCpusAwake);
    const std::string workDir = MakeWorkDir();
    const BuiltTool built = SerialTool();
    ServedPlc served;
    served.plc.model = built.model;
    served.image = ReadFileBytes(built.imagePath);
    served.serve.paceLine = true;
    served.serve.blockWriteUs = options.blockUs;
    served.serve.eraseUnitUs = options.eraseUs;

    std::printf(
        "Against the wire: %s (Serial) burn of %s bytes on a paced line, the PLC taking "
        "%u us to program a block and %u us to erase a unit%s\n",
        built.model, Grouped(static_cast<double>(served.image.size())).c_str(), options.blockUs,
        options.eraseUs, options.keepCpusAwake ? "; CPUs kept out of idle" : "");
    std::printf(
        "(wall/line: wall time over the time that the bytes on the wire and the PLC's "
        "programming need; logs in %s)\n\n",
        workDir.c_str());

    const ServedBurnResult tool =
        RunProgramBurn(served, built.ToolArgs(), workDir + "/wire-tool.log");
    if (!tool.Succeeded()) {
        std::printf("the burn FAILED (%s exit status %d); see %s\n", tool.error.c_str(),
                    tool.sender.exitStatus, workDir.c_str());
        return 1;
    }
    const plcsim::LineFigures& f = tool.line;
    PrintHeader();
    PrintRow("norvane-fwupdate, burn", tool.sender.wallSeconds, f.burn.totals);
    PrintRow("  erase", f.erase.WallUs() / 1e6, f.erase.totals);
    PrintRow("  transfer", f.transfer.WallUs() / 1e6, f.transfer.totals);

    ServedBurnResult plain;
    if (options.plain) {
        served.plc.initialMode = plcsim::PlcMode::Bootloader;
        plain = RunProgramBurn(served, built.PlainArgs(), workDir + "/wire-plain.log");
        if (plain.Succeeded()) {
            PrintRow("plain sender, transfer", plain.line.transfer.WallUs() / 1e6,
                     plain.line.transfer.totals);
        }
    }

    const double line = LineSeconds(f.burn.totals);
    const double waiting = Seconds(f.burn.totals.waitingUs);
    const double transferRatio = f.transfer.WallUs() / 1e6 / LineSeconds(f.transfer.totals);
    const double cpuShare = tool.sender.cpuSeconds / tool.sender.wallSeconds;
    std::printf(
        "\n  whole burn: wall / line %.4f; without the %.3f s the protocol waits on "
        "purpose (wake bursts, the hand-over pause): %.4f\n",
        tool.sender.wallSeconds / line, waiting, (tool.sender.wallSeconds - waiting) / line);
    std::printf(
        "  transfer:   wall / line %.4f (goal at most %.2f: %s); acknowledgement to the "
        "next block's first byte %.1f us mean\n",
        transferRatio, kGoalWallOverLine, transferRatio <= kGoalWallOverLine ? "met" : "NOT MET",
        f.MeanAckToBlockUs());
    PrintCpu("tool", tool.sender, f.blocksAcknowledged);
    std::printf(" (goal under %.0f %%: %s)\n", 100 * kGoalCpuShare,
                cpuShare < kGoalCpuShare ? "met" : "NOT MET");
    if (plain.Succeeded()) {
        std::printf(
            "  plain sender: transfer wall / line %.4f, acknowledgement to the next "
            "block's first byte %.1f us mean\n",
            plain.line.transfer.WallUs() / 1e6 / LineSeconds(plain.line.transfer.totals),
            plain.line.MeanAckToBlockUs());
        PrintCpu("plain sender", plain.sender, plain.line.blocksAcknowledged);
        std::printf("\n");
    }
    return 0;
}
