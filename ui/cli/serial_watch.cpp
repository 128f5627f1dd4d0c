#include "ui/cli/serial_watch.h"

#include "burn/shared_values.h"
#include "link/app_commands.h"
#include "ui/cli/platform.h"
#include "ui/cli/quiet_panel.h"

namespace norvane::cli {
namespace {

bool AnswersOn(const std::string& port) {
    const std::unique_ptr<platform::PortOpening> opening =
        platform::MakePortOpening(port, std::chrono::seconds(1), platform::PortUse::Ask);
    LinkPtr link = opening->OpenSerial(port);
    if (!link) {
        return false;
    }
    QuietPanel panel;
    return AnswersModeQuery(ExchangeContext{*link, SelectedModel(), panel.counters});
}

}  // namespace

std::optional<SerialWatch::Outcome> SerialWatch::Poll(const std::string& port,
                                                      Clock::time_point now,
                                                      std::chrono::seconds period, int silentAsks) {
    if (!asking_.valid()) {
        if (now >= next_) {
            asking_ = std::async(std::launch::async, AnswersOn, port);
        }
        return std::nullopt;
    }
    if (asking_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        return std::nullopt;
    }
    const bool answered = asking_.get();
    // The asking itself took a while: the next one comes a period after it.
    next_ = Clock::now() + period;
    const bool first = ++asked_ == 1;
    if (answered) {
        silent_ = 0;
        return Outcome{true, first};
    }
    if (++silent_ >= silentAsks) {
        return Outcome{false, first};
    }
    return std::nullopt;
}

}  // namespace norvane::cli
