#include "ui/cli/burn_session.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "burn/burn_context.h"
#include "burn/burn_sequence.h"
#include "burn/shared_values.h"
#include "ui/cli/burn_events.h"
#include "ui/cli/burn_record.h"
#include "ui/cli/cli_surroundings.h"
#include "ui/cli/platform.h"
#include "ui/cli/version_info.h"

namespace norvane::cli {

namespace {

using Clock = std::chrono::steady_clock;

StatusValues Snapshot() {
    return StatusValues{elapsedTime.load(), progress.load(), flashStatus.load(), errCounter.load(),
                        totalErrCounter.load()};
}

std::int64_t SecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count();
}

void Record(const Options& options, const std::string& port, const CliSurroundings& s,
            const ImageFacts& image, const BurnEnd& end, Console& console) {
    if (options.record.empty()) {
        return;
    }
    const BurnRecordFacts facts{std::time(nullptr),
                                platform::HostName(),
                                port,
                                s.ports().Device(),
                                s.ports().UsbPath(),
                                s.ports().UsbSerial(),
                                selectedPLC,
                                reportedTypeId.load(),
                                reportedBootVersion.load(),
                                image,
                                end};
    std::string error;
    if (!platform::AppendLine(options.record, BurnRecord(facts).ToString(), error)) {
        // The burn is over and its outcome stands; the record is what is missing.
        console.PrintError(std::string(platform::CommandName()) +
                           ": warning: this burn is not recorded: " + error);
    }
}

}  // namespace

int BurnOnePlc(const Options& options, const std::string& port, Console& console, EventView& view) {
    // The port the events and the messages name: as given, or as the window names it.
    const std::string shown = port.empty() ? selectedComPort.Get() : port;
    std::atomic<bool> eraseBegun{false};
    CliSurroundings surroundings(
        options, port, console, stdin,
        [&](const std::string& caption, const std::string& text, bool prompt) {
            if (prompt) {
                view.Show(PromptEvent(shown, caption, text, options.yes));
            } else {
                eraseBegun.store(flashStatus.load() != kFlashIdle);
            }
        });
    const ImageFacts image = CurrentImageFacts();
    view.Show(StartEvent(shown, image));
    PanelWatcher watcher(shown);
    // Phases can begin and end between two ticks of the panel's timer: they are
    // told as they start.
    const auto showPhase = [&watcher, &view](std::int32_t) {
        for (const JsonObject& event : watcher.PhaseStarted(Snapshot())) {
            view.Show(event);
        }
    };
    showPhase(kFlashIdle);
    ListenToPhases(showPhase);

    const Clock::time_point start = Clock::now();
    std::atomic<bool> done{false};
    BurnOutcome outcome = BurnOutcome::Failed;
    std::thread worker([&] {
        outcome = StartBurn(surroundings);
        done.store(true);
    });
    // The status panel's two timers: a redraw every 100 ms, a second counted every 1000 ms.
    std::int64_t secondsCounted = 0;
    while (!done.load()) {
        if (platform::Interrupted()) {
            const bool erasing = flashStatus.load() != kFlashIdle;
            const BurnEnd end{
                kCaptionInterrupted,    erasing ? kInterruptedAfterErase : kInterruptedBeforeErase,
                kExitInterrupted,       SecondsSince(start),
                totalErrCounter.load(), erasing};
            view.Show(EndEvent(shown, end));
            Record(options, shown, surroundings, image, end, console);
            std::_Exit(kExitInterrupted);
        }
        for (const std::int64_t seconds = SecondsSince(start); secondsCounted < seconds;
             ++secondsCounted) {
            if (surroundings.timerRunning()) {
                elapsedTime.fetch_add(1);
            }
        }
        if (!done.load()) {
            for (const JsonObject& event : watcher.Tick(Snapshot())) {
                view.Show(event);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    worker.join();
    ListenToPhases({});

    const bool success = outcome == BurnOutcome::Success;
    const BurnEnd end{surroundings.finalCaption(),
                      surroundings.finalText(),
                      success ? kExitSuccess : kExitBurnFailed,
                      SecondsSince(start),
                      surroundings.failedAttempts(),
                      eraseBegun.load()};
    view.Show(EndEvent(shown, end));
    // Why a port would not open (or the PLC not come back), and what to do.
    const std::string failure = surroundings.ports().LastFailure();
    if (!success && !failure.empty()) {
        console.PrintError(failure);
        const std::string hint = surroundings.ports().LastFailureHint();
        if (!hint.empty()) {
            console.PrintError(hint);
        }
    }
    Record(options, shown, surroundings, image, end, console);
    return end.exitStatus;
}

}  // namespace norvane::cli
