#include "ui/cli/burn_events.h"

namespace norvane::cli {

JsonObject NewEvent(const char* kind, const std::string& port) {
    JsonObject event;
    event.Set("event", kind).Set("port", port);
    return event;
}

JsonObject StartEvent(const std::string& port, const ImageFacts& facts) {
    JsonObject event = NewEvent(kEventStart, port);
    event.Set("version", facts.version)
        .Set("model", facts.model)
        .Set("image", facts.image)
        .Set("image_size", static_cast<std::int64_t>(facts.size))
        .Set("sha256", facts.sha256);
    return event;
}

JsonObject PromptEvent(const std::string& port, const std::string& caption,
                       const std::string& message, bool answered) {
    JsonObject event = NewEvent(kEventPrompt, port);
    event.Set("caption", caption).Set("message", message).Set("answered", answered);
    return event;
}

JsonObject EndEvent(const std::string& port, const BurnEnd& end) {
    JsonObject event = NewEvent(kEventEnd, port);
    event.Set("caption", end.caption)
        .Set("message", end.message)
        .Set("exit_status", static_cast<std::int64_t>(end.exitStatus))
        .Set("seconds", end.seconds)
        .Set("errors_total", end.errorsTotal)
        .Set("erase_begun", end.eraseBegun);
    return event;
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

}  // namespace

std::vector<JsonObject> PanelWatcher::PhaseStarted(const StatusValues& v) const {
    JsonObject phase = NewEvent(kEventPhase, port_);
    phase.Set("phase", PhaseWord(v.flashStatus))
        .Set("seconds", static_cast<std::int64_t>(v.elapsedTime));
    return {phase, ProgressEvent(port_, v)};
}

std::vector<JsonObject> PanelWatcher::Tick(const StatusValues& v) {
    std::vector<JsonObject> events;
    if (!first_ && v.totalErrCounter > last_.totalErrCounter) {
        JsonObject event = NewEvent(kEventRetry, port_);
        event.Set("errors", static_cast<std::int64_t>(v.errCounter))
            .Set("errors_total", static_cast<std::int64_t>(v.totalErrCounter))
            .Set("seconds", static_cast<std::int64_t>(v.elapsedTime));
        events.push_back(std::move(event));
    }
    if (first_ || v.flashStatus != last_.flashStatus || v.progress != last_.progress ||
        v.elapsedTime != last_.elapsedTime || v.errCounter != last_.errCounter ||
        v.totalErrCounter != last_.totalErrCounter) {
        events.push_back(ProgressEvent(port_, v));
    }
    first_ = false;
    last_ = v;
    return events;
}

}  // namespace norvane::cli
