// A station's scripted shift: units of every kind plugged into a few sockets at
// once and taken out, drawn from a seed: good ones (with and without a USB serial
// number), burnt ones plugged back in, one left in place after its success, one
// in RUN mode, one of another model, one whose blocks the PLC refuses, one pulled
// out mid-transfer. Every good unit is burnt once, none twice, every failure is
// told on its row and recorded, one record line per burn, and the station holds
// no more processes or descriptors at the end than at the start.
//
// NORVANE_STATION_SOAK_EVENTS (default 50) plugs and pulls; NORVANE_STATION_SOAK_SEED.
#include <deque>
#include <random>
#include <set>

#include "station_line.h"

namespace norvane::test {
namespace {

enum Kind { Good, NoSerial, Back, LeftIn, RunMode, OtherModel, RefusedBlocks, Pulled, kKinds };

// What each kind of unit is, and what its row says in the end.
struct KindOf {
    const char* says;
    bool burnt;     // a burn is started
    bool recorded;  // a burn, or a unit the station ended untouched
    bool succeeds;
    void (*make)(plcsim::PlcConfig&);
};
const KindOf kKind[kKinds] = {
    {"done", true, true, true, [](plcsim::PlcConfig&) {}},
    {"done", true, true, true, [](plcsim::PlcConfig&) {}},
    {"already burnt", false, false, false, [](plcsim::PlcConfig&) {}},
    {"done", true, true, true, [](plcsim::PlcConfig&) {}},
    {"switch it to STOP", false, true, false, [](plcsim::PlcConfig& c) { c.runMode = true; }},
    {"no image for a QB7 here", false, true, false,
     [](plcsim::PlcConfig& c) { c.appTypeId = 0x3000; }},
    {"failed", true, true, false,
     [](plcsim::PlcConfig& c) {
         c.faults.Add(
             plcsim::Fault::Every(plcsim::Exchange::Block, plcsim::FaultKind::FlashWriteError));
     }},
    // A transfer long enough to pull it out during.
    {"failed", true, true, false, [](plcsim::PlcConfig& c) { c.flashWriteTimeMs = 50; }},
};

int Setting(const char* name, int otherwise) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::atoi(value) : otherwise;
}

struct Unit {
    Kind kind;
    std::string serial;
    std::unique_ptr<ServedPv> plc;
    std::size_t since = 0;  // the station's events before it was plugged
    bool toldOnce = false;  // left in place: told, and still there
};

TEST(StationSoak, AShiftOfUnitsOfEveryKind) {
    const int events = Setting("NORVANE_STATION_SOAK_EVENTS", 50);
    const unsigned seed = static_cast<unsigned>(Setting("NORVANE_STATION_SOAK_SEED", 1));
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 draw(seed);
    FakeUsbSockets sockets;
    Line line(sockets);
    const std::size_t descriptors = line.Descriptors();

    // Sockets taken in turn, so that none sees the five arrivals a minute of a
    // cable that comes and goes.
    std::deque<std::string> free;
    for (int i = 1; i <= 16; ++i) {
        free.push_back("2-" + std::to_string(i));
    }
    std::map<std::string, std::deque<double>> arrivals;
    std::map<std::string, Unit> in;  // socket, unit
    std::vector<std::string> burntSerials;
    std::map<Kind, int> seen;
    int done = 0;
    while (done < events) {
        // Up to three units in at once.
        while (in.size() < 3 && done < events) {
            const std::string socket = free.front();
            free.pop_front();
            auto& times = arrivals[socket];
            while (times.size() >= 4 && MonotonicSeconds() - times.front() < 61) {
                usleep(200000);
            }
            times.push_back(MonotonicSeconds());
            if (times.size() > 4) {
                times.pop_front();
            }
            Kind kind = static_cast<Kind>(draw() % kKinds);
            if (kind == Back && burntSerials.empty()) {
                kind = Good;
            }
            plcsim::PlcConfig config;
            kKind[kind].make(config);
            Unit unit{kind, "", std::make_unique<ServedPv>(config), line.EventsSoFar()};
            if (kind == Back) {
                unit.serial = burntSerials[draw() % burntSerials.size()];
            } else if (kind != NoSerial) {
                unit.serial = "K" + std::to_string(done);
            }
            line.Plug(socket, *unit.plc, unit.serial);
            ++seen[kind];
            ++done;
            in[socket] = std::move(unit);
        }
        // The ones to pull out mid-transfer first, while they transfer.
        for (auto& [socket, unit] : in) {
            if (unit.kind == Pulled && unit.plc) {
                ASSERT_TRUE(line.AwaitPhase(socket, "Programming", unit.since)) << line.Output();
                line.Unplug(socket);
                unit.plc.reset();
                ++done;
            }
        }
        // Each told as it should be, then taken out (the one left in place, a
        // round later: it is not burnt again meanwhile).
        for (auto it = in.begin(); it != in.end();) {
            const std::string& socket = it->first;
            Unit& unit = it->second;
            // Left in place and told before: its row has not moved since.
            ASSERT_TRUE(unit.toldOnce || line.Await(socket, "take_out", kKind[unit.kind].says))
                << socket << "\n"
                << line.Output();
            if (kKind[unit.kind].succeeds && !unit.toldOnce) {
                EXPECT_TRUE(unit.plc->FlashHoldsImage()) << socket;
                if (!unit.serial.empty()) {
                    burntSerials.push_back(unit.serial);
                }
            }
            if (unit.kind == LeftIn && !unit.toldOnce) {
                unit.toldOnce = true;
                ++it;
                continue;
            }
            if (unit.plc) {
                line.Unplug(socket);
                ++done;
            }
            free.push_back(socket);
            it = in.erase(it);
        }
    }
    for (auto& [socket, unit] : in) {
        line.Unplug(socket);
    }
    // Every socket emptied: the station holds none of them any more.
    for (const auto& [socket, times] : arrivals) {
        ASSERT_TRUE(line.Await(socket, "empty")) << socket << "\n" << line.Output();
    }
    EXPECT_EQ(line.Descriptors(), descriptors);
    int burns = 0;
    int recorded = 0;
    int failures = 0;
    for (const auto& [kind, count] : seen) {
        burns += kKind[kind].burnt ? count : 0;
        recorded += kKind[kind].recorded ? count : 0;
        failures += kKind[kind].recorded && !kKind[kind].succeeds ? count : 0;
    }
    EXPECT_EQ(line.Stop(), failures > 0 ? 1 : 0);

    const std::vector<JsonObject> records = line.Records();
    EXPECT_EQ(static_cast<int>(line.Starts()), burns);
    EXPECT_EQ(static_cast<int>(records.size()), recorded);
    std::multiset<std::string> succeeded;
    for (const JsonObject& r : records) {
        failures -= r.Number("exit_status") != 0 ? 1 : 0;
        if (r.Number("exit_status") == 0 && !r.Text("usb_serial").empty()) {
            succeeded.insert(r.Text("usb_serial"));
        }
    }
    EXPECT_EQ(failures, 0);
    for (const std::string& serial : succeeded) {
        EXPECT_EQ(succeeded.count(serial), 1u) << serial << " burnt twice";
    }
    EXPECT_EQ(line.BurnsLeft(), 0);
    std::printf("%d plugs and pulls: %zu burns; by kind:", done, records.size());
    for (const auto& [kind, count] : seen) {
        std::printf(" %d", count);
    }
    std::printf("\n");
}

}  // namespace
}  // namespace norvane::test
