// What a station needs of the machine it runs on, behind one seam: the clock,
// the PLCs on USB now, its serial ports and whether a PLC answers there, who
// holds a PLC, the claims on sockets, the record. The machine's own
// (machine_world.h), or a test's, on a clock of its own.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "line/burn_record.h"
#include "line/identify.h"
#include "line/machine.h"

namespace norvane::line {

struct UsbUnit {
    std::string usbSerial;  // empty: it reports none
    std::string device;
};
inline bool operator==(const UsbUnit& a, const UsbUnit& b) {
    return a.usbSerial == b.usbSerial && a.device == b.device;
}
// By the name --port gives its socket (usb-path:1-2; on Windows the interface).
using UsbUnits = std::map<std::string, UsbUnit>;

// A unit about to be burnt, as the line's shared record is asked about it.
struct UnitAsk {
    std::string usbSerial;
    std::string model;
    std::string sha256;  // of the image it is to get
    std::string socket;
};
// The line's word on it: burnt with that image already somewhere (where and
// when), burnt now at another station (which), or this station's to burn.
struct LineWord {
    std::string burntAt;    // "station B, socket A3, 10:42"
    std::string burningAt;  // "station B, socket A3"
    std::string trouble;    // the line could not be asked: the station's own rule holds
};

// What changed beside a station's loop since it last asked.
struct WorldNews {
    bool usb = false;                // a PLC came or went on USB
    std::set<std::string> answered;  // ports whose ask or identify has its answer
    bool Any() const { return usb || !answered.empty(); }
};

class StationWorld {
  public:
    using Clock = std::chrono::steady_clock;

    virtual ~StationWorld() = default;
    virtual Clock::time_point Now() = 0;
    virtual UsbUnits PlcsOnUsb() = 0;
    // The PLCs on USB are told as they come and go (through `wake`), so the
    // sockets need not be looked at on a timer.
    virtual bool HearsUsb() { return false; }
    // `wake` is called, from any thread, when something has changed: a PLC
    // came or went on USB, an ask or an identify has its answer. Null: nobody
    // is woken any more.
    virtual void WakeWith(std::function<void()> wake) { (void)wake; }
    // What has changed since the last call.
    virtual WorldNews TakeNews() { return {}; }
    // The port is there now (a serial port's node).
    virtual bool PortExists(const std::string& port) = 0;
    // A serial port asked, beside the station's loop, whether a PLC answers
    // there (one mode query, changing nothing): Ask starts it, Answer gives its
    // answer once it has one (and nothing while it is asked).
    virtual void Ask(const std::string& port) = 0;
    virtual std::optional<bool> Answer(const std::string& port) = 0;
    // What the PLC on `port` is, asked beside the station's loop with the
    // requests --identify sends, which only read: Identify starts it, Identified
    // gives the answer once there is one (and nothing while it is asked).
    virtual void Identify(const std::string& port) = 0;
    virtual std::optional<PortIdentity> Identified(const std::string& port) = 0;
    // Someone asked (--again) that the unit with this USB serial number, set
    // aside for failing twice, be burnt once more; the request is used up.
    virtual bool AgainAsked(const std::string& usbSerial) = 0;
    // Who burns the PLC on `port` now; empty: nobody (this process aside).
    virtual std::string PlcHolder(const std::string& port) = 0;
    // Null when another station has `socket`, with `holder` naming it.
    virtual std::unique_ptr<machine::SocketClaim> Claim(const std::string& socket,
                                                        std::string& holder) = 0;
    virtual bool RecordWritable(std::string& why) = 0;
    // Appends the record line of a unit the station itself ends (one it does
    // not burn); false with `error` set when it cannot.
    virtual bool Record(const std::string& line, std::string& error) = 0;
    // The record's burns written since the last call, whoever wrote them.
    virtual std::vector<RecordedBurn> RecordedSince() = 0;
    // Whether the line's shared record is asked before each burn of a unit
    // with a serial number: AskLine starts it beside the loop, LineAnswered
    // gives the answer once there is one (and nothing while it is asked).
    virtual bool AsksLine() const { return false; }
    virtual void AskLine(const std::string& port, const UnitAsk& ask) {
        (void)port;
        (void)ask;
    }
    virtual std::optional<LineWord> LineAnswered(const std::string& port) {
        (void)port;
        return LineWord{};
    }
    // Tells the service manager, where there is one ("READY=1", ...).
    virtual void Notify(const std::string& state) = 0;
};

}  // namespace norvane::line
