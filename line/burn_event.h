// The events of a line: one C++ type, a kind and its typed fields, for every
// event a burn, an identify or a station makes. They are written to JSON and
// read from it in one place (event_json.h), where a burn's line reaches its
// parent; everything else reads the fields and switches on the kind.
//
//   start     the tool, the model and the image, as the burn begins
//   phase     Idle, Erasing or Programming, as it changes
//   progress  the phase, its percent and both counters, at every change of any
//             of them and at every second counted
//   retry     both counters, for every failed attempt, as it set them
//   prompt    the REPLUG or POWER OFF=>ON prompt, and whether it was answered
//   handover  the PLC runs its bootloader from now on (handed over, or found there)
//   wait      the burn waits: for a person, for the PLC to restart, or for the
//             PLC to come back after the replug, with the seconds left
//   end       how the burn ended: the final message, its outcome code, what it did
//   check     instead of end for --check: ready, or the ERROR the burn would show
//   identify  what --identify found on a port
//   port      a port that could hold a PLC, as --list shows it
//   socket    a station's socket changed its state
//   station   the station watches, stops, or has stopped
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "burn/outcome_code.h"

namespace norvane::line {

enum class EventKind : std::uint8_t {
    Start,
    Phase,
    Progress,
    Retry,
    Prompt,
    Handover,
    Wait,
    End,
    Check,
    Identify,
    Port,
    Socket,
    Station,
};

// What a wait event waits for: a person (replug, power cycle), the model's wait
// while the PLC restarts, the PLC's return after the replug.
enum class WaitFor : std::uint8_t { Replug, PowerCycle, Restart, Reconnect };

// A station's socket: empty; a burn runs (working); its unit must be taken out;
// its device comes and goes; another program burns there; a serial port that is
// not there; another station watches it.
enum class SocketState : std::uint8_t {
    Empty,
    Working,
    TakeOut,
    Unsteady,
    Busy,
    Missing,
    OtherStation
};

enum class StationState : std::uint8_t { Watching, Stopping, Stopped };

// Text fields that may be unknown are empty, and written as null.
struct StartFields {
    std::string version;
    std::string model;
    std::string image;
    std::int64_t imageSize = 0;
    std::string sha256;
    std::string burnId;
};
struct PhaseFields {
    std::int32_t phase = 0;  // flash_phase.h
    std::int64_t seconds = 0;
};
struct ProgressFields {
    std::int32_t phase = 0;
    std::int32_t percent = 0;
    std::int32_t errors = 0;
    std::int32_t errorsTotal = 0;
    std::int64_t seconds = 0;
};
struct RetryFields {
    std::int32_t errors = 0;
    std::int32_t errorsTotal = 0;
    std::int64_t seconds = 0;
};
struct PromptFields {
    std::string caption;
    std::string message;
    bool answered = false;
    WaitFor waitFor = WaitFor::Replug;  // Replug or PowerCycle
};
struct HandoverFields {
    bool found = false;  // it was already in its bootloader as the burn began
    std::int64_t seconds = 0;
};
struct WaitFields {
    WaitFor waitFor = WaitFor::Restart;
    std::optional<std::int64_t> secondsLeft;  // nothing while a person is waited for
};
struct EndFields {
    std::string caption;
    std::string message;
    int exitStatus = 0;
    std::int64_t seconds = 0;
    std::int64_t errorsTotal = 0;
    bool eraseBegun = false;  // the flash was touched: after a failure, burn it again
    bool handedOver = false;  // it may wait in its bootloader: after a failure, burn it again
    std::string burnId;
    OutcomeCode outcome = OutcomeCode::Success;
    // After its burn the PLC came back running the new firmware (--verify, a station).
    bool verified = false;
};
struct CheckFields {
    bool ready = false;
    std::string caption;  // "ERROR", or empty when ready
    std::string message;  // the ERROR's text, or "ready to burn: ..."
    int exitStatus = 0;
    std::int64_t seconds = 0;
    std::string burnId;
    OutcomeCode outcome = OutcomeCode::Ready;
};
struct IdentifyFields {
    std::string device;
    std::string usbPath;
    std::string usbSerial;
    std::string mode;     // application, bootloader, run; empty: nothing answered
    std::string framing;  // usb or serial
    std::string unit;     // the unit byte that answered
    std::string plcType;
    std::string bootVersion;  // "0x20", "no answer", or empty where not asked
    std::string d1386;
    std::string d1001;
    std::string d1148;
    std::string model;   // when it can be one model only
    std::string models;  // every model it can be, comma-separated
    std::string message;
};
struct PortFields {
    std::string kind;  // plc-usb (the PLC's own USB device) or serial
    std::string usbSerial;
    std::string usbPath;
    std::string device;
};
struct SocketFields {
    SocketState state = SocketState::Empty;
    std::string message;
    std::string usbSerial;
    // The socket's yield since the station started: units done, failed, set aside.
    std::int32_t done = 0;
    std::int32_t failed = 0;
    std::int32_t setAside = 0;
};
struct StationFields {
    StationState state = StationState::Watching;
    std::string model;  // of its one image; empty when it holds several
    std::string image;
    std::string sha256;
    bool check = false;
    std::string images;   // every image it holds, by file name, comma-separated
    std::string message;  // what changed: images read again, or why not
    std::string page;     // where its page is served (http://ADDR:PORT/); empty: nowhere
};

// In the order of EventKind.
using EventFields = std::variant<StartFields, PhaseFields, ProgressFields, RetryFields,
                                 PromptFields, HandoverFields, WaitFields, EndFields, CheckFields,
                                 IdentifyFields, PortFields, SocketFields, StationFields>;

struct BurnEvent {
    std::string port;  // as --port named it; a station's own events: empty
    EventFields fields;

    EventKind kind() const { return static_cast<EventKind>(fields.index()); }
    template <typename Fields>
    const Fields& Get() const {
        return std::get<Fields>(fields);
    }
};

// "start", "socket", ...: the words of the JSON lines.
const char* KindWord(EventKind kind);
const char* WaitWord(WaitFor waitFor);
const char* SocketWord(SocketState state);
const char* StationWord(StationState state);
std::optional<EventKind> KindOfWord(std::string_view word);
std::optional<WaitFor> WaitOfWord(std::string_view word);
std::optional<SocketState> SocketOfWord(std::string_view word);
std::optional<StationState> StationOfWord(std::string_view word);

// A new identifier for one burn: 32 hexadecimal digits.
std::string NewBurnId();

}  // namespace norvane::line
