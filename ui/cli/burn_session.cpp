#include "ui/cli/burn_session.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include "burn/burn_context.h"
#include "burn/burn_sequence.h"
#include "burn/outcome_code.h"
#include "burn/shared_values.h"
#include "line/burn_record.h"
#include "line/end_texts.h"
#include "line/event_pump.h"
#include "line/exit_status.h"
#include "line/panel_events.h"
#include "line/run_image.h"
#include "ui/cli/cli_surroundings.h"
#include "ui/cli/platform.h"
#include "ui/cli/start_check.h"

namespace norvane::cli {

namespace {

using Clock = std::chrono::steady_clock;
using line::BurnEvent;

// How long an interrupted burn waits for its last events to be read before the
// process ends anyway: its record line is written before.
constexpr std::chrono::seconds kLastWordsLimit{3};

line::PanelValues Snapshot() {
    return line::PanelValues{elapsedTime.load(), progress.load(), flashStatus.load(),
                             errCounter.load(), totalErrCounter.load()};
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
              shown_, [this](BurnEvent event) { pump_.Put(std::move(event)); }, Snapshot) {}

    void Prompted(const std::string& caption, const std::string& text, bool answered,
                  line::WaitFor waitFor) override {
        Put(line::PromptFields{caption, text, answered, waitFor});
    }
    void HandedOver(bool found) override { Put(line::HandoverFields{found, elapsedTime.load()}); }
    void Waiting(line::WaitFor waitFor, std::optional<std::int64_t> secondsLeft) override {
        Put(line::WaitFields{waitFor, secondsLeft});
    }
    void Ending() override { panel_.Close(); }
    void BeforeAsking() override { pump_.Drain(); }

    void Put(line::EventFields fields) { pump_.Put(BurnEvent{shown_, std::move(fields)}); }
    line::EventPump& pump() { return pump_; }
    line::PanelEvents& panel() { return panel_; }
    const std::string& shown() const { return shown_; }
    const std::string& burnId() const { return burnId_; }

    // Appends the burn's record line; it always comes before the end event.
    void Record(const CliSurroundings& s, const line::EndFields& end, Console& console) const {
        if (options_.record.empty()) {
            return;
        }
        const line::RecordPlace place{shown_, s.ports().Device(), s.ports().UsbPath(),
                                      s.ports().UsbSerial()};
        const line::PlcReport report{reportedTypeId.load(), reportedBootVersion.load()};
        std::string error;
        if (!line::machine::AppendLine(
                options_.record,
                line::RecordLine(end, place, report, line::CurrentImageFacts(),
                                 line::WrittenBy::Burn),
                error)) {
            // The burn is over and its outcome stands; the record is what is missing.
            console.PrintError(std::string(platform::CommandName()) +
                               ": warning: this burn is not recorded: " + error);
        }
    }

  private:
    const Options& options_;
    std::string shown_;
    std::string burnId_;
    line::EventPump pump_;
    line::PanelEvents panel_;
};

// The end of a burn cut short: whether its erase had begun, or the PLC at least
// waits in its bootloader.
line::EndFields InterruptedEnd(const CliSurroundings& s, Clock::time_point start,
                               const std::string& burnId) {
    const bool erasing = flashStatus.load() != kFlashIdle;
    const bool handedOver = s.handedOver();
    return line::EndFields{line::kCaptionInterrupted,
                           erasing      ? line::kInterruptedAfterErase
                           : handedOver ? line::kInterruptedInBootloader
                                        : line::kInterruptedBeforeErase,
                           line::kExitInterrupted,
                           SecondsSince(start),
                           totalErrCounter.load(),
                           erasing,
                           handedOver,
                           burnId,
                           OutcomeCode::Interrupted};
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

// The panel's changes, passed from the burn's thread to the session while it is
// there: an interrupted burn's thread is left running after the session is gone.
class PanelRelay {
  public:
    explicit PanelRelay(Session& session) : session_(&session) {}
    void Changed(PanelChange change) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (session_ != nullptr) {
            session_->panel().Changed(change);
        }
    }
    // Once a change being passed has been: nothing more reaches the session.
    void Stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        session_ = nullptr;
    }

  private:
    std::mutex mutex_;
    Session* session_;
};

// What a --check found, and what only the burn itself can find out.
std::string ReadyText(const CliSurroundings& s) {
    std::string text = std::string("ready to burn: a ") + selectedPLC;
    if (const std::int32_t type = reportedTypeId.load(); type >= 0) {
        text += " (type " + line::Hex16(static_cast<std::uint32_t>(type)) + ")";
    }
    text += s.foundInBootloader() ? " waiting in its bootloader" : " running its application";
    if (const std::int32_t version = reportedBootVersion.load(); version >= 0) {
        text += ", bootloader version " + line::Hex8(static_cast<std::uint32_t>(version));
    }
    return text + "; not checked before the erase: " +
           (s.foundInBootloader()
                ? "the erase and the transfer"
                : "the hand-over's own refusals, the bootloader's type and version checks, the "
                  "erase and the transfer");
}

}  // namespace

BurnResult BurnOnePlc(const Options& options, const std::string& port, Console& console,
                      EventView& view) {
    // The port the events and the messages name: as given, or as the window names it.
    Session session(options, port.empty() ? selectedComPort.Get() : port, line::NewBurnId(), view);
    CliSurroundings surroundings(options, port, console, stdin, session);
    const line::ImageFacts image = line::CurrentImageFacts();
    session.Put(line::StartFields{image.version, image.model, image.image, image.size, image.sha256,
                                  session.burnId()});
    session.panel().Changed(PanelChange::Phase);  // Idle, as the burn begins
    const auto relay = std::make_shared<PanelRelay>(session);
    ListenToPanel([relay](PanelChange change) { relay->Changed(change); });

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
        // Interrupted: the burn's thread is left where it is, for the process to
        // end; what it changes from now on is no longer shown.
        relay->Stop();
        session.panel().Close();
        const line::EndFields end = InterruptedEnd(surroundings, start, session.burnId());
        session.Record(surroundings, end, console);
        session.Put(end);
        session.pump().Drain(kLastWordsLimit);
        surroundings.ports().LetGo();
        worker.detach();
        return BurnResult{line::kExitInterrupted, true};
    }
    worker.join();
    ListenToPanel({});

    const bool success = outcome == BurnOutcome::Success;
    const std::string text = surroundings.finalText();
    if (options.check) {
        const bool ready = surroundings.checkReady();
        const line::CheckFields check{ready,
                                      ready ? "" : surroundings.finalCaption(),
                                      ready ? ReadyText(surroundings) : text,
                                      ready ? line::kExitSuccess : line::kExitBurnFailed,
                                      SecondsSince(start),
                                      session.burnId(),
                                      ready ? OutcomeCode::Ready : OutcomeOfMessage(text)};
        session.Put(check);
        session.pump().Drain();
        ExplainOpenFailure(surroundings, console, ready);
        return BurnResult{check.exitStatus, false};
    }
    // The proof that it took, where asked for: the burn is over, and only
    // requests that read are sent.
    const std::string notStarted = success && options.verify
                                       ? SeeItStart(surroundings, options, session.shown(), session)
                                       : "";
    const bool started = notStarted.empty();
    const line::EndFields end{started ? surroundings.finalCaption() : "ERROR",
                              started ? text : notStarted,
                              success && started ? line::kExitSuccess : line::kExitBurnFailed,
                              SecondsSince(start),
                              surroundings.failedAttempts(),
                              surroundings.eraseBegun(),
                              surroundings.handedOver(),
                              session.burnId(),
                              started ? OutcomeOfMessage(text) : OutcomeCode::NotRunning,
                              success && options.verify && started};
    session.Record(surroundings, end, console);
    session.Put(end);
    session.pump().Drain();
    ExplainOpenFailure(surroundings, console, success);
    return BurnResult{end.exitStatus, false};
}

}  // namespace norvane::cli
