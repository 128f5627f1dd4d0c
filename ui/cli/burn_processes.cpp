#include "ui/cli/burn_processes.h"

#include <ctime>

#include "burn/shared_values.h"
#include "burn/untrusted_text.h"
#include "ui/cli/burn_events.h"
#include "ui/cli/burn_record.h"
#include "ui/cli/burn_session.h"
#include "ui/cli/output.h"
#include "ui/cli/run_image.h"
#include "ui/cli/version_info.h"

namespace norvane::cli {

namespace {

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

}  // namespace

void Inbox::Put(Said said) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(said));
    ready_.notify_one();
}

std::optional<Said> Inbox::Take(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!ready_.wait_for(lock, wait, [this] { return !queue_.empty(); })) {
        return std::nullopt;
    }
    Said said = std::move(queue_.front());
    queue_.pop_front();
    return said;
}

std::vector<std::string> ChildArgs(const Options& options, const std::string& port,
                                   const std::vector<std::string>& more) {
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
    }
    if (options.placeholder) {
        args.push_back("--placeholder");
    }
    if (options.check) {
        args.push_back("--check");
    }
    if (!options.record.empty()) {
        args.insert(args.end(), {"--record", options.record});
    }
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

bool BurnProcess::Start(const std::vector<std::string>& args, std::size_t index, Inbox& inbox,
                        std::string& error) {
    started = Clock::now();
    lastHeard = started;
    child = platform::StartChild(args, TheRunImage().bytes, error);
    if (!child) {
        return false;
    }
    reader = std::thread(ReadLines, std::ref(*child), index, std::ref(inbox));
    return true;
}

void BurnProcess::Follow(const JsonObject& event) {
    const std::string kind = event.Text("event");
    if (kind == kEventProgress) {
        std::string seen = event.Text("phase");
        for (const char* counter : {"percent", "errors", "errors_total"}) {
            seen += " " + std::to_string(event.Number(counter));
        }
        if (seen != progressSeen) {
            progressSeen = seen;
            lastHeard = Clock::now();
        }
    } else {
        lastHeard = Clock::now();
    }
    if (kind == kEventStart) {
        burnId = event.Text("burn_id");
    } else if (kind == kEventHandover || kind == kEventPrompt || kind == kEventWait) {
        handedOver = true;
    } else if (kind == kEventEnd || kind == kEventCheck) {
        ended = true;
        exitStatus = static_cast<int>(event.Number("exit_status"));
        message = event.Text("message");
    }
    if (event.Has("phase") && PhaseOfWord(event.Text("phase")) != kFlashIdle) {
        eraseBegun = true;
    }
    if (event.Has("errors_total")) {
        errorsTotal = event.Number("errors_total");
    }
}

std::optional<JsonObject> BurnProcess::Finish(const Options& options) {
    reader.join();
    const int status = child->Wait();
    if (ended) {
        return std::nullopt;
    }
    // It ended without saying how its burn ended: it did not finish it.
    const std::string how = !endedBy.empty() ? endedBy
                            : status < 0     ? "ended by a signal"
                                             : "ended with exit status " + std::to_string(status);
    return EndWithoutBurn(options, *this, "the burn's process " + how + " before the burn ended");
}

JsonObject EndWithoutBurn(const Options& options, BurnProcess& burn, std::string why) {
    if (burn.eraseBegun) {
        why += std::string("; ") + kInterruptedAfterErase;
    } else if (burn.handedOver) {
        why += "; the PLC waits in its bootloader and must be burned before it runs again";
    }
    if (burn.burnId.empty()) {
        burn.burnId = NewBurnId();
    }
    burn.ended = true;
    burn.exitStatus = kExitBurnFailed;
    burn.message = why;
    if (options.check) {
        return CheckEvent(burn.port, {false, "ERROR", why, kExitBurnFailed, 0}, burn.burnId);
    }
    const std::int64_t seconds = burn.child ? std::chrono::duration_cast<std::chrono::seconds>(
                                                  BurnProcess::Clock::now() - burn.started)
                                                  .count()
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
            StandardError().Write(
                std::string(platform::CommandName()) + ": warning: " +
                ForPerson("the burn on " + burn.port + " is not recorded: " + error) + "\n");
        }
    }
    return EndEvent(burn.port, end, burn.burnId);
}

}  // namespace norvane::cli
