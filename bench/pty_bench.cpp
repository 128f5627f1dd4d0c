// Round trip over a pseudo-terminal: whole burns by the built front ends against the
// simulated PLC answering at once, a plain sender over the same line as the floor,
// and the closest public peer (XMODEM by lrzsz) moving as many blocks as the QB7 burn,
// 128 bytes each, over an identical pseudo-terminal pair. Prints blocks per second
// and the ratios.
//
// One run of each swings widely on a busy machine, so the tool and the plain sender
// take turns (tool, plain, tool, plain, ...) for --runs rounds, and their medians are
// compared: the transfer's blocks per second, and the time from each acknowledgement
// to the next block's first byte, which is what the tool adds per block.
//
// Usage: pty_bench [--runs N] [--peer-cap SECONDS] [--no-peer]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_setup.h"
#include "built_tools.h"
#include "burn/catalogue.h"
#include "link/block_transfer.h"
#include "peer_run.h"
#include "served_burn.h"

namespace {

using namespace norvane;
using namespace norvane::bench;

constexpr double kGoalPeerRatio = 40;
// The tool's transfer against the plain sender's, as the ratio of their medians.
constexpr double kGoalPlainRatio = 0.98;
constexpr int kFewestRuns = 5;

struct Options {
    int runs = kFewestRuns;
    double peerCapSeconds = 85;
    bool peer = true;
};

bool Parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-peer") == 0) {
            options.peer = false;
        } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            options.runs = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--peer-cap") == 0 && i + 1 < argc) {
            options.peerCapSeconds = std::atof(argv[++i]);
        } else {
            return false;
        }
    }
    return options.peerCapSeconds > 0 && options.runs >= kFewestRuns;
}

double TransferBlocksPerSecond(const ServedBurnResult& r) {
    const double wall = r.line.transfer.WallUs() / 1e6;
    return r.line.transfer.ended && wall > 0 ? static_cast<double>(r.line.blocksAcknowledged) / wall
                                             : 0;
}

void PrintBurn(const char* who, const ServedBurnResult& r) {
    if (!r.error.empty()) {
        std::printf("  %s: could not run: %s\n", who, r.error.c_str());
        return;
    }
    std::printf("  %s: %s (exit status %d, flash %s the image)\n", who,
                r.Succeeded() ? "burned" : "FAILED", r.sender.exitStatus,
                r.flashHoldsImage ? "equals" : "DIFFERS FROM");
    std::printf(
        "    whole burn  %7.3f s wall, %6.3f s CPU; of it waiting on purpose %.3f s "
        "(wake bursts, pauses the PLC asks for)\n",
        r.sender.wallSeconds, r.sender.cpuSeconds,
        static_cast<double>(r.line.burn.totals.waitingUs) / 1e6);
    if (r.line.erase.ended) {
        std::printf("    erase       %7.3f s for %s units\n", r.line.erase.WallUs() / 1e6,
                    Grouped(static_cast<double>(r.line.eraseUnitsAcknowledged)).c_str());
    }
    std::printf("    transfer    %7.3f s for %s blocks = %s blocks/s\n",
                r.line.transfer.WallUs() / 1e6,
                Grouped(static_cast<double>(r.line.blocksAcknowledged)).c_str(),
                Grouped(TransferBlocksPerSecond(r)).c_str());
    std::printf("    acknowledgement to the next block's first byte: mean %.1f us, max %s us\n",
                r.line.MeanAckToBlockUs(),
                Grouped(static_cast<double>(r.line.ackToBlockMaxUs)).c_str());
}

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// The runs of one sender on one model, in the order they ran.
struct Runs {
    std::vector<ServedBurnResult> results;

    bool AllSucceeded() const {
        return std::all_of(results.begin(), results.end(),
                           [](const ServedBurnResult& r) { return r.Succeeded(); });
    }
    double MedianBlocksPerSecond() const {
        std::vector<double> values;
        for (const ServedBurnResult& r : results) {
            values.push_back(TransferBlocksPerSecond(r));
        }
        return Median(values);
    }
    double MedianAckToBlockUs() const {
        std::vector<double> values;
        for (const ServedBurnResult& r : results) {
            values.push_back(r.line.MeanAckToBlockUs());
        }
        return Median(values);
    }
};

struct Pair {
    Runs tool;
    Runs plain;
};

// The tool from the application and the plain sender from the bootloader, taking
// turns, so that whatever else the machine does weighs on both alike.
Pair BurnAlternately(const BuiltTool& built, int runs, const std::string& workDir) {
    ServedPlc served;
    served.plc.model = built.model;
    served.image = ReadFileBytes(built.imagePath);
    ServedPlc inBootloader = served;
    inBootloader.plc.initialMode = plcsim::PlcMode::Bootloader;
    Pair pair;
    for (int i = 1; i <= runs; ++i) {
        const std::string log = workDir + "/" + built.model + "-" + std::to_string(i);
        pair.tool.results.push_back(RunProgramBurn(served, built.ToolArgs(), log + "-tool.log"));
        pair.plain.results.push_back(
            RunProgramBurn(inBootloader, built.PlainArgs(), log + "-plain.log"));
    }
    return pair;
}

void PrintRuns(const char* who, const Runs& runs) {
    std::printf("      %-18s", who);
    for (const ServedBurnResult& r : runs.results) {
        std::printf(" %7s%s", Grouped(TransferBlocksPerSecond(r)).c_str(),
                    r.Succeeded() ? " " : "!");
    }
    std::printf("  median %s blocks/s\n", Grouped(runs.MedianBlocksPerSecond()).c_str());
}

void PrintPair(const BuiltTool& built, const Pair& pair) {
    const PlcModel& model = ModelAt(FindModel(built.model));
    std::printf("\n%s (%s, %u-byte blocks), image of %s bytes\n", built.model,
                model.linkKind == LinkKind::Usb ? "USB" : "Serial", model.blockSize,
                Grouped(static_cast<double>(ReadFileBytes(built.imagePath).size())).c_str());
    PrintBurn("norvane-fwupdate, complete burn from the application", pair.tool.results.front());
    PrintBurn("plain sender, from the bootloader (the floor on this line)",
              pair.plain.results.front());

    std::printf("  %zu alternating runs of each, transfer blocks/s (! the burn failed):\n",
                pair.tool.results.size());
    PrintRuns("norvane-fwupdate", pair.tool);
    PrintRuns("plain sender", pair.plain);
    const double plain = pair.plain.MedianBlocksPerSecond();
    if (plain > 0) {
        const double ratio = pair.tool.MedianBlocksPerSecond() / plain;
        std::printf(
            "    the tool's median transfer is %.2f of the plain sender's (goal: at least "
            "%.2f)  %s\n",
            ratio, kGoalPlainRatio, ratio >= kGoalPlainRatio ? "met" : "NOT MET");
    }
    const double toolUs = pair.tool.MedianAckToBlockUs();
    const double plainUs = pair.plain.MedianAckToBlockUs();
    std::printf(
        "    what the tool adds per block: %+.1f us from acknowledgement to the next block's "
        "first byte\n      (medians of each run's mean: tool %.1f us, plain sender %.1f us)\n",
        toolUs - plainUs, toolUs, plainUs);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: pty_bench [--runs N (at least %d)] [--peer-cap SECONDS] [--no-peer]\n",
                     kFewestRuns);
        return 2;
    }
    const std::string workDir = MakeWorkDir();
    std::printf("Round trip over a pseudo-terminal, the simulated PLC answering at once\n");
    std::printf("(logs in %s)\n", workDir.c_str());

    const BuiltTool usb = UsbTool();
    const Pair usbRuns = BurnAlternately(usb, options.runs, workDir);
    PrintPair(usb, usbRuns);

    const BuiltTool serial = SerialTool();
    const Pair serialRuns = BurnAlternately(serial, options.runs, workDir);
    PrintPair(serial, serialRuns);

    // As many blocks as the QB7 burn moves, in the peer's 128-byte blocks.
    BlockPlan plan{};
    PlanBlocks(ModelAt(FindModel(usb.model)),
               static_cast<std::uint32_t>(ReadFileBytes(usb.imagePath).size()), plan);
    const auto peerBlocks = static_cast<std::uint32_t>(plan.blockCount);
    bool ok = usbRuns.tool.AllSucceeded() && serialRuns.tool.AllSucceeded();
    if (!options.peer) {
        return ok ? 0 : 1;
    }
    std::printf(
        "\nPeer: sx to rx (lrzsz, XMODEM with CRC, 128-byte blocks), %s blocks over an "
        "identical pseudo-terminal pair, at most %.0f s\n",
        Grouped(peerBlocks).c_str(), options.peerCapSeconds);
    const PeerRun peer = RunPeer(peerBlocks, options.peerCapSeconds, workDir);
    if (!peer.error.empty()) {
        std::printf("  not run: %s\n", peer.error.c_str());
        return ok ? 0 : 1;
    }
    std::printf("  %s %s blocks in %.3f s = %s blocks/s; the receiver timed out %u times%s\n",
                peer.completed ? "moved" : "CUT OFF after",
                Grouped(static_cast<double>(peer.blocksMoved)).c_str(), peer.wallSeconds,
                Grouped(peer.BlocksPerSecond()).c_str(), peer.receiverTimeouts,
                peer.failedStarts == 0
                    ? ""
                    : ("; started again after " + std::to_string(peer.failedStarts) +
                       " start(s) that never got going")
                          .c_str());
    if (peer.BlocksPerSecond() <= 0) {
        std::printf("  the peer moved nothing within the time: no ratio\n");
        return ok ? 0 : 1;
    }
    const double clean = peer.MovingBlocksPerSecond();
    std::printf("  its pace between time-outs: %s blocks/s (%s blocks in %.3f s)\n",
                Grouped(clean).c_str(), Grouped(static_cast<double>(peer.movingBlocks)).c_str(),
                peer.movingSeconds);

    std::printf("\nRatios of blocks per second to the peer's (goal: at least %.0f)\n",
                kGoalPeerRatio);
    std::printf("  %-40s %14s %20s\n", "", "its whole run", "between time-outs");
    auto ratios = [&](const char* name, double ours, bool judged) {
        const double whole = ours / peer.BlocksPerSecond();
        const double fast = clean > 0 ? ours / clean : 0;
        std::printf("  %-40s %14.1f %20.1f%s\n", name, whole, fast,
                    !judged                   ? ""
                    : whole >= kGoalPeerRatio ? "  met"
                                              : "  NOT MET");
    };
    ratios("Serial-model build (128-byte blocks)", serialRuns.tool.MedianBlocksPerSecond(), true);
    ratios("QB7 build (256-byte blocks)", usbRuns.tool.MedianBlocksPerSecond(), false);
    ratios("plain sender (128-byte blocks)", serialRuns.plain.MedianBlocksPerSecond(), false);
    // The peer running out of time is its own affair; the exit status is the tool's.
    return ok ? 0 : 1;
}
