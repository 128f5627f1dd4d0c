#include "ui/cli/serial_watch.h"

#include "burn/shared_values.h"
#include "link/app_commands.h"
#include "ui/cli/platform.h"
#include "ui/cli/quiet_panel.h"

namespace norvane::cli {

std::optional<bool> SerialWatch::Ask(const std::string& port, Clock::time_point now,
                                     std::chrono::seconds period, int silentAsks) {
    if (now < next_) {
        return std::nullopt;
    }
    next_ = now + period;
    bool answered = false;
    {
        const std::unique_ptr<platform::PortOpening> opening =
            platform::MakePortOpening(port, std::chrono::seconds(1));
        if (LinkPtr link = opening->OpenSerial(port)) {
            QuietPanel panel;
            answered = AnswersModeQuery(ExchangeContext{*link, SelectedModel(), panel.counters});
        }
    }
    // The asking itself took a while: the next one comes a period after it.
    next_ = Clock::now() + period;
    if (answered) {
        silent_ = 0;
        return true;
    }
    return ++silent_ >= silentAsks ? std::optional<bool>(false) : std::nullopt;
}

}  // namespace norvane::cli
