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
#include "ui/cli/event_pump.h"
#include "ui/cli/platform.h"
#include "ui/cli/version_info.h"

namespace norvane::cli {

namespace {

using Clock = std::chrono::steady_clock;

// How long an interrupted burn waits for its last events to be read before the
// process ends anyway: its record line is written before.
constexpr std::chrono::seconds kLastWordsLimit{3};

StatusValues Snapshot() {
    return StatusValues{elapsedTime.load(), progress.load(), flashStatus.load(), errCounter.load(),
                        totalErrCounter.load()};
}

std::int64_t SecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count();
}

// The session's side of a burn: the events it makes go into the pump.
class Session : public BurnListener {
  public:
    Session(const Options& options, std::string shown, std::string burnId, EventView& view)
        : options_(options),
          shown_(std::move(shown)),
          burnId_(std::move(burnId)),
          pump_(view),
          panel_(
              shown_, [this](JsonObject event) { pump_.Put(std::move(event)); }, Snapshot) {}

    void Prompted(const std::string& caption, const std::string& text, bool answered) override {
        pump_.Put(PromptEvent(shown_, caption, text, answered));
    }
    void HandedOver(bool found) override {
        pump_.Put(HandoverEvent(shown_, found, elapsedTime.load()));
    }
    void Waiting(const char* waitFor, std::optional<std::int64_t> secondsLeft) override {
        pump_.Put(WaitEvent(shown_, waitFor, secondsLeft));
    }
    void Ending() override { panel_.Close(); }
    void BeforeAsking() override { pump_.Drain(); }

    EventPump& pump() { return pump_; }
    PanelEvents& panel() { return panel_; }
    const std::string& shown() const { return shown_; }
    const std::string& burnId() const { return burnId_; }

    // Appends the burn's record line; it always comes before the end event.
    void Record(const CliSurroundings& s, const ImageFacts& image, const BurnEnd& end,
                Console& console) const {
        if (options_.record.empty()) {
            return;
        }
        const BurnRecordFacts facts{std::time(nullptr),
                                    platform::HostName(),
                                    shown_,
                                    s.ports().Device(),
                                    s.ports().UsbPath(),
                                    s.ports().UsbSerial(),
                                    selectedPLC,
                                    reportedTypeId.load(),
                                    reportedBootVersion.load(),
                                    image,
                                    end,
                                    burnId_,
                                    kWrittenByBurn};
        std::string error;
        if (!platform::AppendLine(options_.record, BurnRecord(facts).ToString(), error)) {
            // The burn is over and its outcome stands; the record is what is missing.
            console.PrintError(std::string(platform::CommandName()) +
                               ": warning: this burn is not recorded: " + error);
        }
    }

  private:
    const Options& options_;
    std::string shown_;
    std::string burnId_;
    EventPump pump_;
    PanelEvents panel_;
};

// The end of a burn cut short: whether its erase had begun, or the PLC at least
// waits in its bootloader.
BurnEnd InterruptedEnd(const CliSurroundings& s, Clock::time_point start) {
    const bool erasing = flashStatus.load() != kFlashIdle;
    const bool handedOver = s.handedOver();
    return BurnEnd{kCaptionInterrupted,
                   erasing      ? kInterruptedAfterErase
                   : handedOver ? kInterruptedInBootloader
                                : kInterruptedBeforeErase,
                   kExitInterrupted,
                   SecondsSince(start),
                   totalErrCounter.load(),
                   erasing,
                   handedOver};
}

// Why a port would not open (or the PLC not come back), and what to do.
void ExplainOpenFailure(const CliSurroundings& s, Console& console, bool success) {
    const std::string failure = s.ports().LastFailure();
    if (success || failure.empty()) {
        return;
    }
    console.PrintError(failure);
    if (const std::string hint = s.ports().LastFailureHint(); !hint.empty()) {
        console.PrintError(hint);
    }
}

// What a --check found, and what only the burn itself can find out.
std::string ReadyText(const CliSurroundings& s) {
    std::string text = std::string("ready to burn: a ") + selectedPLC;
    if (const std::int32_t type = reportedTypeId.load(); type >= 0) {
        text += " (type " + Hex16(static_cast<std::uint32_t>(type)) + ")";
    }
    text += s.foundInBootloader() ? " waiting in its bootloader" : " running its application";
    if (const std::int32_t version = reportedBootVersion.load(); version >= 0) {
        text += ", bootloader version " + Hex8(static_cast<std::uint32_t>(version));
    }
    return text + "; not checked before the erase: " +
           (s.foundInBootloader()
                ? "the erase and the transfer"
                : "the hand-over's own refusals, the bootloader's type and version checks, the "
                  "erase and the transfer");
}

}  // namespace

int BurnOnePlc(const Options& options, const std::string& port, Console& console, EventView& view) {
    // The port the events and the messages name: as given, or as the window names it.
    Session session(options, port.empty() ? selectedComPort.Get() : port, NewBurnId(), view);
    CliSurroundings surroundings(options, port, console, stdin, session);
    const ImageFacts image = CurrentImageFacts();
    session.pump().Put(StartEvent(session.shown(), image, session.burnId()));
    session.panel().Changed(PanelChange::Phase);  // Idle, as the burn begins
    ListenToPanel([&session](PanelChange change) { session.panel().Changed(change); });

    const Clock::time_point start = Clock::now();
    std::atomic<bool> done{false};
    BurnOutcome outcome = BurnOutcome::Failed;
    std::thread worker([&] {
        outcome = StartBurn(surroundings);
        done.store(true);
    });
    // The status panel's timer that counts the seconds; a second counted is a
    // change of the panel too.
    std::int64_t secondsCounted = 0;
    bool hangUpSeen = false;
    while (!done.load()) {
        if (!hangUpSeen && platform::HungUp()) {
            hangUpSeen = true;
            if (surroundings.HangUpEndsBurn()) {
                break;
            }
        }
        if (platform::Interrupted() || surroundings.InterruptAsked()) {
            break;
        }
        for (const std::int64_t seconds = SecondsSince(start); secondsCounted < seconds;
             ++secondsCounted) {
            if (surroundings.timerRunning()) {
                elapsedTime.fetch_add(1);
            }
            session.panel().Tick();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!done.load() || (outcome == BurnOutcome::Stopped && !surroundings.checkReady())) {
        // Interrupted: the burn's thread is left where it is; the process ends.
        session.panel().Close();
        const BurnEnd end = InterruptedEnd(surroundings, start);
        session.Record(surroundings, image, end, console);
        session.pump().Put(EndEvent(session.shown(), end, session.burnId()));
        session.pump().Drain(kLastWordsLimit);
        surroundings.ports().LetGo();
        std::_Exit(kExitInterrupted);
    }
    worker.join();
    ListenToPanel({});

    const bool success = outcome == BurnOutcome::Success;
    if (options.check) {
        const bool ready = surroundings.checkReady();
        const CheckEnd check{ready, ready ? "" : surroundings.finalCaption(),
                             ready ? ReadyText(surroundings) : surroundings.finalText(),
                             ready ? kExitSuccess : kExitBurnFailed, SecondsSince(start)};
        session.pump().Put(CheckEvent(session.shown(), check, session.burnId()));
        session.pump().Drain();
        ExplainOpenFailure(surroundings, console, ready);
        return check.exitStatus;
    }
    const BurnEnd end{surroundings.finalCaption(),
                      surroundings.finalText(),
                      success ? kExitSuccess : kExitBurnFailed,
                      SecondsSince(start),
                      surroundings.failedAttempts(),
                      surroundings.eraseBegun(),
                      surroundings.handedOver()};
    session.Record(surroundings, image, end, console);
    session.pump().Put(EndEvent(session.shown(), end, session.burnId()));
    session.pump().Drain();
    ExplainOpenFailure(surroundings, console, success);
    return end.exitStatus;
}

}  // namespace norvane::cli
