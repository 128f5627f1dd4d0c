// The events of one PLC's burn: one stream inside the front end that is drawn for
// a person (a status line, a table) or written as JSON lines for a script.
//
//   start     the tool, the model and the image, as the burn begins
//   phase     Idle, Erasing or Programming, as it changes
//   progress  the phase, its percent and both counters: at every change of any
//             of them, and at every second counted
//   retry     both counters, for every failed attempt, as it set them
//   prompt    the REPLUG or POWER OFF=>ON prompt, and whether it was answered
//   handover  the PLC runs its bootloader from now on (handed over, or found there)
//   wait      the burn waits: for a person, for the PLC to restart, or for the
//             PLC to come back after the replug, with the seconds left
//   end       the final message as the window shows it, the exit status, the
//             seconds, the failed attempts, and what the burn did to the PLC
//   check     instead of end for --check: ready, or the ERROR the burn would show
//
// Every event names its port. docs/json-events.md describes every field.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "link/exchange.h"
#include "ui/cli/json_object.h"
#include "ui/cli/status_line.h"

namespace norvane::cli {

constexpr const char* kEventStart = "start";
constexpr const char* kEventPhase = "phase";
constexpr const char* kEventProgress = "progress";
constexpr const char* kEventRetry = "retry";
constexpr const char* kEventPrompt = "prompt";
constexpr const char* kEventHandover = "handover";
constexpr const char* kEventWait = "wait";
constexpr const char* kEventEnd = "end";
// Instead of `end`: how a --check ended, and what --identify found on a port.
constexpr const char* kEventCheck = "check";
constexpr const char* kEventIdentify = "identify";
// A station's: a socket's state changed; the station itself is watching (its
// first look at the sockets is done), stopping or stopped.
constexpr const char* kEventSocket = "socket";
constexpr const char* kEventStation = "station";

// What a wait event waits for.
constexpr const char* kWaitReplug = "replug";           // a person, to replug the cable
constexpr const char* kWaitPowerCycle = "power_cycle";  // a person, to power the PLC off and on
constexpr const char* kWaitRestart = "restart";         // the model's wait while the PLC restarts
constexpr const char* kWaitReconnect = "reconnect";     // the PLC to come back after the replug

JsonObject NewEvent(const char* kind, const std::string& port);

struct ImageFacts {
    std::string version;  // the tool's
    std::string model;
    std::string image;
    std::uint32_t size;
    std::string sha256;
};
JsonObject StartEvent(const std::string& port, const ImageFacts& facts, const std::string& burnId);

JsonObject PromptEvent(const std::string& port, const std::string& caption,
                       const std::string& message, bool answered);
JsonObject HandoverEvent(const std::string& port, bool found, std::int64_t seconds);
// `secondsLeft`: nothing while a person is waited for.
JsonObject WaitEvent(const std::string& port, const char* waitFor,
                     std::optional<std::int64_t> secondsLeft);

struct BurnEnd {
    std::string caption;
    std::string message;
    int exitStatus;
    std::int64_t seconds;
    std::int64_t errorsTotal;
    bool eraseBegun;  // the PLC's flash was touched: after a failure it must be burnt again
    bool handedOver;  // the PLC may wait in its bootloader: after a failure it must be burnt again
};
JsonObject EndEvent(const std::string& port, const BurnEnd& end, const std::string& burnId);

// A --check's end: `ready` (the burn would go on to change the PLC), or the ERROR
// the burn would have shown; what the PLC said about itself.
struct CheckEnd {
    bool ready;
    std::string caption;  // "ERROR", or empty when ready
    std::string message;  // the ERROR's text, or "ready to burn: ..." with what was found
    int exitStatus;
    std::int64_t seconds;
};
JsonObject CheckEvent(const std::string& port, const CheckEnd& end, const std::string& burnId);

// A new identifier for one burn: 32 hexadecimal digits.
std::string NewBurnId();

// Turns the status panel's changes into events as they happen: a phase as it
// starts, a retry for every failed attempt, a progress at every change of the
// panel's values. The burn's thread tells the changes, the session's timer the
// seconds; once closed (the burn's final message is out), neither makes more.
class PanelEvents {
  public:
    using Sink = std::function<void(JsonObject event)>;
    using Read = std::function<StatusValues()>;

    PanelEvents(std::string port, Sink sink, Read read)
        : port_(std::move(port)), sink_(std::move(sink)), read_(std::move(read)) {}

    void Changed(PanelChange change);
    void Tick();
    void Close();

  private:
    void ProgressLocked(const StatusValues& values);

    std::string port_;
    Sink sink_;
    Read read_;
    std::mutex mutex_;
    bool closed_ = false;
    std::optional<StatusValues> last_;
};

}  // namespace norvane::cli
