// The terminal front end's own pieces: its command line, status line, trace
// lines and the image digest it prints.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "burn/catalogue.h"
#include "burn/model_selection.h"
#include "burn/sha256.h"
#include "json_fields.h"
#include "line/burn_record.h"
#include "line/process_supervisor.h"
#include "line/run_image.h"
#include "line/station_socket.h"
#include "line/unit_history.h"
#include "ui/cli/event_views.h"
#include "ui/cli/options.h"
#include "ui/cli/plc_row.h"
#include "ui/cli/status_line.h"
#include "ui/cli/trace_link.h"

namespace norvane::cli {
namespace {

bool Parse(std::vector<const char*> args, Options& options, std::string& error) {
    args.insert(args.begin(), "norvane-fwupdate");
    return ParseOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(CliOptions, AcceptedCommandLines) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"--port", "/dev/pts/7", "--yes", "--trace"}, o, error));
    EXPECT_EQ(o.ports, std::vector<std::string>{"/dev/pts/7"});
    EXPECT_TRUE(o.yes && o.trace && o.mode == Mode::Burn);
    ASSERT_TRUE(Parse({"--port=ttyUSB0", "-y"}, o, error));
    EXPECT_EQ(o.ports, std::vector<std::string>{"ttyUSB0"});
    EXPECT_TRUE(o.yes);
    ASSERT_TRUE(Parse({}, o, error));
    EXPECT_TRUE(o.ports.empty());
    EXPECT_FALSE(o.yes);
    EXPECT_EQ(o.replugTimeoutSeconds, 30);
    ASSERT_TRUE(Parse({"--replug-timeout", "1"}, o, error));  // the lower bound
    EXPECT_EQ(o.replugTimeoutSeconds, 1);
    ASSERT_TRUE(Parse({"--port", "usb-path:1-2", "--port=usb-serial:A1", "--json", "--record",
                       "burns.log", "--replug-timeout=45", "--yes"},
                      o, error));
    EXPECT_EQ(o.ports, (std::vector<std::string>{"usb-path:1-2", "usb-serial:A1"}));
    EXPECT_TRUE(o.json && o.mode == Mode::Several);
    EXPECT_EQ(o.record, "burns.log");
    EXPECT_EQ(o.replugTimeoutSeconds, 45);
    ASSERT_TRUE(Parse({"--watch", "--image", "QB7_a.bin", "--image=NT4_a.bin"}, o, error)) << error;
    EXPECT_EQ(o.moreImages, std::vector<std::string>{"NT4_a.bin"});
    EXPECT_TRUE(Parse({"--again", "SN1"}, o, error) && o.mode == Mode::Again && o.again == "SN1");
}

TEST(CliOptions, UsageErrorsSayWhatIsWrong) {
    const struct {
        std::vector<const char*> args;
        const char* error;
    } cases[] = {
        {{"--port"}, "--port needs a port name, a path or a USB identity"},
        {{"--port="}, "--port needs a port name, a path or a USB identity"},
        {{"--port", "a", "--port", "a"}, "--port a given twice"},
        {{"--record"}, "--record needs a file name"},
        {{"--replug-timeout", "0"}, "--replug-timeout needs whole seconds from 1 to 3600"},
        {{"--replug-timeout=3601"}, "--replug-timeout needs whole seconds from 1 to 3600"},
        {{"--replug-timeout", "-5"}, "--replug-timeout needs whole seconds from 1 to 3600"},
        {{"--trace", "--port", "a", "--port", "b"},
         "--trace follows one PLC: give one --port with it"},
        {{"--yes", "--frobnicate"}, "unknown option '--frobnicate'"},
        {{"--history"}, "--history reads one record: give --record-db URL or --record FILE"},
        {{"--yield", "--record", "a", "--record-db", "sqlite:b"},
         "--yield reads one record: give --record-db URL or --record FILE"},
        {{"--import-record", "a.jsonl"},
         "--import-record brings a record into a record database: give --record-db URL"},
        {{"--watch", "--record-db", "sqlite:b"},
         "--record-db keeps what --record writes: give --record FILE too"},
        {{"--history", "--record", "a", "--json", "--csv"},
         "--json and --csv are two forms: give one"},
        {{"--yield", "--record", "a", "--by", "week"},
         "--by needs socket, model, station or hour, not 'week'"},
        {{"--history", "--watch"}, "--history and --watch are two different tasks: give one"},
        {{"--record-db", "sqlite:b", "--port", "a"}, "--record-db does not go with a burn"},
        {{"--serial", "S", "--yield", "--record", "a"}, "--serial does not go with --yield"},
        {{"COM3"}, "unknown option 'COM3'"},
        {{"--image", "QB7_a.bin", "--image", "NT4_a.bin"},
         "a burn burns one image: only --watch takes several --image files or --image-dir"},
        {{"--watch", "--image", "QB7_a.bin", "--image-dir", "fw"},
         "--image-dir and --image both name the images: give one of them"},
        {{"--watch", "--image-dir", "fw", "--expect-sha256", "ab"},
         "--expect-sha256 is the digest of one image: give it with one --image"},
        {{"--again", "S1", "--port", "a"}, "--port does not go with --again"},
    };
    for (const auto& c : cases) {
        Options o;
        std::string error;
        EXPECT_FALSE(Parse(c.args, o, error));
        EXPECT_EQ(error, c.error);
    }
}

TEST(StatusLine, ShowsWhatThePanelShows) {
    EXPECT_EQ(FormatStatusLine({12, 50, 1, 0, 3}),
              "  12 s [###############---------------]  50 % Erasing      errors 0/3");
    EXPECT_EQ(FormatStatusLine({0, 0, 0, 0, 0}),
              "   0 s [------------------------------]   0 % Idle         errors 0/0");
    EXPECT_EQ(FormatStatusLine({1234, 100, 2, 6, 2147483647}),
              "1234 s [##############################] 100 % Programming  errors 6/2147483647");
    EXPECT_EQ(std::string(PhaseWord(3)), "");
    // The several-PLC table reads the phase back from its children's events.
    for (const std::int32_t phase : {kFlashIdle, kFlashErasing, kFlashProgramming}) {
        EXPECT_EQ(PhaseOfWord(PhaseWord(phase)), phase);
    }
    EXPECT_EQ(PhaseOfWord("Burning"), kFlashIdle);
    EXPECT_EQ(FormatPhaseLine({7, 0, 2, 0, 0}), "[   7 s] Programming");
}

// What the PLC reported goes into the record as the PLC tool writes such values;
// what it did not report is null, never a made-up 0.
TEST(BurnRecordLine, ReportedValuesInHexAndNullWhereUnknown) {
    const line::RecordPlace place{"COM3", "", "1-2.3", ""};
    const line::ImageFacts image{"1.1.0", "QB7", "QB7_v1.bin", 4096, "ab"};
    const auto record = [&](line::PlcReport report) {
        return *test::JsonFields::Parse(
            line::RecordLine(line::EndFields{}, place, report, image, line::WrittenBy::Burn, 0));
    };
    const test::JsonFields reported = record({0x3000, 0x10});
    EXPECT_EQ(reported.Text("time"), "1970-01-01T00:00:00Z");
    EXPECT_EQ(reported.Text("plc_type"), "0x3000");
    EXPECT_EQ(reported.Text("boot_version"), "0x10");
    EXPECT_EQ(reported.Text("usb_path"), "1-2.3");
    EXPECT_EQ(reported.TypeOf("device"), test::JsonFields::Type::Null);
    EXPECT_EQ(reported.TypeOf("usb_serial"), test::JsonFields::Type::Null);
    const test::JsonFields unknown = record({});
    EXPECT_EQ(unknown.TypeOf("plc_type"), test::JsonFields::Type::Null);
    EXPECT_EQ(unknown.TypeOf("boot_version"), test::JsonFields::Type::Null);
}

TEST(TraceLine, DirectionCountsHexAndText) {
    const std::uint8_t frame[] = {':', '0', '0', 0x0D, 0x0A};
    EXPECT_EQ(FormatTraceLine(1234, "TX", frame, 5, 5), "1234 ms TX 5/5 3A 30 30 0D 0A  |:00..|");
    EXPECT_EQ(FormatTraceLine(0, "RX", frame, 0, 19), "0 ms RX 0/19");
}

TEST(Sha256, KnownDigests) {
    const std::string abc = "abc";
    EXPECT_EQ(Sha256Hex(reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size()),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex(nullptr, 0),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const std::string two =
        "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";  // 56: two tails
    EXPECT_EQ(Sha256Hex(reinterpret_cast<const std::uint8_t*>(two.data()), two.size()),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    const std::string block(64, 'a');
    EXPECT_EQ(Sha256Hex(reinterpret_cast<const std::uint8_t*>(block.data()), block.size()),
              "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

}  // namespace
}  // namespace norvane::cli

namespace norvane::cli {
namespace {

line::BurnEvent Progress(std::int32_t percent, std::int64_t seconds) {
    return line::BurnEvent{"p", line::ProgressFields{kFlashProgramming, percent, 0, 1, seconds}};
}

// A row tells what its PLC does, what it waits for and how long the transfer has
// left, in the columns it has.
TEST(PlcRowText, StatesWaitsAndTheTimeLeft) {
    using namespace std::chrono_literals;
    const PlcRow::Clock::time_point t0{};
    PlcRow row;
    row.Apply(line::BurnEvent{"p", line::WaitFields{line::WaitFor::Reconnect, 30}}, t0);
    EXPECT_EQ(row.Text(t0 + 4s, 0), "waiting for the PLC: 26 s left");
    // A bounded replug or power cycle counts down behind what to do; a prompt has no end.
    row.Apply(line::BurnEvent{"p", line::WaitFields{line::WaitFor::Replug, 75}}, t0);
    EXPECT_EQ(row.Text(t0 + 5s, 0), "replug the USB cable now, 1:10 left");
    // Its time up, the burn goes on: what happens next, not "0:00 left".
    EXPECT_EQ(row.Text(t0 + 90s, 0), "no replug seen: the burn goes on, do not unplug it");
    row.Apply(line::BurnEvent{"p", line::WaitFields{line::WaitFor::PowerCycle, std::nullopt}}, t0);
    EXPECT_EQ(row.Text(t0 + 5s, 0), "power the PLC off and on now");
    row.Apply(Progress(0, 10), t0 + 10s);
    row.Apply(Progress(25, 14), t0 + 14s);
    EXPECT_EQ(row.Text(t0 + 14s, 0), "Programming  25 %  errors 0/1    14 s  0:12 left");
    EXPECT_EQ(row.Text(t0 + 14s, 40), "Programming  25 %  errors 0/1  0:12 left");
    EXPECT_EQ(row.Text(t0 + 14s, 20), "Programming  25 %  0");
    // Between two percent steps the time left counts down; it never grows.
    EXPECT_EQ(row.Detail(t0 + 15s), "0:11 left");
    EXPECT_EQ(row.Detail(t0 + 17s), "0:09 left");
    line::EndFields end;
    end.caption = "ERROR";
    end.message = "PLC in RUN MODE";
    end.exitStatus = 1;
    row.Apply(line::BurnEvent{"p", end}, t0 + 15s);
    EXPECT_EQ(row.state(), PlcRow::State::Failed);
    EXPECT_EQ(row.Text(t0 + 15s, 0), "ERROR: PLC in RUN MODE");
    EXPECT_EQ(CountLine({1, 1, 0}), "2 PLCs: 1 succeeded, 1 failed");
    EXPECT_EQ(CountLine({1, 1, 0, 0, true}), "2 PLCs checked: 1 ready, 1 not ready");
    EXPECT_EQ(CountLine({0, 1, 1, 2}),
              "2 PLCs: 0 succeeded, 1 failed, 1 interrupted, 2 must be burnt again");
}

// A station's rows name a socket by its label, or without "usb-path:", so that
// a narrow terminal cuts the reason, never what to do.
TEST(TableCount, ASocketsRowKeepsItsInstruction) {
    std::FILE* file = std::tmpfile();
    Output out(file, "a file");
    TableView table(out, true, {"usb-path:1-2", "usb-path:1-3"}, [] { return 30; },
                    {{"usb-path:1-3", "A3"}});
    table.Show(
        line::BurnEvent{"usb-path:1-2",
                        line::SocketFields{line::SocketState::TakeOut,
                                           "failed: take it out (Flash write error)", "", 0, 1, 0}},
        {});
    table.Close();
    std::rewind(file);
    std::string text(4096, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file));
    EXPECT_NE(text.find("\r1-2  failed: take it out (Fla\x1b[K"), std::string::npos) << text;
    EXPECT_NE(text.find("\rA3   Idle"), std::string::npos) << text;
}

// What a table over ports a, b and c writes, live `columns` wide or (0) not live,
// for the events `show` hands it.
std::string TableWrites(std::size_t columns, const std::function<void(TableView&)>& show,
                        const std::string& record = "") {
    std::FILE* file = std::tmpfile();
    {
        Output out(file, "a file");
        TableView table(
            out, columns > 0, {"a", "b", "c"}, [columns] { return columns; }, {}, record);
        show(table);
        table.Close();
    }
    std::rewind(file);
    std::string text(8192, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);
    return text;
}

// The count and the summary tell an interrupted burn as interrupted, not failed,
// and a unit whose flash was touched as one to burn again; a pulled unit's row
// keeps its failure once its socket is empty.
TEST(TableCount, InterruptedBurnsAreCountedAsSuch) {
    const std::string text = TableWrites(0, [](TableView& table) {
        for (const auto& [port, status] : {std::pair{"a", 0}, {"b", 1}, {"c", 130}}) {
            line::EndFields end;
            end.exitStatus = status;
            end.eraseBegun = true;
            table.Show(line::BurnEvent{port, end}, {});
        }
        table.Show(line::BurnEvent{"b", line::SocketFields{line::SocketState::Empty,
                                                           "failed: pulled out during Programming",
                                                           "", 0, 1, 0}},
                   {});
    });
    EXPECT_NE(text.find("3 PLCs: 1 succeeded, 1 failed, 1 interrupted, 2 must be burnt again"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  b  failed: pulled out during Programming\n"), std::string::npos) << text;
}

// A station counts units, not burns: one burnt again counts as its last burn
// ended, one without a serial number as a unit per burn; its summary names the
// units not done, and its header where it records.
TEST(TableCount, AStationCountsUnitsAndNamesThoseNotDone) {
    const auto socket = [](const char* port, line::SocketState state, const char* serial) {
        return line::BurnEvent{port, line::SocketFields{state, "", serial, 0, 0, 0}};
    };
    const auto ended = [](const char* port, int status, bool erased) {
        line::EndFields end;
        end.caption = "ERROR";
        end.message = "Flash write error";
        end.exitStatus = status;
        end.eraseBegun = erased;
        return line::BurnEvent{port, end};
    };
    const std::string text = TableWrites(
        0,
        [&](TableView& table) {
            table.Show(line::BurnEvent{"", line::StationFields{line::StationState::Watching, "QB7",
                                                               "QB7_v1.bin", "ab", false,
                                                               "QB7_v1.bin", "", ""}},
                       {});
            const std::vector<line::BurnEvent> events = {
                socket("a", line::SocketState::Working, "U1"),
                ended("a", 1, true),
                socket("a", line::SocketState::Empty, ""),
                socket("b", line::SocketState::Working, "U1"),
                ended("b", 0, false),
                socket("c", line::SocketState::Working, "U2"),
                ended("c", 1, true),
                socket("a", line::SocketState::Working, ""),
                ended("a", 1, false),
                socket("a", line::SocketState::Working, ""),
                ended("a", 0, false)};
            for (const line::BurnEvent& event : events) {
                table.Show(event, {});
            }
        },
        "/var/lib/station/burns.jsonl");
    EXPECT_NE(text.find("station watching: QB7 image QB7_v1.bin (ab), record "
                        "/var/lib/station/burns.jsonl\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nSummary:\n  c  U2  ERROR: Flash write error\n"
                        "  a  (no serial number)  ERROR: Flash write error\n"
                        "4 units: 2 succeeded, 2 failed, 1 must be burnt again\n"),
              std::string::npos)
        << text;
}

// A station told to stop says so at once, its instruction first: 60 columns cut
// the image's name, not what the operator must know.
TEST(TableCount, AStoppingStationSaysWhatThatMeansFirst) {
    const std::string text = TableWrites(60, [](TableView& table) {
        table.Show(line::BurnEvent{"", line::StationFields{line::StationState::Stopping, "QB7",
                                                           "QB7_v1.12.10_20220613_01.bin", "ab",
                                                           false, "QB7_v1.12.10_20220613_01.bin",
                                                           "the running burns finish, nothing "
                                                           "new is burnt (Ctrl-C again "
                                                           "interrupts them)",
                                                           ""}},
                   {});
    });
    EXPECT_NE(text.find("\rstopping: the running burns finish, nothing new is burnt"),
              std::string::npos)
        << text;
    // What it burns, whether it only checks, where its page is: said as it starts.
    const std::string watching = TableWrites(0, [](TableView& table) {
        table.Show(
            line::BurnEvent{"", line::StationFields{line::StationState::Watching, "QB7",
                                                    "QB7_v1.bin", "0123456789abcdef", true,
                                                    "QB7_v1.bin", "", "http://127.0.0.1:8080/"}},
            {});
    });
    EXPECT_NE(watching.find("station watching: QB7 image QB7_v1.bin (0123456789ab), checks each "
                            "unit and burns nothing, its page at http://127.0.0.1:8080/\n"),
              std::string::npos)
        << watching;
}

// The image of a run: one as large as its model takes (the built-in QB7 image is
// one) and no larger; a digest expected in either case.
TEST(RunImageRules, SizeLimitsAndDigests) {
    const line::RunImage builtIn = line::BuiltInImage();
    EXPECT_EQ(builtIn.image.size, ModelAt(builtIn.modelIndex).sizeLimit);
    const std::uint32_t limit = ModelAt(ModelIndexForImageName("NT4_x.bin")).sizeLimit;
    for (const std::uint32_t size : {limit, limit + 1}) {
        line::RunImage image;
        std::string error;
        EXPECT_EQ(
            line::ImageFromBytes("NT4_x.bin", std::vector<std::uint8_t>(size, 1), image, error),
            size == limit)
            << error;
    }
    std::string upper = builtIn.sha256;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(line::DigestProblem(builtIn, upper), "");
    EXPECT_NE(line::DigestProblem(builtIn, std::string(64, 'A')), "");
}

}  // namespace
}  // namespace norvane::cli

namespace norvane::cli {
namespace {

using line::StationSocket;

// A station's socket: a unit is taken when it arrives in an emptied socket, and
// once more only after it was taken out; a device that comes and goes five times
// a minute is not taken until it stays ten seconds.
TEST(StationSocketRules, ArrivalsEmptyingAndUnsteadyCables) {
    using namespace std::chrono_literals;
    StationSocket socket("usb-path:1-2");
    StationSocket::Clock::time_point t{};
    EXPECT_TRUE(socket.Seen(true, t));
    socket.Burning();
    EXPECT_FALSE(socket.Seen(false, t + 1s));  // the burn's own replug
    EXPECT_FALSE(socket.Seen(true, t + 2s));
    socket.Ended("done: take it out");
    EXPECT_FALSE(socket.Seen(true, t + 3s));  // still in: not taken again
    EXPECT_EQ(socket.state(), StationSocket::State::TakeOut);
    EXPECT_FALSE(socket.Seen(false, t + 4s));
    EXPECT_EQ(socket.state(), StationSocket::State::Empty);
    // In and out: by the fifth arrival in a minute it is unsteady.
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(socket.Seen(true, t + 5s + i * 2s));
        socket.Ended("failed: take it out");
        EXPECT_FALSE(socket.Seen(false, t + 6s + i * 2s));
    }
    EXPECT_FALSE(socket.Seen(true, t + 20s));
    EXPECT_EQ(socket.state(), StationSocket::State::Unsteady);
    EXPECT_FALSE(socket.Seen(true, t + 25s));
    EXPECT_TRUE(socket.Seen(true, t + 31s));  // it stayed ten seconds
}

// A unit is done only where its last burn that counts succeeded with this model
// and this image; a failure that changed nothing leaves it as it was.
TEST(UnitHistoryRules, DoneOnlyWithTheSameModelAndImage) {
    const auto line = [](const char* sha, int status, bool erased) {
        line::RecordedBurn r;
        r.usbSerial = "U1";
        r.model = "PV";
        r.sha256 = sha;
        r.exitStatus = status;
        r.eraseBegun = erased;
        return r;
    };
    const struct {
        std::vector<line::RecordedBurn> lines;
        bool done;
    } cases[] = {
        {{line("aa", 0, true)}, true},
        {{line("bb", 0, true)}, false},                       // another image
        {{line("aa", 1, false)}, false},                      // never succeeded
        {{line("aa", 0, true), line("aa", 1, true)}, false},  // its last burn broke it
        {{line("aa", 0, true), line("aa", 1, false)}, true},  // a failure that changed nothing
        {{line("bb", 0, true), line("aa", 0, true)}, true},
    };
    for (const auto& c : cases) {
        line::UnitHistory history;
        for (const line::RecordedBurn& l : c.lines) {
            history.Learn(l);
        }
        EXPECT_EQ(history.Done("U1", "PV", "aa"), c.done);
        EXPECT_FALSE(history.Done("U2", "PV", "aa"));
    }
}

// A station ends a burn that makes no progress on the line for a minute: the
// seconds its clock counts are no progress.
TEST(BurnProcessSilence, OnlyProgressOnTheLineIsHeard) {
    line::ProgressSeen seen;
    const auto progress = [&seen](std::int32_t percent, std::int64_t seconds) {
        return seen.Moved(
            line::BurnEvent{"p", line::ProgressFields{kFlashProgramming, percent, 0, 0, seconds}});
    };
    EXPECT_TRUE(progress(10, 5));
    EXPECT_FALSE(progress(10, 6));
    EXPECT_FALSE(progress(10, 7));
    EXPECT_TRUE(progress(11, 7));
    EXPECT_TRUE(seen.Moved(line::BurnEvent{"p", line::WaitFields{line::WaitFor::Restart, 2}}));
}

}  // namespace
}  // namespace norvane::cli
