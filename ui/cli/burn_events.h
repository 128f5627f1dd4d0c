// The events of one PLC's burn: one stream inside the front end that is drawn for
// a person (a status line, a table) or written as JSON lines for a script.
//
//   start     the tool, the model and the image, as the burn begins
//   phase     Idle, Erasing or Programming, as it changes
//   progress  the phase, its percent and both counters: at every change of
//             percent and at least every second
//   retry     both counters, whenever an attempt failed
//   prompt    the REPLUG or POWER OFF=>ON prompt, and whether it was answered
//   end       the final message as the window shows it, the exit status, the
//             seconds and the failed attempts of the whole burn
//
// Every event names its port. docs/json-events.md describes every field.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/cli/json_object.h"
#include "ui/cli/status_line.h"

namespace norvane::cli {

constexpr const char* kEventStart = "start";
constexpr const char* kEventPhase = "phase";
constexpr const char* kEventProgress = "progress";
constexpr const char* kEventRetry = "retry";
constexpr const char* kEventPrompt = "prompt";
constexpr const char* kEventEnd = "end";

JsonObject NewEvent(const char* kind, const std::string& port);

struct ImageFacts {
    std::string version;  // the tool's
    std::string model;
    std::string image;
    std::uint32_t size;
    std::string sha256;
};
JsonObject StartEvent(const std::string& port, const ImageFacts& facts);

JsonObject PromptEvent(const std::string& port, const std::string& caption,
                       const std::string& message, bool answered);

struct BurnEnd {
    std::string caption;
    std::string message;
    int exitStatus;
    std::int64_t seconds;
    std::int64_t errorsTotal;
    bool eraseBegun;  // the PLC's flash was touched: after a failure it must be burnt again
};
JsonObject EndEvent(const std::string& port, const BurnEnd& end);

// Turns the status panel's values, read at every tick of its timer, into progress
// and retry events; a phase, which can be over between two ticks, is told as it
// starts, with the values of that moment.
class PanelWatcher {
  public:
    explicit PanelWatcher(std::string port) : port_(std::move(port)) {}

    std::vector<JsonObject> Tick(const StatusValues& values);
    // Safe to call from the burn's own thread while Tick runs on another.
    std::vector<JsonObject> PhaseStarted(const StatusValues& values) const;

  private:
    std::string port_;
    bool first_ = true;
    StatusValues last_{};
};

}  // namespace norvane::cli
