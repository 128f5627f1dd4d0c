#include "ui/cli/plc_row.h"

#include <cstdio>

#include "line/exit_status.h"

namespace norvane::cli {

namespace {

// The transfer's end is estimated from its pace once it has run this long.
constexpr std::chrono::seconds kEstimateAfter{2};

}  // namespace

std::string TimeLeft(std::int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld left", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

void PlcRow::Apply(const line::BurnEvent& event, Clock::time_point now) {
    using line::EventKind;
    switch (event.kind()) {
        case EventKind::Start: {
            std::string before = std::move(before_);
            *this = PlcRow{};
            before_ = std::move(before);
            break;
        }
        case EventKind::Phase:
            Values(event.Get<line::PhaseFields>().phase, values_.progress, values_.errCounter,
                   values_.totalErrCounter, event.Get<line::PhaseFields>().seconds, now);
            break;
        case EventKind::Progress: {
            const auto& p = event.Get<line::ProgressFields>();
            Values(p.phase, p.percent, p.errors, p.errorsTotal, p.seconds, now);
            break;
        }
        case EventKind::Retry: {
            const auto& r = event.Get<line::RetryFields>();
            Values(values_.flashStatus, values_.progress, r.errors, r.errorsTotal, r.seconds, now);
            break;
        }
        case EventKind::Prompt:
            if (!event.Get<line::PromptFields>().answered) {
                state_ = State::Waiting;
                waitFor_ = event.Get<line::PromptFields>().waitFor;
                waitLeft_.reset();
            }
            break;
        case EventKind::Wait:
            state_ = State::Waiting;
            waitFor_ = event.Get<line::WaitFields>().waitFor;
            waitLeft_ = event.Get<line::WaitFields>().secondsLeft;
            waitSince_ = now;
            break;
        case EventKind::Handover:
            if (state_ != State::Waiting) {
                state_ = State::Working;
            }
            break;
        case EventKind::Socket: {
            const auto& socket = event.Get<line::SocketFields>();
            if (socket.state == line::SocketState::Empty) {
                *this = PlcRow{};
                state_ = State::Empty;
                note_ = socket.message;  // a pulled unit's failure, until the next
            } else if (socket.state == line::SocketState::Working) {
                before_ = socket.message;
            } else {
                state_ = State::Attention;
                note_ = socket.message;
            }
            break;
        }
        case EventKind::End: {
            const auto& end = event.Get<line::EndFields>();
            Ended(end.caption + ": " + end.message, end.exitStatus);
            break;
        }
        case EventKind::Check: {
            const auto& check = event.Get<line::CheckFields>();
            Ended(check.ready ? check.message : check.caption + ": " + check.message,
                  check.exitStatus);
            break;
        }
        case EventKind::Identify:
        case EventKind::Port:
        case EventKind::Station:
            break;  // no burn's
    }
}

void PlcRow::Values(std::int32_t phase, std::int32_t percent, std::int32_t errors,
                    std::int32_t errorsTotal, std::int64_t seconds, Clock::time_point now) {
    if (phase != kFlashIdle) {
        state_ = State::Working;  // a wait is over once the flash is worked on
    }
    if (phase == kFlashProgramming && !programmingSince_) {
        programmingSince_ = now;
    }
    if (percent != values_.progress) {
        lastPercentAt_ = now;
    }
    values_ = StatusValues{static_cast<std::int32_t>(seconds), percent, phase, errors, errorsTotal};
}

void PlcRow::Ended(std::string text, int exitStatus) {
    ended_ = std::move(text);
    switch (line::StateOfExit(exitStatus)) {
        case line::BurnState::Done:
            state_ = State::Done;
            break;
        case line::BurnState::Failed:
            state_ = State::Failed;
            break;
        case line::BurnState::Interrupted:
            state_ = State::Interrupted;
            break;
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
    // What to do first, then how long is left for it, where the wait is bounded.
    const std::string bounded = left ? ", " + TimeLeft(*left) : "";
    switch (waitFor_) {
        case line::WaitFor::Replug:
            // Once its time is up the burn goes on, with the erase next: a
            // cable pulled now would be pulled during the erase.
            return left && *left == 0 ? "no replug seen: the burn goes on, do not unplug it"
                                      : "replug the USB cable now" + bounded;
        case line::WaitFor::PowerCycle:
            return "power the PLC off and on now" + bounded;
        case line::WaitFor::Restart:
            return "PLC restarting: " + seconds;
        case line::WaitFor::Reconnect:
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
            return note_.empty() ? "empty" : FitTo(note_, columns);
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
