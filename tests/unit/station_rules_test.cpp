// A station's rules, in one process on a clock of the test's own: a fake machine
// (its sockets, serial ports, holders, claims, record) and a fake supervisor that
// starts no process. When a unit is burnt, never twice, a socket emptied, a cable
// that comes and goes, stopping, a record that cannot be written, serial ports
// that keep silent.
#include <gtest/gtest.h>

#include <deque>
#include <set>

#include "burn/flash_phase.h"
#include "burn/model_selection.h"
#include "line/serial_watch.h"
#include "line/station.h"

namespace norvane::line {
namespace {

using namespace std::chrono_literals;

class FakeWorld : public StationWorld {
  public:
    Clock::time_point now{};
    UsbUnits usb;
    std::map<std::string, bool> answers;  // a serial port's next answer; missing: still asking
    std::map<std::string, Clock::time_point> asked;  // when each port's ask began
    std::set<std::string> missing;
    std::map<std::string, std::string> holders;   // who burns the PLC on a port
    std::map<std::string, std::string> stations;  // another station's claims
    std::string recordProblem;
    std::vector<RecordedBurn> recorded;
    std::vector<std::string> recordLines;           // what the station itself recorded
    std::map<std::string, PlcIdentity> identities;  // what a port answers; missing: a PV
    std::set<std::string> again;                    // --again asked for these
    std::set<std::string> identifying;
    bool hears = false;  // tells what changed, as the machine's events do
    WorldNews news;

    Clock::time_point Now() override { return now; }
    UsbUnits PlcsOnUsb() override { return usb; }
    bool HearsUsb() override { return hears; }
    WorldNews TakeNews() override { return std::exchange(news, {}); }
    bool PortExists(const std::string& port) override { return missing.count(port) == 0; }
    void Ask(const std::string& port) override { asked[port] = now; }
    // A PLC answers at once; silence is known only once the ask has listened.
    std::optional<bool> Answer(const std::string& port) override {
        const auto answer = answers.find(port);
        if (answer == answers.end() ||
            (!answer->second && now - asked[port] < std::chrono::milliseconds(kSerialAskMs))) {
            return std::nullopt;
        }
        return answer->second;
    }
    void Identify(const std::string& port) override { identifying.insert(port); }
    std::optional<PortIdentity> Identified(const std::string& port) override {
        if (identifying.erase(port) == 0) {
            return std::nullopt;
        }
        const auto told = identities.find(port);
        return PortIdentity{told != identities.end() ? told->second : Pv(), BurnEvent{}};
    }
    static PlcIdentity Pv() {
        PlcIdentity pv;
        pv.mode = PlcIdentity::Mode::Application;
        pv.models = {ModelIndexForImageName("PV_v2.bin")};
        return pv;
    }
    bool AgainAsked(const std::string& usbSerial) override { return again.erase(usbSerial) > 0; }
    bool Record(const std::string& line, std::string&) override {
        recordLines.push_back(line);
        return true;
    }
    std::string PlcHolder(const std::string& port) override {
        return holders.count(port) != 0 ? holders[port] : "";
    }
    std::unique_ptr<machine::SocketClaim> Claim(const std::string& socket,
                                                std::string& holder) override {
        if (stations.count(socket) != 0) {
            holder = stations[socket];
            return nullptr;
        }
        return std::make_unique<machine::SocketClaim>();
    }
    bool RecordWritable(std::string& why) override {
        why = recordProblem;
        return why.empty();
    }
    std::vector<RecordedBurn> RecordedSince() override { return std::exchange(recorded, {}); }
    void Notify(const std::string&) override {}
    // The line's record, where a test gives one: its word on each unit asked.
    std::optional<LineWord> lineWord;
    std::map<std::string, UnitAsk> linesAsked;
    bool AsksLine() const override { return lineWord.has_value(); }
    void AskLine(const std::string& port, const UnitAsk& ask) override { linesAsked[port] = ask; }
    std::optional<LineWord> LineAnswered(const std::string& port) override {
        if (linesAsked.count(port) == 0) {
            return std::nullopt;
        }
        return *lineWord;
    }
};

class FakeBurns : public Supervisor {
  public:
    std::vector<std::string> started;
    std::vector<std::string> images;  // the image each burn was started with
    std::deque<BurnNews> news;
    std::set<std::string> running;
    bool interrupted = false;

    void Start(const std::string& port, bool, std::shared_ptr<const RunImage> image) override {
        started.push_back(port);
        images.push_back(image->name);
        running.insert(port);
    }
    std::optional<BurnNews> Next(std::chrono::milliseconds) override {
        if (news.empty()) {
            return std::nullopt;
        }
        BurnNews next = news.front();
        news.pop_front();
        return next;
    }
    void InterruptAll() override { interrupted = true; }
    void HangUpAll() override {}
    std::size_t Running() const override { return running.size(); }

    void End(const std::string& port, int status, OutcomeCode outcome = OutcomeCode::Success,
             const std::string& message = "") {
        news.push_back(BurnNews{port, std::nullopt, BurnOver{status, outcome, message}});
        running.erase(port);
    }
};

class Sink : public EventSink {
  public:
    std::vector<BurnEvent> events;
    void Put(BurnEvent event) override { events.push_back(std::move(event)); }
};

// A station on a fake machine, turned by hand.
class StationRules : public ::testing::Test {
  protected:
    void Begin(std::vector<WatchedPort> ports = {}, ImageSet images = Images({"PV_v2.bin"})) {
        station_ = std::make_unique<Station>(
            StationSettings{std::move(ports), false, std::move(images), reread_, "", keep_}, world_,
            burns_, sink_);
        for (int look = 0; look < 100 && !station_->Begin(); ++look) {
            world_.now += 20ms;
        }
    }
    // `seconds` of the station's life, a look at a time.
    void Turn(double seconds = 0.2) {
        for (auto left = std::chrono::duration<double>(seconds); left.count() > 0; left -= 200ms) {
            world_.now += 200ms;
            station_->Step(0ms);
            station_->Step(0ms);  // the news of a burn that ended, and its look
        }
    }
    void Plug(const std::string& socket, const std::string& serial) {
        world_.usb[socket] = UsbUnit{serial, "/dev/x"};
    }
    void Unplug(const std::string& socket) { world_.usb.erase(socket); }
    // What the socket's row says now: its state, and its message after a colon.
    std::string Says(const std::string& socket) const {
        for (auto e = sink_.events.rbegin(); e != sink_.events.rend(); ++e) {
            if (e->kind() == EventKind::Socket && e->port == socket) {
                const SocketFields& s = e->Get<SocketFields>();
                return std::string(SocketWord(s.state)) + (s.message.empty() ? "" : ": ") +
                       s.message;
            }
        }
        return "";
    }

    // Images of these names (each naming its model), their digest their name's.
    static ImageSet Images(const std::vector<std::string>& names) {
        ImageSet set;
        std::string error;
        for (const std::string& name : names) {
            RunImage image;
            image.name = name;
            image.modelIndex = ModelIndexForImageName(name.c_str());
            image.sha256 = name == "PV_v2.bin" ? "aa" : name;
            EXPECT_TRUE(set.Add(std::move(image), error)) << error;
        }
        return set;
    }

    // The last socket event of `socket`.
    SocketFields Row(const std::string& socket) const {
        for (auto e = sink_.events.rbegin(); e != sink_.events.rend(); ++e) {
            if (e->kind() == EventKind::Socket && e->port == socket) {
                return e->Get<SocketFields>();
            }
        }
        return {};
    }
    // The outcome words of what the station recorded itself, in order.
    std::vector<std::string> RecordedOutcomes() const {
        std::vector<std::string> outcomes;
        for (const std::string& line : world_.recordLines) {
            const std::size_t at = line.find(R"("outcome": ")") + 12;
            outcomes.push_back(line.substr(at, line.find('"', at) - at));
        }
        return outcomes;
    }

    FakeWorld world_;
    std::function<bool(ImageSet&, std::string&)> reread_;
    std::function<bool(const std::string&, std::string&)> keep_;
    FakeBurns burns_;
    Sink sink_;
    std::unique_ptr<Station> station_;
};

TEST_F(StationRules, AUnitIsBurntOnceItArrivesAndNeverTwice) {
    Begin();
    Plug("usb-path:1-2", "U1");
    Turn();
    EXPECT_EQ(burns_.started, std::vector<std::string>{"usb-path:1-2"});
    EXPECT_EQ(Says("usb-path:1-2"), "working");
    burns_.End("usb-path:1-2", 0);
    Turn();
    EXPECT_EQ(Says("usb-path:1-2"), "take_out: done: take it out");
    Unplug("usb-path:1-2");
    Turn();
    EXPECT_EQ(Says("usb-path:1-2"), "empty");
    Plug("usb-path:1-3", "U1");  // the same unit in another socket
    Turn();
    EXPECT_EQ(Says("usb-path:1-3").rfind("take_out: already burnt (USB serial number U1", 0), 0u);
    EXPECT_EQ(burns_.started.size(), 1u);
}

TEST_F(StationRules, AStationToldWhatChangesLooksThereAtOnceAndElseOnceASecond) {
    world_.hears = true;
    Begin();
    world_.now += 200ms;
    station_->Step(0ms);
    // A unit nobody told of is seen at the look due a second after the last.
    Plug("usb-path:1-2", "U1");
    world_.now += 900ms;
    station_->Step(0ms);
    EXPECT_EQ(Says("usb-path:1-2"), "");
    world_.now += 100ms;
    station_->Step(0ms);
    EXPECT_EQ(burns_.started, std::vector<std::string>{"usb-path:1-2"});
    // One told of is burnt at once, no time passing.
    Plug("usb-path:1-3", "U2");
    world_.news.usb = true;
    station_->Step(0ms);
    EXPECT_EQ(burns_.started, (std::vector<std::string>{"usb-path:1-2", "usb-path:1-3"}));
}

TEST_F(StationRules, TheRecordDecidesWhatIsDoneWhateverWroteIt) {
    const auto recorded = [](const char* serial, const char* sha, int status, bool erased) {
        RecordedBurn r;
        r.usbSerial = serial;
        r.model = "PV";
        r.sha256 = sha;
        r.image = "PV_v1.bin";
        r.exitStatus = status;
        r.eraseBegun = erased;
        return r;
    };
    // Before the start: a success, one with another image, a failure after the erase.
    world_.recorded = {recorded("A", "aa", 0, true), recorded("B", "bb", 0, true),
                       recorded("C", "aa", 1, true)};
    Begin();
    world_.recorded = {recorded("D", "aa", 0, true)};  // written while it runs
    const struct {
        const char* serial;
        bool burnt;
    } units[] = {{"A", false}, {"B", true}, {"C", true}, {"D", false}};
    for (const auto& unit : units) {
        SCOPED_TRACE(unit.serial);
        const std::size_t before = burns_.started.size();
        Plug("usb-path:2-1", unit.serial);
        Turn();
        EXPECT_EQ(burns_.started.size() - before, unit.burnt ? 1u : 0u);
        if (unit.burnt) {
            burns_.End("usb-path:2-1", 1);
            Turn();
        }
        Unplug("usb-path:2-1");
        Turn();
    }
    EXPECT_EQ(Says("usb-path:2-1"), "empty");
}

TEST_F(StationRules, ACableThatComesAndGoesIsTakenOnceItStays) {
    Begin({{"usb-path:1-2", true}});
    for (int arrival = 0; arrival < 5; ++arrival) {
        Plug("usb-path:1-2", "");
        Turn();
        if (arrival < 4) {
            burns_.End("usb-path:1-2", 1);  // each arrival before the fifth is a burn
            Turn();
        }
        Unplug("usb-path:1-2");
        Turn();
    }
    EXPECT_EQ(burns_.started.size(), 4u);
    Plug("usb-path:1-2", "");
    Turn();
    EXPECT_EQ(Says("usb-path:1-2"), "unsteady: it comes and goes: check the cable and the socket");
    Turn(9.6);
    EXPECT_EQ(burns_.started.size(), 4u);
    Turn(0.6);
    EXPECT_EQ(burns_.started.size(), 5u);
}

TEST_F(StationRules, StoppingBurnsNothingNewAndEndsWithTheLastBurn) {
    Begin();
    Plug("usb-path:1-2", "S1");
    Turn();
    station_->Stop();
    Plug("usb-path:1-3", "S2");
    Turn();
    EXPECT_EQ(Says("usb-path:1-3"), "take_out: the station is stopping: nothing more is burnt");
    EXPECT_FALSE(station_->Over());
    station_->InterruptBurns();
    EXPECT_TRUE(burns_.interrupted);
    burns_.End("usb-path:1-2", 130, OutcomeCode::Interrupted);
    Turn();
    EXPECT_TRUE(station_->Over());
    EXPECT_EQ(station_->Stopped(), 130);
}

TEST_F(StationRules, ARecordThatCannotBeWrittenBurnsNothing) {
    Begin();
    world_.recordProblem = "the disk is full";
    Plug("usb-path:1-2", "R1");
    Turn();
    EXPECT_EQ(Says("usb-path:1-2"),
              "take_out: the record cannot be written, so nothing is burnt: the disk is full");
    EXPECT_TRUE(burns_.started.empty());
}

// Serial ports are asked beside the loop: ports that never answer hold up no USB
// socket; a port that answers is burnt; three unanswered asks empty it.
TEST_F(StationRules, SerialPortsThatKeepSilentHoldUpNothing) {
    for (const char* port : {"/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"}) {
        world_.answers[port] = false;  // empty when the station starts
    }
    Begin({{"/dev/ttyS1", false},
           {"/dev/ttyS2", false},
           {"/dev/ttyS3", false},
           {"usb-path:1-2", true}});
    world_.answers.erase("/dev/ttyS1");  // asked on and on, never answered
    Plug("usb-path:1-2", "Q1");
    Turn();
    EXPECT_EQ(burns_.started, std::vector<std::string>{"usb-path:1-2"});
    world_.answers["/dev/ttyS2"] = true;
    Turn(1.2);
    EXPECT_EQ(Says("/dev/ttyS2"), "working");
    burns_.End("/dev/ttyS2", 0);
    world_.answers["/dev/ttyS2"] = false;  // taken away
    Turn(0.4);
    EXPECT_EQ(Says("/dev/ttyS2"),
              "take_out: done: take it out; leave the port empty 2 s before the next");
}

// A technician's swap on a serial port: each unit out for a few seconds, the
// next put in. Each is burnt: a port is emptied within the silence its row asks
// for and a second, never taken for the same unit.
TEST_F(StationRules, ASerialPortEmptiedForItsSilenceTakesTheNextUnit) {
    world_.answers["/dev/ttyS1"] = false;
    Begin({{"/dev/ttyS1", false}});
    for (int unit = 1; unit <= 5; ++unit) {
        SCOPED_TRACE(unit);
        world_.answers["/dev/ttyS1"] = true;
        Turn(1.4);
        ASSERT_EQ(Says("/dev/ttyS1"), "working");
        Turn(15);  // a burn's time: five units are no cable that comes and goes
        burns_.End("/dev/ttyS1", 0);
        Turn();
        world_.answers["/dev/ttyS1"] = false;
        Turn(std::chrono::duration<double>(kLeaveEmpty).count() + 1.0);
        EXPECT_EQ(Says("/dev/ttyS1"), "empty");
    }
    EXPECT_EQ(burns_.started.size(), 5u);
}

TEST_F(StationRules, WhatOthersHoldIsLeftToThem) {
    Plug("usb-path:1-2", "T1");
    world_.holders["usb-path:1-2"] = "norvane-fwupdate, pid 7";
    world_.stations["usb-path:1-3"] = "norvane-fwupdate --watch, pid 8";
    Begin({{"usb-path:1-2", true}, {"usb-path:1-3", true}});
    EXPECT_EQ(Says("usb-path:1-2"),
              "busy: another program burns this PLC: norvane-fwupdate, pid 7");
    EXPECT_EQ(Says("usb-path:1-3"),
              "other_station: another station watches it: norvane-fwupdate --watch, pid 8");
    Plug("usb-path:1-3", "T2");
    Turn();
    world_.holders.clear();
    world_.stations.clear();
    Turn();
    EXPECT_EQ(Says("usb-path:1-2"),
              "take_out: another program had it: take it out and plug it in again");
    EXPECT_EQ(Says("usb-path:1-3").rfind("take_out: it was there when this station took", 0), 0u);
    EXPECT_TRUE(burns_.started.empty());
}

// Several models on one station: each unit is burnt with its own model's image;
// one whose model has no image here, or cannot be told, is left untouched and
// recorded; its socket's yield counts each.
TEST_F(StationRules, EachUnitGetsTheImageOfItsModel) {
    Begin({}, Images({"PV_v2.bin", "QB7_v1.bin"}));
    const auto is = [](std::vector<const char*> models, PlcIdentity::Mode mode) {
        PlcIdentity id;
        id.mode = mode;
        for (const char* model : models) {
            id.models.push_back(ModelIndexForImageName((std::string(model) + "_x").c_str()));
        }
        return id;
    };
    using Mode = PlcIdentity::Mode;
    const struct {
        PlcIdentity id;
        const char* image;  // burnt with; empty: untouched, and its row says
        const char* says;
    } units[] = {
        {is({"PV"}, Mode::Application), "PV_v2.bin", ""},
        {is({"QB7"}, Mode::Bootloader), "QB7_v1.bin", ""},
        {is({"NT4"}, Mode::Application), "", "no image for an NT4 here: take it out"},
        {is({"QB5", "QB5-AIO"}, Mode::Bootloader), "", "no image for a QB5 or QB5-AIO here"},
        {is({"PV", "QB7"}, Mode::Bootloader), "", "it may be a PV or QB7, and nothing it answers"},
        {is({}, Mode::None), "", "its model cannot be told (no PLC answered): take it out"},
        {is({}, Mode::RunMode), "", "in RUN mode: switch it to STOP"},
    };
    int n = 0;
    for (const auto& unit : units) {
        SCOPED_TRACE(unit.says);
        const std::string socket = "usb-path:3-" + std::to_string(++n);
        world_.identities[socket] = unit.id;
        const std::size_t before = burns_.started.size();
        Plug(socket, "M" + std::to_string(n));
        Turn();
        if (*unit.image != '\0') {
            ASSERT_EQ(burns_.started.size(), before + 1);
            EXPECT_EQ(burns_.images.back(), unit.image);
            burns_.End(socket, 0);
            Turn();
        } else {
            EXPECT_EQ(burns_.started.size(), before);
            EXPECT_NE(Says(socket).find(unit.says), std::string::npos) << Says(socket);
        }
        Unplug(socket);
        Turn();
    }
    EXPECT_EQ(RecordedOutcomes(), (std::vector<std::string>{"no_image", "no_image", "no_image",
                                                            "no_image", "run_mode"}));
    EXPECT_EQ(std::make_pair(Row("usb-path:3-2").done, Row("usb-path:3-3").failed),
              std::make_pair(1, 1));
}

// A unit that failed twice in a row here goes to the repair bench: recorded,
// never burnt a third time until someone asks for it again.
TEST_F(StationRules, AUnitThatFailedTwiceIsSetAsideUntilAskedAgain) {
    Begin();
    const std::string socket = "usb-path:1-2";
    const auto arrive = [&] {
        Unplug(socket);
        Turn();
        Plug(socket, "F1");
        Turn();
    };
    for (int burn = 1; burn <= 2; ++burn) {
        arrive();
        burns_.End(socket, 1, OutcomeCode::TransferFailed, "Firmware update is FAILED");
        Turn();
    }
    EXPECT_EQ(Says(socket),
              "take_out: failed twice: to the repair bench (Firmware update is FAILED)");
    arrive();
    EXPECT_EQ(Says(socket), "take_out: failed twice: to the repair bench");
    EXPECT_EQ(burns_.started.size(), 2u);
    ASSERT_EQ(RecordedOutcomes(), std::vector<std::string>{"set_aside"});
    EXPECT_NE(world_.recordLines.back().find("failed 2 times in a row"), std::string::npos);
    world_.again.insert("F1");
    arrive();
    EXPECT_EQ(burns_.started.size(), 3u);
    burns_.End(socket, 0);
    Turn();
    const SocketFields row = Row(socket);
    EXPECT_EQ(std::make_tuple(row.done, row.failed, row.setAside), std::make_tuple(1, 2, 1));
}

// Images read again serve the units that arrive from then on; a set that no
// longer checks out leaves the old one, and the station says so.
TEST_F(StationRules, ImagesReadAgainServeTheNextUnits) {
    bool checksOut = true;
    reread_ = [&checksOut](ImageSet& images, std::string& why) {
        why = "PV_v4.bin has 9 bytes, fewer than a PV keeps";
        images = Images({"PV_v3.bin"});
        return checksOut;
    };
    Begin();
    Plug("usb-path:1-2", "A");
    Turn();
    station_->Reread();
    Plug("usb-path:1-3", "B");
    Turn();
    checksOut = false;
    station_->Reread();
    Plug("usb-path:1-4", "C");
    Turn();
    EXPECT_EQ(burns_.images, (std::vector<std::string>{"PV_v2.bin", "PV_v3.bin", "PV_v3.bin"}));
    const auto said = std::find_if(sink_.events.rbegin(), sink_.events.rend(),
                                   [](const auto& e) { return e.kind() == EventKind::Station; });
    ASSERT_NE(said, sink_.events.rend());
    EXPECT_EQ(said->template Get<StationFields>().message,
              "the images were not read again (PV_v4.bin has 9 bytes, fewer than a PV keeps); it "
              "keeps PV_v3.bin");
}

// A unit pulled out while its burn runs: the operator never saw its failure, so
// its row keeps it until the next unit arrives. A unit the burn itself let go
// (its replug) and one taken out after its failure was shown are not pulled.
TEST_F(StationRules, APulledUnitsFailureStaysOnItsRowUntilTheNext) {
    struct Case {
        const char* name;
        std::vector<BurnEvent> before;  // the burn's events before the unit leaves
        bool leaveBeforeTheEnd;
        const char* emptied;  // what the emptied row says
    };
    const std::string socket = "usb-path:1-2";
    const BurnEvent programming{socket, ProgressFields{kFlashProgramming, 40, 0, 0, 9}};
    const BurnEvent replug{socket, WaitFields{WaitFor::Replug, 30}};
    const Case cases[] = {
        {"mid-transfer",
         {programming},
         true,
         "empty: failed: pulled out during Programming, it must be burnt again"},
        {"in its replug", {replug}, true, "empty"},
        {"after the failure was shown", {programming}, false, "empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sink_ = Sink{};
        Begin();
        Plug(socket, std::string("P-") + c.name);
        Turn();
        for (const BurnEvent& event : c.before) {
            burns_.news.push_back(BurnNews{socket, event, std::nullopt});
        }
        Turn();
        if (c.leaveBeforeTheEnd) {
            Unplug(socket);
            Turn();
        }
        const EndFields end{"ERROR", "Firmware update is FAILED", 1, 9, 0, true, false,
                            "b",     OutcomeCode::TransferFailed};
        burns_.news.push_back(BurnNews{socket, BurnEvent{socket, end}, std::nullopt});
        burns_.End(socket, 1, OutcomeCode::TransferFailed, end.message);
        Turn();
        Unplug(socket);
        Turn(2);
        EXPECT_EQ(Says(socket), c.emptied);
        Plug(socket, std::string("N-") + c.name);
        Turn();
        EXPECT_EQ(Says(socket), "working");
        burns_.End(socket, 0);
        Turn();
        Unplug(socket);
        Turn();
    }
}

// Where stations share their record, a unit with a serial number is burnt only
// once the line has said that it may: not where it was burnt with this image
// elsewhere, nor while another station burns it; a line that cannot be asked
// leaves each station its own rule.
TEST_F(StationRules, TheLineSaysWhetherAUnitIsBurnt) {
    struct Case {
        LineWord word;
        const char* says;
        bool burnt;
    };
    const Case cases[] = {
        {{"station B, socket usb-path:1-4, 10:42", "", ""},
         "take_out: burnt at station B, socket usb-path:1-4, 10:42: take it out",
         false},
        {{"", "station B, socket usb-path:1-4", ""},
         "take_out: being burnt at station B, socket usb-path:1-4: take it out",
         false},
        {{"", "", "cannot reach the record database"}, "working", true},
        {{}, "working", true},
    };
    const std::string socket = "usb-path:1-2";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        world_.lineWord = c.word;
        world_.linesAsked.clear();
        burns_.started.clear();
        Begin();
        Plug(socket, "L1");
        Turn();
        ASSERT_EQ(world_.linesAsked.count(socket), 1u);
        EXPECT_EQ(world_.linesAsked[socket].usbSerial, "L1");
        EXPECT_EQ(world_.linesAsked[socket].sha256, "aa");
        EXPECT_EQ(Says(socket), c.says);
        EXPECT_EQ(burns_.started.size(), c.burnt ? 1u : 0u);
        if (c.burnt) {
            burns_.End(socket, 1, OutcomeCode::TransferFailed, "failed");
            Turn();
        }
        Unplug(socket);
        Turn();
    }
}

}  // namespace
}  // namespace norvane::line
