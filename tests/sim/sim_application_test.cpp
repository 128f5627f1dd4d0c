// The application firmware's answers, byte for byte.
#include <gtest/gtest.h>

#include "sim_test_util.h"

namespace plcsim {
namespace {

using testing::Crlf;
using testing::Send;
using testing::Take;

struct AppCase {
    const char* name;
    const char* model;
    const char* request;
    const char* reply;  // empty: no reply
};

void PrintTo(const AppCase& c, std::ostream* os) {
    *os << c.name;
}

PlcConfig Configured(const char* model) {
    PlcConfig config;
    config.model = model;
    config.d1386 = 0x4138;
    config.d1001 = 0x0040;
    config.d1148 = 0x001C;
    config.appVersion = 0x20;
    return config;
}

class AppReplies : public ::testing::TestWithParam<AppCase> {};

TEST_P(AppReplies, AnswersExactly) {
    const AppCase& c = GetParam();
    SimulatedPlc plc(Configured(c.model));
    Send(plc, Crlf(c.request));
    EXPECT_EQ(Take(plc), c.reply[0] != '\0' ? Crlf(c.reply) : "");
}

INSTANTIATE_TEST_SUITE_P(
    Requests, AppReplies,
    ::testing::Values(
        AppCase{"ModeQuery", "QB7", ":006401590141", ":006401590530000D"},
        AppCase{"ModeQueryAio", "QB5-AIO", ":0064015B013F", ":0064015B053010FB"},
        AppCase{"ModeQueryAioUnitOnPlainModel", "QB7", ":0064015B013F", ":0064015B15020227"},
        AppCase{"ModeQueryPlainUnitOnAioModel", "QB5-AIO", ":006401590141", ":0064015915020229"},
        AppCase{"TypeId", "QB7", ":006401594944B5", ":006401590630000C"},
        AppCase{"ReadD1386", "QB7", ":0003156A00017D", ":000302413882"},
        AppCase{"ReadD1001", "QB7", ":000313E9000100", ":0003020040BB"},
        AppCase{"ReadD1148", "QB7", ":0003147C00016C", ":000302001CDF"},
        AppCase{"ReadUnknownRegister", "QB7", ":000310000001EC", ":0083027B"},
        AppCase{"VersionAlwaysPlainUnit", "QB5-AIO", ":00640159053D", ":0064015920000022"},
        AppCase{"VersionWithAioUnitRefused", "QB5-AIO", ":0064015B053B", ":0064015B15020227"},
        AppCase{"EraseRequestAcked", "QB7", ":006401594552415345D2", ":006401590630000C"},
        AppCase{"EraseRequestSilentModel", "MR7-K-V2", ":006401594552415345D2", ""},
        AppCase{"WakeUnanswered", "QB7", ":007F81", ""},
        AppCase{"LowerCaseRequestIgnored", "QB7", ":006401594944b5", ""},
        AppCase{"BadLrcIgnored", "QB7", ":006401594944B6", ""},
        AppCase{"OtherStationIgnored", "QB7", ":017F80", ""}),
    [](const ::testing::TestParamInfo<AppCase>& param) { return param.param.name; });

TEST(Application, AnswersWakeWhenConfiguredWithElevenCharacters) {
    PlcConfig config = Configured("QB7");
    config.answerWake = true;
    SimulatedPlc plc(config);
    Send(plc, Crlf(":007F81"));
    EXPECT_EQ(Take(plc), Crlf(":00FF0100"));
}

TEST(Application, RunModeRefusesModeQueryWithClassOne) {
    PlcConfig config = Configured("QB7");
    config.runMode = true;
    SimulatedPlc plc(config);
    Send(plc, Crlf(":006401590141"));
    EXPECT_EQ(Take(plc), Crlf(":006401591501012B"));
    EXPECT_EQ(plc.Counters().naksSent, 1u);
}

TEST(Application, CopesWithSplitWritesAndGarbage) {
    SimulatedPlc plc(Configured("QB7"));
    const std::string request = "\x00\xFFjunk" + Crlf(":006401590141");
    for (char ch : request) {
        Send(plc, std::string(1, ch));
    }
    // A frame cut off by the start of another one is dropped; the second is answered.
    Send(plc, ":0064" + Crlf(":006401590141"));
    EXPECT_EQ(Take(plc), Crlf(":006401590530000D") + Crlf(":006401590530000D"));
    EXPECT_EQ(plc.CountRequests(Exchange::ModeQuery), 2u);
}

TEST(Application, DropsAnUnfinishedRequestAfterSilence) {
    SimulatedPlc plc(Configured("QB7"));
    Send(plc, ":00640159", 0);
    Send(plc, Crlf(":006401590141"), 5000);
    EXPECT_EQ(Take(plc, 5000), Crlf(":006401590530000D"));
    EXPECT_EQ(plc.Counters().garbageBytes, 9u);
}

TEST(Application, ConfirmationWithoutEraseRequestChangesNothing) {
    SimulatedPlc plc(Configured("NR4"));
    Send(plc, Crlf(":00640159063C"));
    plc.AdvanceTo(5000);
    EXPECT_EQ(plc.Mode(), PlcMode::Application);
    EXPECT_EQ(Take(plc, 5000), "");
}

TEST(Application, SerialModelChecksTheLineSettingsOfEveryFrame) {
    SimulatedPlc plc(Configured("NR4"));
    Send(plc, Crlf(":007F81"));  // nothing applied yet
    plc.OnLineSettings(9600, 8, Parity::None, 1);
    Send(plc, Crlf(":007F81"));
    plc.OnLineSettings(9600, 7, Parity::Even, 1);
    Send(plc, Crlf(":006401590141"));
    EXPECT_EQ(plc.SpeedViolations(), 2u);
    ASSERT_EQ(plc.Requests().size(), 3u);
    EXPECT_TRUE(plc.Requests()[2].lineOk);
    EXPECT_EQ(plc.LineHistory().size(), 2u);
}

TEST(Application, UsbModelIgnoresLineSettings) {
    SimulatedPlc plc(Configured("QB7"));
    plc.OnLineSettings(115200, 8, Parity::None, 1);
    Send(plc, Crlf(":006401590141"));
    EXPECT_EQ(plc.SpeedViolations(), 0u);
}

}  // namespace
}  // namespace plcsim
