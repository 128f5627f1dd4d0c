#include "ui/cli/burn_events.h"

#include <chrono>
#include <random>

namespace norvane::cli {

JsonObject NewEvent(const char* kind, const std::string& port) {
    JsonObject event;
    event.Set("event", kind).Set("port", port);
    return event;
}

JsonObject StartEvent(const std::string& port, const ImageFacts& facts, const std::string& burnId) {
    JsonObject event = NewEvent(kEventStart, port);
    event.Set("version", facts.version)
        .Set("model", facts.model)
        .Set("image", facts.image)
        .Set("image_size", static_cast<std::int64_t>(facts.size))
        .Set("sha256", facts.sha256)
        .Set("burn_id", burnId);
    return event;
}

JsonObject PromptEvent(const std::string& port, const std::string& caption,
                       const std::string& message, bool answered) {
    JsonObject event = NewEvent(kEventPrompt, port);
    event.Set("caption", caption).Set("message", message).Set("answered", answered);
    return event;
}

JsonObject HandoverEvent(const std::string& port, bool found, std::int64_t seconds) {
    JsonObject event = NewEvent(kEventHandover, port);
    event.Set("found", found).Set("seconds", seconds);
    return event;
}

JsonObject WaitEvent(const std::string& port, const char* waitFor,
                     std::optional<std::int64_t> secondsLeft) {
    JsonObject event = NewEvent(kEventWait, port);
    event.Set("for", waitFor);
    if (secondsLeft) {
        event.Set("seconds_left", *secondsLeft);
    } else {
        event.SetNull("seconds_left");
    }
    return event;
}

JsonObject EndEvent(const std::string& port, const BurnEnd& end, const std::string& burnId) {
    JsonObject event = NewEvent(kEventEnd, port);
    event.Set("caption", end.caption)
        .Set("message", end.message)
        .Set("exit_status", static_cast<std::int64_t>(end.exitStatus))
        .Set("seconds", end.seconds)
        .Set("errors_total", end.errorsTotal)
        .Set("erase_begun", end.eraseBegun)
        .Set("handed_over", end.handedOver)
        .Set("burn_id", burnId);
    return event;
}

JsonObject CheckEvent(const std::string& port, const CheckEnd& end, const std::string& burnId) {
    JsonObject event = NewEvent(kEventCheck, port);
    event.Set("ready", end.ready)
        .SetTextOrNull("caption", end.caption)
        .Set("message", end.message)
        .Set("exit_status", static_cast<std::int64_t>(end.exitStatus))
        .Set("seconds", end.seconds)
        .Set("burn_id", burnId);
    return event;
}

std::string NewBurnId() {
    std::random_device device;
    std::seed_seq seed{
        device(), device(), device(), device(),
        static_cast<unsigned>(std::chrono::system_clock::now().time_since_epoch().count())};
    std::mt19937_64 random(seed);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string id;
    for (int half = 0; half < 2; ++half) {
        std::uint64_t bits = random();
        for (int i = 0; i < 16; ++i, bits >>= 4) {
            id += kDigits[bits & 0xF];
        }
    }
    return id;
}

namespace {

JsonObject ProgressEvent(const std::string& port, const StatusValues& v) {
    JsonObject event = NewEvent(kEventProgress, port);
    event.Set("phase", PhaseWord(v.flashStatus))
        .Set("percent", static_cast<std::int64_t>(v.progress))
        .Set("errors", static_cast<std::int64_t>(v.errCounter))
        .Set("errors_total", static_cast<std::int64_t>(v.totalErrCounter))
        .Set("seconds", static_cast<std::int64_t>(v.elapsedTime));
    return event;
}

bool operator==(const StatusValues& a, const StatusValues& b) {
    return a.elapsedTime == b.elapsedTime && a.progress == b.progress &&
           a.flashStatus == b.flashStatus && a.errCounter == b.errCounter &&
           a.totalErrCounter == b.totalErrCounter;
}

}  // namespace

void PanelEvents::ProgressLocked(const StatusValues& v) {
    if (!last_ || !(*last_ == v)) {
        last_ = v;
        sink_(ProgressEvent(port_, v));
    }
}

void PanelEvents::Changed(PanelChange change) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) {
        return;
    }
    const StatusValues v = read_();
    if (change == PanelChange::Phase) {
        JsonObject phase = NewEvent(kEventPhase, port_);
        phase.Set("phase", PhaseWord(v.flashStatus))
            .Set("seconds", static_cast<std::int64_t>(v.elapsedTime));
        sink_(std::move(phase));
    } else if (change == PanelChange::FailedAttempt) {
        JsonObject retry = NewEvent(kEventRetry, port_);
        retry.Set("errors", static_cast<std::int64_t>(v.errCounter))
            .Set("errors_total", static_cast<std::int64_t>(v.totalErrCounter))
            .Set("seconds", static_cast<std::int64_t>(v.elapsedTime));
        sink_(std::move(retry));
    }
    ProgressLocked(v);
}

void PanelEvents::Tick() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!closed_) {
        ProgressLocked(read_());
    }
}

void PanelEvents::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
}

}  // namespace norvane::cli
