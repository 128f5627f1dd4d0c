// What a station's page is drawn from: each socket's story told again from its
// unit's arrival, the times the API takes, a follower that falls behind let go,
// metrics a scraper can read whatever a device calls itself.
#include "ui/web/station_board.h"

#include <gtest/gtest.h>

namespace norvane::web {
namespace {

using namespace line;

BurnEvent Socket(SocketState state, const std::string& serial = "") {
    return BurnEvent{"usb-path:1-2", SocketFields{state, "", serial, 0, 0, 0}};
}

BurnEvent End(OutcomeCode outcome, int exitStatus) {
    return BurnEvent{"usb-path:1-2",
                     EndFields{"ERROR", "m", exitStatus, 40, 0, false, false, "ab", outcome}};
}

TEST(StationBoard, ASocketsStoryStartsAgainWithEachUnit) {
    StationBoard board({});
    const auto now = SystemClock::now();
    board.Put(Socket(SocketState::Working, "U1"), now);
    board.Put(BurnEvent{"usb-path:1-2", StartFields{"1", "PV", "PV_a.bin", 1, "ab", "ab"}}, now);
    board.Put(End(OutcomeCode::FlashWriteError, 1), now);
    board.Put(Socket(SocketState::TakeOut, "U1"), now);
    // Done and failed as they are, in the order they came.
    const std::string done = board.SocketsJson();
    EXPECT_LT(done.find("\"event\": \"end\""), done.find("\"state\": \"take_out\"")) << done;
    EXPECT_NE(done.find("\"event\": \"start\""), std::string::npos);
    board.Put(Socket(SocketState::Empty), now);
    board.Put(Socket(SocketState::Working, "U2"), now);
    const std::string next = board.SocketsJson();
    EXPECT_EQ(next.find("\"event\": \"end\""), std::string::npos) << next;
    EXPECT_NE(next.find("U2"), std::string::npos);
    EXPECT_EQ(next.find("U1"), std::string::npos);
}

TEST(StationBoard, TakesTheTimesOfRfc3339) {
    const struct {
        const char* text;
        std::optional<std::int64_t> seconds;
    } cases[] = {
        {"1970-01-01T00:00:10Z", 10},
        {"2026-12-10T08:00:00Z", 1796889600},
        {"2026-12-10T09:30:00+01:30", 1796889600},
        {"2026-12-10t08:00:00.250z", 1796889600},
        {"2999-01-01T00:00:00Z", 32472144000},
        {"2024-02-29T00:00:00Z", 1709164800},
        {"2026-12-10", std::nullopt},
        {"2026-13-10T08:00:00Z", std::nullopt},
        {"2026-12-10T08:00:00", std::nullopt},
        {"2026-12-10T08:00:00+0100", std::nullopt},
        {"2026-12-10T08:00:00Zjunk", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(line::ParseRfc3339(c.text), c.seconds) << c.text;
    }
}

TEST(StationBoard, LetsGoOfAFollowerThatFallsBehind) {
    StationBoard board({});
    const std::shared_ptr<Follower> reader = board.Follow();
    const std::shared_ptr<Follower> sleeper = board.Follow();
    const std::string serial(1000, 'S');
    for (std::size_t i = 0; i * 1000 < StationBoard::kFollowerBacklog + 1000; ++i) {
        board.Put(Socket(i % 2 ? SocketState::Working : SocketState::Empty, serial),
                  SystemClock::now());
        ASSERT_TRUE(reader->Next(std::chrono::milliseconds(0)).has_value());
    }
    EXPECT_FALSE(sleeper->Next(std::chrono::milliseconds(0)).has_value());
    EXPECT_EQ(reader->Next(std::chrono::milliseconds(0)), std::string());
    board.Close();
    EXPECT_FALSE(reader->Next(std::chrono::milliseconds(0)).has_value());
}

TEST(StationBoard, MetricsEscapeWhatADeviceSays) {
    StationBoard board({});
    board.Put(BurnEvent{"usb-path:1-2", StartFields{"1", "P\"V\\\n", "x", 1, "ab", "ab"}},
              SystemClock::now());
    board.Put(End(OutcomeCode::Success, 0), SystemClock::now());
    const std::string text = board.MetricsText();
    EXPECT_NE(text.find("{model=\"P\\\"V\\\\\\n\",outcome=\"success\"} 1"), std::string::npos)
        << text;
    EXPECT_NE(text.find("le=\"60\"} 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("le=\"30\"} 0\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace norvane::web
