// Burns in child processes, as a several-PLC run and a station start them: one
// copy of this program per PLC, writing its events as JSON lines, read here line
// by line into one inbox; what each burn's events said of its PLC; and the end
// (and record line) of a burn whose process ended without telling it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ui/cli/json_object.h"
#include "ui/cli/options.h"
#include "ui/cli/platform.h"

namespace norvane::cli {

// What the children said, in the order it came: a line of output, or the end of it.
struct Said {
    std::size_t child;
    std::optional<std::string> line;  // nothing: its output ended
};

class Inbox {
  public:
    void Put(Said said);
    std::optional<Said> Take(std::chrono::milliseconds wait);

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Said> queue_;
};

// A burn process's command line for the PLC on `port`, with `more` after it. A
// firmware file was read and checked once, by this process: every burn gets the
// same bytes on its standard input, with their digest to check, never a path
// that could change between two burns.
std::vector<std::string> ChildArgs(const Options& options, const std::string& port,
                                   const std::vector<std::string>& more = {});

struct BurnProcess {
    using Clock = std::chrono::steady_clock;

    std::string port;
    platform::PortCheck check;
    std::unique_ptr<platform::Child> child;
    std::thread reader;
    Clock::time_point started;
    Clock::time_point lastHeard;  // its last sign of progress on the line
    std::string burnId;           // from its start event
    bool ended = false;           // its end (or check) event came
    bool eraseBegun = false;      // an event of it showed the erase or the transfer
    bool handedOver = false;      // an event of it showed the PLC in its bootloader
    std::int64_t errorsTotal = 0;
    int exitStatus = 1;
    std::string message;       // of its end
    std::string endedBy;       // why its process was ended from here, when it was
    std::string progressSeen;  // the phase, percent and counters last told

    // Starts the burn's process with `args`; false with `error` set when it
    // cannot be started. `index` names it in the inbox.
    bool Start(const std::vector<std::string>& args, std::size_t index, Inbox& inbox,
               std::string& error);
    // Follows what the burn's own events say about its PLC. Only progress on
    // the line counts as heard: a progress event that tells nothing new but the
    // seconds comes from the burn's clock, which ticks whether the burn moves
    // or hangs.
    void Follow(const JsonObject& event);
    // Once its output ended: waits for the process, and when it ended without
    // telling how its burn ended, tells it (and writes its record line).
    std::optional<JsonObject> Finish(const Options& options);
};

// The end of a burn whose process could not tell it: its record line (marked as
// written here, with what this process saw of the burn) and its end event (a
// check event for --check). Once its events showed the PLC handed over or its
// erase under way, the user is told that the PLC must be burned again.
JsonObject EndWithoutBurn(const Options& options, BurnProcess& burn, std::string why);

}  // namespace norvane::cli
