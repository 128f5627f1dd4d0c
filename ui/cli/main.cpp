// norvane-fwupdate: the burn of the Windows program, from a terminal.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "burn/burn_messages.h"
#include "burn/burn_sequence.h"
#include "burn/model_selection.h"
#include "burn/shared_values.h"
#include "port/posix/port_listing.h"
#include "ui/cli/cli_surroundings.h"
#include "ui/cli/options.h"
#include "ui/cli/version_info.h"

namespace {

using namespace norvane;
using namespace norvane::cli;

constexpr int kExitSuccess = 0;
constexpr int kExitBurnFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
    interrupted = 1;
}

bool ModelPrompts(const PlcModel& model) {
    return model.afterAppErase != AfterAppErase::Wait1;
}

void ChoosePort(const Options& options, const PlcModel& model) {
    if (model.linkKind == LinkKind::Usb) {
        selectedComPort.Set("USB");
    } else if (!options.port.empty()) {
        selectedComPort.Set(options.port);
    } else {
        const std::vector<std::string> ports = posix::ListWindowPortNames();
        selectedComPort.Set(ports.empty() ? std::string() : ports.front());
    }
}

StatusValues Snapshot() {
    return StatusValues{elapsedTime.load(), progress.load(), flashStatus.load(), errCounter.load(),
                        totalErrCounter.load()};
}

int Burn(const Options& options) {
    Console console(stdout, stderr, isatty(STDOUT_FILENO) != 0);
    CliSurroundings surroundings(options, console, stdin);
    std::atomic<bool> done{false};
    BurnOutcome outcome = BurnOutcome::Failed;
    std::thread worker([&] {
        outcome = StartBurn(surroundings);
        done.store(true);
    });
    // The status panel's two timers: a redraw every 100 ms, a second counted every 1000 ms.
    const auto start = std::chrono::steady_clock::now();
    int secondsCounted = 0;
    while (!done.load()) {
        if (interrupted != 0) {
            const bool erasing = flashStatus.load() != kFlashIdle;
            console.PrintError(erasing ? "Interrupted: the erase had begun, the PLC must be burned "
                                         "again before it can run."
                                       : "Interrupted: nothing was erased.");
            std::_Exit(kExitInterrupted);
        }
        const auto now = std::chrono::steady_clock::now();
        const int seconds =
            static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(now - start).count());
        for (; secondsCounted < seconds; ++secondsCounted) {
            if (surroundings.timerRunning()) {
                elapsedTime.fetch_add(1);
            }
        }
        console.DrawStatus(Snapshot());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    worker.join();
    const posix::OpenFailure& failure = surroundings.lastOpenFailure();
    if (outcome != BurnOutcome::Success && failure.kind != posix::OpenFailureKind::None &&
        surroundings.finalMessage().find("CANNOT open") != std::string::npos) {
        console.PrintError(posix::DescribeOpenFailure(failure));
        const std::string hint = posix::OpenFailureHint(failure);
        if (!hint.empty()) {
            console.PrintError(hint);
        }
    }
    return outcome == BurnOutcome::Success ? kExitSuccess : kExitBurnFailed;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "norvane-fwupdate: %s\nTry 'norvane-fwupdate --help'.\n",
                     error.c_str());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(UsageText(), stdout);
        return kExitSuccess;
    }
    SelectModel(ServedModelIndex(EmbeddedImageName()));
    const PlcModel& model = SelectedModel();
    if (options.version) {
        std::fputs(VersionText().c_str(), stdout);
        return kExitSuccess;
    }
    if (options.listPorts) {
        if (model.linkKind == LinkKind::Usb) {
            std::puts("USB");
        } else {
            for (const std::string& port : posix::ListWindowPortNames()) {
                std::puts(port.c_str());
            }
        }
        return kExitSuccess;
    }
    if (ModelPrompts(model) && !options.yes && isatty(STDIN_FILENO) == 0) {
        std::fprintf(stderr,
                     "norvane-fwupdate: a %s asks you to %s during the burn, and there is no "
                     "terminal to answer on.\nRun it from a terminal, or pass --yes to answer "
                     "at once.\n",
                     model.name,
                     model.afterAppErase == AfterAppErase::PowerCycle ? "power it off and on"
                                                                      : "replug its USB cable");
        return kExitUsage;
    }
    ChoosePort(options, model);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return Burn(options);
}
