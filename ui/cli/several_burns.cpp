#include "ui/cli/several_burns.h"

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "burn/shared_values.h"
#include "ui/cli/burn_events.h"
#include "ui/cli/burn_record.h"
#include "ui/cli/burn_session.h"
#include "ui/cli/event_pump.h"
#include "ui/cli/platform.h"
#include "ui/cli/run_image.h"
#include "ui/cli/version_info.h"

namespace norvane::cli {

namespace {

// What the children said, in the order it came: a line of output, or the end of it.
struct Said {
    std::size_t child;
    std::optional<std::string> line;  // nothing: its output ended
};

class Inbox {
  public:
    void Put(Said said) {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(said));
        ready_.notify_one();
    }
    std::optional<Said> Take(std::chrono::milliseconds wait) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!ready_.wait_for(lock, wait, [this] { return !queue_.empty(); })) {
            return std::nullopt;
        }
        Said said = std::move(queue_.front());
        queue_.pop_front();
        return said;
    }

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Said> queue_;
};

// Reads a child's output line by line into the inbox until it ends.
void ReadLines(platform::Child& child, std::size_t index, Inbox& inbox) {
    std::string pending;
    char buffer[4096];
    for (std::size_t n = 0; (n = child.Read(buffer, sizeof buffer)) > 0;) {
        pending.append(buffer, n);
        for (std::size_t eol = 0; (eol = pending.find('\n')) != std::string::npos;) {
            inbox.Put({index, pending.substr(0, eol)});
            pending.erase(0, eol + 1);
        }
    }
    inbox.Put({index, std::nullopt});
}

// A burn process's command line. A firmware file was read and checked once, here:
// every burn gets the same bytes on its standard input, with their digest to
// check, never a path that could change between two burns.
std::vector<std::string> ChildArgs(const Options& options, const std::string& port) {
    const RunImage& image = TheRunImage();
    std::vector<std::string> args{"--port",
                                  port,
                                  "--yes",
                                  "--json",
                                  "--replug-timeout",
                                  std::to_string(options.replugTimeoutSeconds),
                                  "--expect-sha256",
                                  image.sha256};
    if (image.fromFile) {
        args.insert(args.end(), {"--image", "-", "--image-name", image.name});
    } else if (options.placeholder) {
        args.push_back("--placeholder");
    }
    if (options.check) {
        args.push_back("--check");
    }
    if (!options.record.empty()) {
        args.insert(args.end(), {"--record", options.record});
    }
    return args;
}

using Clock = std::chrono::steady_clock;

struct Burn {
    std::string port;
    platform::PortCheck check;
    std::unique_ptr<platform::Child> child;
    std::thread reader;
    Clock::time_point started;
    std::string burnId;       // from its start event
    bool ended = false;       // its end event came
    bool eraseBegun = false;  // an event of it showed the erase or the transfer
    bool handedOver = false;  // an event of it showed the PLC in its bootloader
    std::int64_t errorsTotal = 0;
    int exitStatus = kExitBurnFailed;

    // Follows what the burn's own events say about its PLC.
    void Follow(const JsonObject& event) {
        const std::string kind = event.Text("event");
        if (kind == kEventStart) {
            burnId = event.Text("burn_id");
        } else if (kind == kEventHandover || kind == kEventPrompt || kind == kEventWait) {
            handedOver = true;
        } else if (kind == kEventEnd || kind == kEventCheck) {
            ended = true;
            exitStatus = static_cast<int>(event.Number("exit_status"));
        }
        if (event.Has("phase") && PhaseOfWord(event.Text("phase")) != kFlashIdle) {
            eraseBegun = true;
        }
        if (event.Has("errors_total")) {
            errorsTotal = event.Number("errors_total");
        }
    }
};

// The end of a burn whose process could not tell it: its record line (marked as
// written here, with what this process saw of the burn) and its end event. Once
// its events showed the PLC handed over or its erase under way, the user is told
// that the PLC must be burned again.
JsonObject EndWithoutBurn(const Options& options, Burn& burn, std::string why) {
    if (burn.eraseBegun) {
        why += std::string("; ") + kInterruptedAfterErase;
    } else if (burn.handedOver) {
        why += "; the PLC waits in its bootloader and must be burned before it runs again";
    }
    if (burn.burnId.empty()) {
        burn.burnId = NewBurnId();
    }
    burn.ended = true;
    if (options.check) {
        return CheckEvent(burn.port, {false, "ERROR", why, kExitBurnFailed, 0}, burn.burnId);
    }
    const std::int64_t seconds =
        burn.child
            ? std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - burn.started).count()
            : 0;
    const BurnEnd end{
        "ERROR", why, kExitBurnFailed, seconds, burn.errorsTotal, burn.eraseBegun, burn.handedOver};
    if (!options.record.empty()) {
        const BurnRecordFacts facts{std::time(nullptr),
                                    platform::HostName(),
                                    burn.port,
                                    burn.check.device,
                                    burn.check.usbPath,
                                    burn.check.usbSerial,
                                    selectedPLC,
                                    -1,
                                    -1,
                                    CurrentImageFacts(),
                                    end,
                                    burn.burnId,
                                    kWrittenByParent};
        std::string error;
        if (!platform::AppendLine(options.record, BurnRecord(facts).ToString(), error)) {
            StandardError().Write(std::string(platform::CommandName()) + ": warning: the burn on " +
                                  burn.port + " is not recorded: " + error + "\n");
        }
    }
    burn.ended = true;
    return EndEvent(burn.port, end, burn.burnId);
}

}  // namespace

int BurnSeveralPlcs(const Options& options, EventView& view) {
    Inbox inbox;
    EventPump pump(view);
    std::vector<Burn> burns(options.ports.size());
    std::size_t running = 0;
    for (std::size_t i = 0; i < burns.size(); ++i) {
        Burn& burn = burns[i];
        burn.port = options.ports[i];
        burn.check = platform::CheckPort(burn.port);
        burn.started = Clock::now();
        std::string error;
        burn.child =
            platform::StartChild(ChildArgs(options, burn.port), TheRunImage().bytes, error);
        if (!burn.child) {
            pump.Put(EndWithoutBurn(options, burn, error));
            continue;
        }
        burn.reader = std::thread(ReadLines, std::ref(*burn.child), i, std::ref(inbox));
        ++running;
    }
    bool interrupted = false;
    bool hungUp = false;
    while (running > 0) {
        if (!interrupted && platform::Interrupted()) {
            interrupted = true;  // each burn says for itself whether its erase had begun
            for (Burn& burn : burns) {
                if (burn.child) {
                    burn.child->Interrupt();
                }
            }
        }
        if (!hungUp && platform::HungUp()) {
            hungUp = true;  // each burn goes on once it has changed its PLC
            for (Burn& burn : burns) {
                if (burn.child) {
                    burn.child->HangUp();
                }
            }
        }
        const std::optional<Said> said = inbox.Take(std::chrono::milliseconds(100));
        if (!said) {
            continue;
        }
        Burn& burn = burns[said->child];
        if (said->line) {
            std::optional<JsonObject> event = JsonObject::Parse(*said->line);
            if (event && event->Text("port") == burn.port) {
                burn.Follow(*event);
                pump.Put(std::move(*event));
            }
            continue;
        }
        burn.reader.join();
        const int status = burn.child->Wait();
        --running;
        if (!burn.ended) {
            // It ended without saying how its burn ended: it did not finish it.
            const std::string how = status < 0 ? "ended by a signal"
                                               : "ended with exit status " + std::to_string(status);
            pump.Put(EndWithoutBurn(options, burn,
                                    "the burn's process " + how + " before the burn ended"));
        }
    }
    pump.Drain();
    if (interrupted) {
        return kExitInterrupted;
    }
    for (const Burn& burn : burns) {
        if (burn.exitStatus != kExitSuccess) {
            return kExitBurnFailed;
        }
    }
    return kExitSuccess;
}

}  // namespace norvane::cli
