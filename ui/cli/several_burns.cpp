#include "ui/cli/several_burns.h"

#include "ui/cli/burn_events.h"
#include "ui/cli/burn_processes.h"
#include "ui/cli/burn_session.h"
#include "ui/cli/event_pump.h"

namespace norvane::cli {

int BurnSeveralPlcs(const Options& options, EventView& view) {
    Inbox inbox;
    EventPump pump(view);
    std::vector<BurnProcess> burns(options.ports.size());
    std::size_t running = 0;
    for (std::size_t i = 0; i < burns.size(); ++i) {
        BurnProcess& burn = burns[i];
        burn.port = options.ports[i];
        burn.check = platform::CheckPort(burn.port);
        std::string error;
        if (!burn.Start(ChildArgs(options, burn.port), i, inbox, error)) {
            pump.Put(EndWithoutBurn(options, burn, error));
            continue;
        }
        ++running;
    }
    bool interrupted = false;
    bool hungUp = false;
    while (running > 0) {
        if (!interrupted && platform::Interrupted()) {
            interrupted = true;  // each burn says for itself whether its erase had begun
            for (BurnProcess& burn : burns) {
                if (burn.child) {
                    burn.child->Interrupt();
                }
            }
        }
        if (!hungUp && platform::HungUp()) {
            hungUp = true;  // each burn goes on once it has changed its PLC
            for (BurnProcess& burn : burns) {
                if (burn.child) {
                    burn.child->HangUp();
                }
            }
        }
        const std::optional<Said> said = inbox.Take(std::chrono::milliseconds(100));
        if (!said) {
            continue;
        }
        BurnProcess& burn = burns[said->child];
        if (said->line) {
            std::optional<JsonObject> event = JsonObject::Parse(*said->line);
            if (event && event->Text("port") == burn.port) {
                burn.Follow(*event);
                pump.Put(std::move(*event));
            }
            continue;
        }
        --running;
        if (std::optional<JsonObject> end = burn.Finish(options)) {
            pump.Put(std::move(*end));
        }
    }
    pump.Drain();
    if (interrupted) {
        return kExitInterrupted;
    }
    for (const BurnProcess& burn : burns) {
        if (burn.exitStatus != kExitSuccess) {
            return kExitBurnFailed;
        }
    }
    return kExitSuccess;
}

}  // namespace norvane::cli
