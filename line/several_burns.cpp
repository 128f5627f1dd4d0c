#include "line/several_burns.h"

#include "line/exit_status.h"

namespace norvane::line {

int BurnSeveralPlcs(const std::vector<std::string>& ports, Supervisor& supervisor, EventSink& sink,
                    Controls& controls) {
    const std::shared_ptr<const RunImage> image = Shared(TheRunImage());
    for (const std::string& port : ports) {
        supervisor.Start(port, false, image);
    }
    bool interrupted = false;
    bool hungUp = false;
    bool failed = false;
    while (supervisor.Running() > 0) {
        if (!interrupted && controls.Interrupted()) {
            interrupted = true;  // each burn says for itself whether its erase had begun
            supervisor.InterruptAll();
        }
        if (!hungUp && controls.HungUp()) {
            hungUp = true;  // each burn goes on once it has changed its PLC
            supervisor.HangUpAll();
        }
        std::optional<BurnNews> news = supervisor.Next(std::chrono::milliseconds(100));
        if (!news) {
            continue;
        }
        if (news->show) {
            sink.Put(std::move(*news->show));
        }
        if (news->over && StateOfExit(news->over->exitStatus) != BurnState::Done) {
            failed = true;
        }
    }
    return interrupted ? kExitInterrupted : failed ? kExitBurnFailed : kExitSuccess;
}

}  // namespace norvane::line
