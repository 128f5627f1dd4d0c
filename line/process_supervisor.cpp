#include "line/process_supervisor.h"

#include <thread>

#include "burn/flash_phase.h"
#include "line/burn_record.h"
#include "line/end_texts.h"
#include "line/event_json.h"
#include "line/exit_status.h"
#include "line/machine.h"
#include "line/run_image.h"
#include "line/warnings.h"

namespace norvane::line {

namespace {

constexpr std::chrono::milliseconds kSilenceLookEvery{250};
// The burns' lines are taken at most this often: a progress shown this much
// later is shown as soon to an operator.
constexpr std::chrono::milliseconds kGatherEvery{20};

}  // namespace

struct ProcessSupervisor::Burn {
    using Clock = std::chrono::steady_clock;

    std::string port;
    std::shared_ptr<const RunImage> image;  // its bytes feed the child's input
    machine::PortCheck check;
    std::unique_ptr<machine::Child> child;
    std::thread reader;
    Clock::time_point started = Clock::now();
    Clock::time_point lastHeard = started;  // its last sign of progress on the line
    ProgressSeen progress;
    std::string burnId;       // from its start event
    bool ended = false;       // its end (or check) event came
    bool eraseBegun = false;  // an event of it showed the erase or the transfer
    bool handedOver = false;  // an event of it showed the PLC in its bootloader
    std::int64_t errorsTotal = 0;
    BurnOver over{kExitBurnFailed, OutcomeCode::ProcessLost, ""};
    std::string endedBy;  // why its process was ended from here, when it was
    OutcomeCode endedFor = OutcomeCode::ProcessLost;

    // What the burn's own events say about its PLC.
    void Follow(const BurnEvent& event);
    // The end of a burn whose process could not tell it: its record line
    // (written here, with what this process saw) and its end event (a check
    // event for --check). Once its events showed the PLC handed over or its
    // erase under way, the user is told that the PLC must be burned again.
    BurnEvent EndWithoutBurn(const BurnSettings& settings, std::string why, OutcomeCode outcome);
};

bool ProgressSeen::Moved(const BurnEvent& event) {
    if (event.kind() != EventKind::Progress) {
        return true;
    }
    ProgressFields now = event.Get<ProgressFields>();
    now.seconds = 0;
    const bool moved = !last_ || last_->phase != now.phase || last_->percent != now.percent ||
                       last_->errors != now.errors || last_->errorsTotal != now.errorsTotal;
    last_ = now;
    return moved;
}

void ProcessSupervisor::Burn::Follow(const BurnEvent& event) {
    if (progress.Moved(event)) {
        lastHeard = Clock::now();
    }
    switch (event.kind()) {
        case EventKind::Start:
            burnId = event.Get<StartFields>().burnId;
            break;
        case EventKind::Phase:
            eraseBegun = eraseBegun || event.Get<PhaseFields>().phase != kFlashIdle;
            break;
        case EventKind::Progress:
            eraseBegun = eraseBegun || event.Get<ProgressFields>().phase != kFlashIdle;
            errorsTotal = event.Get<ProgressFields>().errorsTotal;
            break;
        case EventKind::Retry:
            errorsTotal = event.Get<RetryFields>().errorsTotal;
            break;
        case EventKind::Prompt:
        case EventKind::Handover:
        case EventKind::Wait:
            handedOver = true;
            break;
        case EventKind::End: {
            const EndFields& end = event.Get<EndFields>();
            ended = true;
            over = BurnOver{end.exitStatus, end.outcome, end.message};
            break;
        }
        case EventKind::Check: {
            const CheckFields& checked = event.Get<CheckFields>();
            ended = true;
            over = BurnOver{checked.exitStatus, checked.outcome, checked.message};
            break;
        }
        case EventKind::Identify:
        case EventKind::Port:
        case EventKind::Socket:
        case EventKind::Station:
            break;  // never a burn's
    }
}

BurnEvent ProcessSupervisor::Burn::EndWithoutBurn(const BurnSettings& settings, std::string why,
                                                  OutcomeCode outcome) {
    if (eraseBegun) {
        why += std::string("; ") + kInterruptedAfterErase;
    } else if (handedOver) {
        why += std::string("; ") + kLostInBootloader;
    }
    if (burnId.empty()) {
        burnId = NewBurnId();
    }
    ended = true;
    over = BurnOver{kExitBurnFailed, outcome, why};
    const std::int64_t seconds =
        child ? std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started).count()
              : 0;
    if (settings.check) {
        return BurnEvent{
            port, CheckFields{false, "ERROR", why, kExitBurnFailed, seconds, burnId, outcome}};
    }
    const EndFields end{"ERROR",    why,        kExitBurnFailed, seconds, errorsTotal,
                        eraseBegun, handedOver, burnId,          outcome};
    if (!settings.record.empty()) {
        const RecordPlace place{port, check.device, check.usbPath, check.usbSerial};
        std::string error;
        if (!machine::AppendLine(
                settings.record,
                RecordLine(end, place, PlcReport{}, FactsOf(*image), WrittenBy::Parent), error)) {
            WarnNotRecorded("the burn on " + port + " is not recorded: " + error);
        }
    }
    return BurnEvent{port, end};
}

ProcessSupervisor::ProcessSupervisor(BurnSettings settings, std::chrono::seconds silenceLimit)
    : settings_(std::move(settings)), silenceLimit_(silenceLimit) {}

ProcessSupervisor::~ProcessSupervisor() {
    for (auto& [index, burn] : burns_) {
        burn->child->Kill();
        burn->reader.join();
    }
}

void ProcessSupervisor::Start(const std::string& port, bool awaitReplug,
                              std::shared_ptr<const RunImage> image) {
    auto burn = std::make_unique<Burn>();
    burn->port = port;
    burn->image = std::move(image);
    burn->check = machine::CheckPort(port);
    std::string error;
    burn->child = machine::StartChild(ChildCommand(settings_, port, awaitReplug, *burn->image),
                                      burn->image->bytes, error);
    if (!burn->child) {
        BurnEvent end = burn->EndWithoutBurn(settings_, "the burn could not be started: " + error,
                                             OutcomeCode::NotStarted);
        news_.push_back(BurnNews{port, std::move(end), burn->over});
        return;
    }
    const std::size_t index = nextBurn_++;
    burn->reader = std::thread([this, index, &child = *burn->child] {
        std::string pending;
        char buffer[4096];
        for (std::size_t n = 0; (n = child.Read(buffer, sizeof buffer)) > 0;) {
            pending.append(buffer, n);
            std::lock_guard<std::mutex> lock(mutex_);
            for (std::size_t eol = 0; (eol = pending.find('\n')) != std::string::npos;) {
                inbox_.push_back(Said{index, pending.substr(0, eol)});
                pending.erase(0, eol + 1);
            }
            if (listening_) {
                said_.notify_one();
            }
        }
        std::lock_guard<std::mutex> lock(mutex_);
        inbox_.push_back(Said{index, std::nullopt});
        if (listening_) {
            said_.notify_one();
        }
    });
    burns_[index] = std::move(burn);
}

std::optional<BurnNews> ProcessSupervisor::Told() {
    if (news_.empty()) {
        return std::nullopt;
    }
    BurnNews news = std::move(news_.front());
    news_.pop_front();
    return news;
}

void ProcessSupervisor::Heard(Said said) {
    Burn& burn = *burns_.at(said.burn);
    if (said.line) {
        // A line that is no event of its port is not passed on.
        std::optional<BurnEvent> event = ReadEventLine(*said.line);
        if (event && event->port == burn.port) {
            burn.Follow(*event);
            news_.push_back(BurnNews{burn.port, std::move(*event), std::nullopt});
        }
        return;
    }
    // Its output ended: its process has, or is about to.
    burn.reader.join();
    const int status = burn.child->Wait();
    std::optional<BurnEvent> end;
    if (!burn.ended) {
        // It ended without saying how its burn ended: it did not finish it.
        const std::string how = !burn.endedBy.empty() ? burn.endedBy
                                : status < 0          ? "ended by a signal"
                                             : "ended with exit status " + std::to_string(status);
        end = burn.EndWithoutBurn(settings_, "the burn's process " + how + " before the burn ended",
                                  burn.endedFor);
    }
    news_.push_back(BurnNews{burn.port, std::move(end), burn.over});
    burns_.erase(said.burn);  // a station burns for days: its process and pipe go now
}

void ProcessSupervisor::EndSilentBurns() {
    const Burn::Clock::time_point now = Burn::Clock::now();
    if (now < nextSilenceLook_) {
        return;
    }
    nextSilenceLook_ = now + kSilenceLookEvery;
    for (auto& [index, burn] : burns_) {
        if (!burn->ended && burn->endedBy.empty() && now - burn->lastHeard > silenceLimit_) {
            burn->endedBy =
                "said nothing for " + std::to_string(silenceLimit_.count()) + " s and was ended";
            burn->endedFor = OutcomeCode::Silent;
            burn->child->Kill();  // its output ending finishes it
        }
    }
}

std::optional<BurnNews> ProcessSupervisor::Next(std::chrono::milliseconds wait) {
    EndSilentBurns();
    if (std::optional<BurnNews> news = Told()) {
        return news;
    }
    std::deque<Said> said;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const Burn::Clock::time_point until = Burn::Clock::now() + wait;
        for (;;) {
            const Burn::Clock::time_point now = Burn::Clock::now();
            if (woken_ || (!inbox_.empty() && now >= nextGather_) || now >= until) {
                break;
            }
            // What the burns say is gathered, not taken line by line: with many
            // burns at once every line would wake this loop. Lines that come
            // before the next gathering wake nobody; a wake from beside does.
            const bool gathering = !inbox_.empty();
            listening_ = !gathering;
            said_.wait_until(lock, gathering ? std::min(until, nextGather_) : until);
            listening_ = false;
        }
        woken_ = false;
        said.swap(inbox_);
        if (!said.empty()) {
            nextGather_ = Burn::Clock::now() + kGatherEvery;
        }
    }
    for (Said& one : said) {
        Heard(std::move(one));
    }
    return Told();
}

std::size_t ProcessSupervisor::Running() const {
    std::size_t told = 0;
    for (const BurnNews& news : news_) {
        told += news.over ? 1 : 0;
    }
    return burns_.size() + told;
}

void ProcessSupervisor::Wake() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
    }
    said_.notify_one();
}

void ProcessSupervisor::InterruptAll() {
    for (auto& [index, burn] : burns_) {
        if (!burn->ended) {
            burn->child->Interrupt();
        }
    }
}

void ProcessSupervisor::HangUpAll() {
    for (auto& [index, burn] : burns_) {
        burn->child->HangUp();
    }
}

}  // namespace norvane::line
