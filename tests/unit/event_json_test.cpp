// The one boundary where a burn's JSON line becomes an event: what it writes it
// reads back the same, for every kind; a line that is not an event of this
// program's (a field renamed, of another type, missing) is refused and said why.
#include "line/event_json.h"

#include <gtest/gtest.h>

namespace norvane::line {
namespace {

TEST(EventJson, EveryKindReadsBackAsItWasWritten) {
    IdentifyFields identify;
    identify.framing = "usb";
    identify.models = "QB7";
    identify.message = "QB7 (type 0x3000)";
    identify.bootVersion = "no answer";
    const BurnEvent events[] = {
        {"COM3", StartFields{"1.1.0", "QB7", "QB7_v1.bin", 4096, "ab", "0f"}},
        {"COM3", PhaseFields{2, 7}},
        {"COM3", ProgressFields{1, 50, 0, 3, 8}},
        {"COM3", RetryFields{1, 4, 9}},
        {"COM3", PromptFields{"Information", "Please REPLUG", false, WaitFor::Replug}},
        {"COM3", HandoverFields{true, 3}},
        {"COM3", WaitFields{WaitFor::Reconnect, 29}},
        {"COM3", WaitFields{WaitFor::PowerCycle, std::nullopt}},
        {"COM3",
         EndFields{"ERROR", "PLC in RUN MODE", 1, 12, 6, false, false, "0f", OutcomeCode::RunMode}},
        {"COM3", EndFields{"INFORMATION", "SUCCESSFUL", 0, 40, 0, true, true, "0f",
                           OutcomeCode::Success, true}},
        {"COM3", CheckFields{true, "", "ready to burn", 0, 2, "0f", OutcomeCode::Ready}},
        {"usb-path:1-2", identify},
        {"usb-path:1-2", PortFields{"plc-usb", "", "1-2", "/dev/ttyACM0"}},
        {"usb-path:1-2", SocketFields{SocketState::OtherStation, "pid 7", "SN\x1b", 3, 1, 1}},
        {"", StationFields{StationState::Stopping, "QB7", "QB7_v1.bin", "ab", true, "QB7_v1.bin",
                           "", "http://127.0.0.1:8080/"}},
        {"", StationFields{StationState::Watching, "", "", "", false, "QB7_v1.bin, NT4_v2.bin",
                           "the images were read again", ""}},
    };
    for (const BurnEvent& event : events) {
        const std::string line = EventLine(event);
        SCOPED_TRACE(line);
        EXPECT_EQ(line.rfind(
                      std::string(R"({"event": ")") + KindWord(event.kind()) + R"(", "port": )", 0),
                  0u);
        std::string why;
        const std::optional<BurnEvent> read = ReadEventLine(line, &why);
        ASSERT_TRUE(read) << why;
        EXPECT_EQ(EventLine(*read), line);
    }
}

TEST(EventJson, WhatIsNoEventIsRefusedAndSaidWhy) {
    const struct {
        const char* line;
        const char* why;
    } cases[] = {
        {"", "not a JSON object"},
        {R"(["start"])", "not a JSON object"},
        {R"({"event": "start", "port": "COM3"} trailing)", "not a JSON object"},
        {R"({"port": "COM3"})", "no \"event\""},
        {R"({"event": "restart", "port": "COM3"})", "an event of an unknown kind"},
        {R"({"event": "phase", "phase": "Idle", "seconds": 1})", "no \"port\""},
        {R"({"event": "phase", "port": "p", "phase": "Idle", "secs": 1})",
         "without its \"seconds\""},
        {R"({"event": "phase", "port": "p", "phase": "Idle", "seconds": "1"})",
         "without its \"seconds\""},
        {R"({"event": "phase", "port": "p", "phase": "Boiling", "seconds": 1})",
         "without its \"phase\""},
        {R"({"event": "wait", "port": "p", "for": "tea", "seconds_left": null})",
         "without its \"for\""},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(ReadEventLine(c.line, &why)) << c.line;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.line << ": " << why;
    }
}

}  // namespace
}  // namespace norvane::line
