#include "ui/cli/plc_row.h"

#include <cstdio>

#include "ui/cli/burn_events.h"

namespace norvane::cli {

namespace {

// The transfer's end is estimated from its pace once it has run this long.
constexpr std::chrono::seconds kEstimateAfter{2};

std::string Ended(const JsonObject& event) {
    return event.Text("caption") + ": " + event.Text("message");
}

}  // namespace

std::string TimeLeft(std::int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld left", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

void PlcRow::Apply(const JsonObject& event, Clock::time_point now) {
    const std::string kind = event.Text("event");
    if (kind == kEventStart) {
        std::string before = std::move(before_);
        *this = PlcRow{};
        before_ = std::move(before);
    } else if (kind == kEventProgress || kind == kEventPhase || kind == kEventRetry) {
        const std::int32_t phase =
            event.Has("phase") ? PhaseOfWord(event.Text("phase")) : values_.flashStatus;
        const auto number = [&event](const char* key, std::int32_t was) {
            return event.Has(key) ? static_cast<std::int32_t>(event.Number(key)) : was;
        };
        const std::int32_t percent = number("percent", values_.progress);
        if (phase != kFlashIdle) {
            state_ = State::Working;  // a wait is over once the flash is worked on
        }
        if (phase == kFlashProgramming && !programmingSince_) {
            programmingSince_ = now;
        }
        if (percent != values_.progress) {
            lastPercentAt_ = now;
        }
        values_ = StatusValues{number("seconds", values_.elapsedTime), percent, phase,
                               number("errors", values_.errCounter),
                               number("errors_total", values_.totalErrCounter)};
    } else if (kind == kEventPrompt) {
        if (!event.Flag("answered")) {
            state_ = State::Waiting;
            waitFor_ = event.Text("message").find("REPLUG") != std::string::npos ? kWaitReplug
                                                                                 : kWaitPowerCycle;
            waitLeft_.reset();
        }
    } else if (kind == kEventWait) {
        state_ = State::Waiting;
        waitFor_ = event.Text("for");
        waitLeft_.reset();
        if (event.TypeOf("seconds_left") == JsonObject::Type::Number) {
            waitLeft_ = event.Number("seconds_left");
        }
        waitSince_ = now;
    } else if (kind == kEventHandover) {
        if (state_ != State::Waiting) {
            state_ = State::Working;
        }
    } else if (kind == kEventSocket) {
        const std::string state = event.Text("state");
        if (state == "empty") {
            *this = PlcRow{};
            state_ = State::Empty;
        } else if (state == "working") {
            before_ = event.Text("message");
        } else {
            state_ = State::Attention;
            note_ = event.Text("message");
        }
    } else if (kind == kEventEnd || kind == kEventCheck) {
        ended_ = event.Flag("ready") ? event.Text("message") : Ended(event);
        const std::int64_t status = event.Number("exit_status");
        state_ = status == 0 ? State::Done : status == 1 ? State::Failed : State::Interrupted;
    }
}

std::optional<std::int64_t> PlcRow::SecondsLeft(Clock::time_point now) const {
    if (values_.flashStatus != kFlashProgramming || !programmingSince_ || values_.progress <= 0 ||
        values_.progress >= 100 || lastPercentAt_ - *programmingSince_ < kEstimateAfter) {
        return std::nullopt;
    }
    const double spent = std::chrono::duration<double>(lastPercentAt_ - *programmingSince_).count();
    const double total = spent * 100.0 / values_.progress;
    const double since = std::chrono::duration<double>(now - lastPercentAt_).count();
    const double left = total - spent - since;
    return static_cast<std::int64_t>(left < 0 ? 0 : left + 0.5);
}

std::string PlcRow::WaitText(Clock::time_point now) const {
    std::optional<std::int64_t> left = waitLeft_;
    if (left) {
        const auto passed =
            std::chrono::duration_cast<std::chrono::seconds>(now - waitSince_).count();
        left = *left > passed ? *left - passed : 0;
    }
    const std::string seconds = left ? std::to_string(*left) + " s" : "";
    if (waitFor_ == kWaitReplug) {
        return "replug the USB cable now";
    }
    if (waitFor_ == kWaitPowerCycle) {
        return "power the PLC off and on now";
    }
    if (waitFor_ == kWaitRestart) {
        return "PLC restarting: " + seconds;
    }
    if (waitFor_ == kWaitReconnect) {
        return "waiting for the PLC: " + seconds + " left";
    }
    return "waiting";
}

std::string PlcRow::Detail(Clock::time_point now) const {
    if (state_ == State::Waiting) {
        return WaitText(now);
    }
    const std::optional<std::int64_t> left = SecondsLeft(now);
    return left ? TimeLeft(*left) : "";
}

std::string PlcRow::Text(Clock::time_point now, std::size_t columns) const {
    switch (state_) {
        case State::Empty:
            return "empty";
        case State::Done:
        case State::Failed:
        case State::Interrupted:
            return FitTo(ended_, columns);
        case State::Waiting:
            return FitTo(WaitText(now), columns);
        case State::Attention:
            return FitTo(note_, columns);
        case State::Working:
            break;
    }
    char phase[32];
    char errors[48];
    char seconds[16];
    std::snprintf(phase, sizeof phase, "%-11s %3d %%", PhaseWord(values_.flashStatus),
                  values_.progress);
    std::snprintf(errors, sizeof errors, "errors %d/%d", values_.errCounter,
                  values_.totalErrCounter);
    std::snprintf(seconds, sizeof seconds, "%4d s", values_.elapsedTime);
    const std::string left = Detail(now);
    return FirstThatFits(
        {Joined({phase, errors, seconds, left, before_}), Joined({phase, errors, seconds, left}),
         Joined({phase, errors, left}), Joined({phase, left})},
        columns);
}

}  // namespace norvane::cli
