// A station: runs until stopped, burning each PLC as it is plugged in. It watches
// the USB sockets where a PLC's own USB device may appear (all of them, or those
// --port names) and the serial ports --port names, starts a burn for each PLC
// that arrives in an emptied socket, and takes the next unit there only once the
// socket has been emptied. A unit known by its USB serial number as burnt with
// this model and image (by this station, or by anyone on its record) is never
// burnt twice. The rules are here; the machine (StationWorld) and the burns
// (Supervisor) are handed in, so that the rules are tested on a clock of a
// test's own.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "line/burn_supervisor.h"
#include "line/controls.h"
#include "line/event_pump.h"
#include "line/image_set.h"
#include "line/run_image.h"
#include "line/serial_watch.h"
#include "line/station_socket.h"
#include "line/station_world.h"
#include "line/unit_history.h"

namespace norvane::line {

// A socket of the PLC's own USB device (usb-path:..., usb-serial:..., an
// interface on Windows), or a serial port.
struct WatchedPort {
    std::string name;
    bool usb = true;
};

struct StationSettings {
    // What to watch; nothing: every USB socket where a PLC's own USB device appears.
    std::vector<WatchedPort> ports;
    bool check = false;  // check each unit, burn nothing
    ImageSet images;     // one per model: each unit gets the image of its model
    // Reads the images again (a hang-up asks for it), false with `why` set
    // when they no longer check out; null: they cannot be read again.
    std::function<bool(ImageSet& images, std::string& why)> reread;
    std::string page;  // where the station's page is served; empty: nowhere
    // Keeps the record line of each of the station's burns beside the record
    // file (the record database's outbox) before its end is told; false with
    // `error` set when it cannot. Null: the record file alone.
    std::function<bool(const std::string& line, std::string& error)> keep;
};

// What a socket has seen since the station started.
struct SocketYield {
    std::int32_t done = 0;
    std::int32_t failed = 0;
    std::int32_t setAside = 0;
};

// Failures in a row at one station that set a unit aside for the repair bench.
constexpr int kFailuresToSetAside = 2;

class Station {
  public:
    using Clock = StationWorld::Clock;

    Station(StationSettings settings, StationWorld& world, Supervisor& burns, EventSink& sink);

    // The first look at every socket: what was there before the station is
    // known once every serial port has been asked (false until then: call it
    // again). Then the station says it watches.
    bool Begin();
    // One turn: the burns' news (waited for up to `wait`, then all that has
    // come), then a look at the sockets when one is due, or where something has
    // changed.
    void Step(std::chrono::milliseconds wait);
    // When the next look at the sockets is due, unless something wakes the
    // station before.
    Clock::time_point Due() const;
    // No new burn from now on; the running ones go on.
    void Stop();
    // Reads the images again; a unit being burnt keeps the bytes it started
    // with, and images that no longer check out leave the old ones in place.
    void Reread();
    // The running burns end as interrupted.
    void InterruptBurns();
    bool Stopping() const { return stopping_; }
    // Stopping, and no burn left.
    bool Over() const { return stopping_ && burns_.Running() == 0; }
    // Says it has stopped; 0 when every burn succeeded, 1 when any failed, 130
    // when burns were interrupted.
    int Stopped();

  private:
    struct Unit {
        std::string usbSerial;
        std::string device;
    };
    // One value per socket: its state, the unit in it (or being burnt), the
    // station's claim on it, how much of its state was told, its serial watch.
    struct Watched {
        explicit Watched(StationSocket s) : socket(std::move(s)) {}
        StationSocket socket;
        Unit unit;
        std::unique_ptr<machine::SocketClaim> claim;
        std::optional<std::uint64_t> told;
        SerialWatch serial;
        bool identifying = false;  // asked what it is, before its burn
        // The line is asked whether it may be burnt, with this image.
        std::shared_ptr<const RunImage> askingLine;
        ImageFacts burning;      // the image of its burn
        bool burnAgain = false;  // its burn ended after the flash was touched
        SocketYield yield;
        // Whether its unit may leave now (a replug, a restart, the hand-over to
        // its bootloader), the phase its burn was in last, and whether the unit
        // left while it ran otherwise.
        bool mayLeave = false;
        std::int32_t phase = 0;
        bool pulled = false;
    };

    // `only`: the sockets it names alone, as they have changed; null: every one,
    // and the record.
    void Look(bool first, const WorldNews* only = nullptr);
    void LookAtUsb(Watched& w, const UsbUnits& usb, bool first);
    void LookAtSerial(Watched& w);
    bool Claimed(Watched& w, bool present);
    bool StillHeld(Watched& w);
    std::string Twin(const std::string& id, const std::string& usbSerial,
                     const UsbUnits& usb) const;
    void Arrived(Watched& w, const Unit& unit, const UsbUnits& usb);
    void Start(Watched& w, const Unit& unit);
    void Identified(Watched& w, const PortIdentity& found);
    void Burn(Watched& w, const std::shared_ptr<const RunImage>& image);
    // Burns it once the line has said it may (a unit with a serial number,
    // where stations share their record).
    void BurnOnceTheLineSays(Watched& w, const std::shared_ptr<const RunImage>& image);
    void LineSaid(Watched& w, const LineWord& word);
    // `message`: what its end and record say; `note`: what its row says.
    void NotBurnt(Watched& w, const PortIdentity& found, OutcomeCode outcome,
                  const std::string& message, const std::string& note);
    bool Done(const std::string& usbSerial) const;
    void Heard(BurnNews news);
    // The record line of the burn `burnId`, kept where settings.keep keeps it.
    void Keep(const std::string& burnId);
    // What a station keeps of its burn's events: its phase and its waits.
    static void Followed(Watched& w, const BurnEvent& event);
    void Ended(Watched& w, const BurnOver& over);
    void Tell(Watched& w);
    void LearnRecord();
    void Say(StationState state, const std::string& message = "");

    const StationSettings settings_;
    ImageSet images_;
    StationWorld& world_;
    Supervisor& burns_;
    EventSink& sink_;
    std::map<std::string, Watched> watched_;  // by the socket's name
    UnitHistory history_;
    // The record lines learnt lately and not yet kept, by burn id, oldest first:
    // a burn's line is learnt before its end is heard, or after.
    std::map<std::string, std::string> unkept_;
    std::deque<std::string> unkeptOrder_;
    Clock::time_point nextLook_{};
    Clock::time_point lastLook_{};
    bool looked_ = false;
    bool stopping_ = false;
    int failed_ = 0;
    int interrupted_ = 0;
    std::map<std::string, int> failuresInRow_;  // by USB serial number
};

// Runs a station until it is stopped (Ctrl-C or SIGTERM, or its terminal going
// away: no new burn, the running ones end; a second Ctrl-C interrupts them).
int RunStation(const StationSettings& settings, StationWorld& world, Supervisor& burns,
               EventSink& sink, Controls& controls);

}  // namespace norvane::line
