#include "ui/cli/several_burns.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "ui/cli/burn_events.h"
#include "ui/cli/burn_session.h"
#include "ui/cli/platform.h"

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
    for (std::size_t n; (n = child.Read(buffer, sizeof buffer)) > 0;) {
        pending.append(buffer, n);
        for (std::size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
            inbox.Put({index, pending.substr(0, eol)});
            pending.erase(0, eol + 1);
        }
    }
    inbox.Put({index, std::nullopt});
}

std::vector<std::string> ChildArgs(const Options& options, const std::string& port) {
    std::vector<std::string> args{"--port",
                                  port,
                                  "--yes",
                                  "--json",
                                  "--replug-timeout",
                                  std::to_string(options.replugTimeoutSeconds)};
    if (!options.record.empty()) {
        args.insert(args.end(), {"--record", options.record});
    }
    return args;
}

// The end of a burn whose process could not tell it. Once its events showed the
// erase under way, the PLC may be left erased, and the user is told so.
JsonObject EndWithoutBurn(const std::string& port, std::string why, bool eraseBegun) {
    if (eraseBegun) {
        why += std::string("; ") + kInterruptedAfterErase;
    }
    return EndEvent(port, {"ERROR", why, kExitBurnFailed, 0, 0, eraseBegun});
}

struct Burn {
    std::string port;
    std::unique_ptr<platform::Child> child;
    std::thread reader;
    bool ended = false;       // its end event came
    bool eraseBegun = false;  // an event of it showed the erase or the transfer
    int exitStatus = kExitBurnFailed;
};

}  // namespace

int BurnSeveralPlcs(const Options& options, EventView& view) {
    Inbox inbox;
    std::vector<Burn> burns(options.ports.size());
    std::size_t running = 0;
    for (std::size_t i = 0; i < burns.size(); ++i) {
        Burn& burn = burns[i];
        burn.port = options.ports[i];
        std::string error;
        burn.child = platform::StartChild(ChildArgs(options, burn.port), error);
        if (!burn.child) {
            view.Show(EndWithoutBurn(burn.port, error, false));
            burn.ended = true;
            continue;
        }
        burn.reader = std::thread(ReadLines, std::ref(*burn.child), i, std::ref(inbox));
        ++running;
    }
    bool interrupted = false;
    while (running > 0) {
        if (!interrupted && platform::Interrupted()) {
            interrupted = true;  // each burn says for itself whether its erase had begun
            for (Burn& burn : burns) {
                if (burn.child) {
                    burn.child->Interrupt();
                }
            }
        }
        view.Tick();
        const std::optional<Said> said = inbox.Take(std::chrono::milliseconds(100));
        if (!said) {
            continue;
        }
        Burn& burn = burns[said->child];
        if (said->line) {
            std::optional<JsonObject> event = JsonObject::Parse(*said->line);
            if (event && event->Text("port") == burn.port) {
                if (event->Has("phase") && PhaseOfWord(event->Text("phase")) != kFlashIdle) {
                    burn.eraseBegun = true;
                }
                if (event->Text("event") == kEventEnd) {
                    burn.ended = true;
                    burn.exitStatus = static_cast<int>(event->Number("exit_status"));
                }
                view.Show(*event);
            }
            continue;
        }
        burn.reader.join();
        const int status = burn.child->Wait();
        --running;
        if (!burn.ended) {
            // It ended without saying how its burn ended: it did not finish it.
            burn.ended = true;
            const std::string how = status < 0 ? "ended by a signal"
                                               : "ended with exit status " + std::to_string(status);
            view.Show(EndWithoutBurn(burn.port,
                                     "the burn's process " + how + " before the burn ended",
                                     burn.eraseBegun));
        }
    }
    view.Tick();
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
