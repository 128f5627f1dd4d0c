// Application-mode exchanges: the retry discipline, the counters and the
// failure results, against scripted replies.
#include "link/app_commands.h"

#include <gtest/gtest.h>

#include <functional>

#include "link/link.h"
#include "scripted_link.h"

namespace norvane {
namespace {

using namespace norvane::fake;

const Bytes kModeQuery = B(":006401590141\r\n");
constexpr std::uint8_t kAckStatus = 0x06;
constexpr std::uint8_t kNakStatus = 0x15;

TEST(RetryDiscipline, FiveWriteFailuresThenSixReplyFailuresMakeElevenAttempts) {
    Select("QB7");
    totalErrCounter = 4;
    ScriptedLink link;
    link.PlanWrites({false, false, false, false, false});
    EXPECT_EQ(Code(ConfirmComm(On(link))), kResultNoResponse);
    EXPECT_EQ(link.Writes().size(), 11u);
    EXPECT_EQ(link.Reads().size(), 6u);
    EXPECT_EQ(Err(), 6);
    EXPECT_EQ(Total(), 4 + 11);
}

TEST(RetryDiscipline, SilentPlcCostsSixReadTimeOuts) {
    Select("QB7");
    ScriptedLink link;
    EXPECT_EQ(Code(CheckID_A(On(link))), kResultNoResponse);
    EXPECT_EQ(link.ReadSizes(), std::vector<std::size_t>(6, 19));
    EXPECT_EQ(link.NowMs(), 18000u);
    EXPECT_EQ(Err(), 6);
    EXPECT_EQ(Total(), 6);
    ASSERT_EQ(link.TimeoutCalls().size(), 1u);
    EXPECT_EQ(link.TimeoutCalls()[0].timeouts.readMs, 3000u);
}

// While an attempt waits for its reply the panel shows the reply failures of the
// exchange so far, whatever the writes before it did; what the counter shows once
// the exchange succeeded is the exchange's own.
TEST(RetryDiscipline, BeforeEveryReadTheCounterShowsReplyFailuresNotWriteFailures) {
    struct Case {
        const char* name;
        std::function<void(Link&)> run;
        Bytes accepted;
        std::int32_t errAfter;  // errCounter once the exchange succeeded
    };
    const Bytes kSpoilt = AppReplyFrame({0x00, 0x64, 0x01, 0x59, kAckStatus, 0x30, 0x00}, 1);
    const Case cases[] = {
        {"ConfirmComm", [](Link& l) { ConfirmComm(On(l)); }, ServiceReply(0x05), 0},
        {"CheckID_A", [](Link& l) { CheckID_A(On(l)); }, TypeReply(0x3000), 1},
        {"READ_D1001", [](Link& l) { READ_D1001(On(l)); }, RegisterReply(0x40), 1},
        {"read_fu_version_A", [](Link& l) { read_fu_version_A(On(l)); }, ServiceReply(0x20), 1},
        {"SendErase_A", [](Link& l) { SendErase_A(On(l)); }, ServiceReply(kAckStatus), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Two failed writes, then one accepted reply.
        Select("QB7");
        ScriptedLink once;
        once.PlanWrites({false, false});
        once.Far().replies = {c.accepted};
        c.run(once);
        EXPECT_EQ(once.ShownAtReads(), std::vector<std::int32_t>({0}));
        EXPECT_EQ(Err(), 0);
        EXPECT_EQ(Total(), 2);

        // Two failed writes, a spoilt reply, a failed write, then the accepted reply.
        Select("QB7");
        ScriptedLink mixed;
        mixed.PlanWrites({false, false, true, false});
        mixed.Far().replies = {kSpoilt, c.accepted};
        c.run(mixed);
        EXPECT_EQ(mixed.ShownAtReads(), std::vector<std::int32_t>({0, 1}));
        EXPECT_EQ(Err(), c.errAfter);
        EXPECT_EQ(Total(), 4);
    }
}

TEST(RetryDiscipline, EveryWriteFailingYieldsNoResponse) {
    Select("QB7");
    ScriptedLink link;
    link.PlanWrites(std::deque<bool>(6, false));
    EXPECT_EQ(Code(SendErase_A(On(link))), kResultNoResponse);
    EXPECT_TRUE(link.Reads().empty());
}

// The last reply decides the failure result; only the mode query knows class 1.
TEST(NakClassification, EachExchangeMapsItsOwnCodes) {
    struct Case {
        std::uint8_t nakClass, code;
        ExchangeResult confirm, checkId, erase;
    };
    const Case cases[] = {
        {1, 0, 0x16, 0x17, 0x17}, {2, 1, 0x11, 0x15, 0x15}, {2, 2, 0x12, 0x12, 0x15},
        {2, 3, 0x15, 0x13, 0x13}, {2, 4, 0x15, 0x15, 0x14}, {2, 9, 0x15, 0x15, 0x15},
        {3, 2, 0x17, 0x17, 0x17},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "class " << int(c.nakClass) << " code " << int(c.code));
        Select("QB7");
        ScriptedLink link;
        link.Far().everyReply = ServiceReply(kNakStatus, c.nakClass, c.code);
        EXPECT_EQ(Code(ConfirmComm(On(link))), c.confirm);
        EXPECT_EQ(link.Writes().size(), 6u);  // a NAK is repeated, not final
        EXPECT_EQ(Code(CheckID_A(On(link))), c.checkId);
        EXPECT_EQ(Code(SendErase_A(On(link))), c.erase);
    }
}

TEST(NakClassification, InvalidLastReplyIsNoResponse) {
    const Bytes lastReplies[] = {
        ServiceReply(0x07),                                            // valid, unexpected status
        AppReplyFrame({0, 0x64, 1, 0x5B, kNakStatus, 2, 2}, 0, true),  // stops at "5b"
        B(":00"),                                                      // partial
    };
    for (const Bytes& last : lastReplies) {
        Select("QB7");
        ScriptedLink link;
        link.Far().replies = std::deque<Bytes>(5, ServiceReply(kNakStatus, 2, 2));
        link.Far().replies.push_back(last);
        EXPECT_EQ(Code(ConfirmComm(On(link))), kResultNoResponse);
    }
}

TEST(ConfirmComm, ReportsModeAndClearsErrorCounter) {
    for (ExchangeResult mode : {kModeApplication, kModeBootloader}) {
        Select("QB7");
        ScriptedLink link;
        link.Far().replies = {Bytes{}, ServiceReply(0x07),
                              ServiceReply(static_cast<std::uint8_t>(mode))};
        EXPECT_EQ(Code(ConfirmComm(On(link))), mode);
        EXPECT_EQ(Err(), 0);
        EXPECT_EQ(Total(), 2);
        EXPECT_EQ(link.WritesOf(":006401590141\r\n"), 3u);
    }
}

TEST(ConfirmComm, LineSettingsOnlyForSerialModels) {
    struct Case {
        const char* model;
        std::size_t settings;
        const char* query;
    };
    const Case cases[] = {{"QB7", 0, ":006401590141\r\n"},
                          {"NT4", 1, ":006401590141\r\n"},
                          {"QB5-AIO", 0, ":0064015B013F\r\n"},
                          {"TQ7P-AIO", 1, ":0064015B013F\r\n"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        Select(c.model);
        ScriptedLink link;
        link.Far().everyReply = ServiceReply(kModeApplication);
        Code(ConfirmComm(On(link)));
        ASSERT_EQ(link.LineSettingsCalls().size(), c.settings);
        if (c.settings != 0) {
            const LineSettings& s = link.LineSettingsCalls()[0].settings;
            EXPECT_EQ(s.baudRate, 9600u);
            EXPECT_EQ(s.dataBits, 7);
            EXPECT_EQ(s.parity, Parity::Even);
            EXPECT_EQ(s.stopBits, 1);
            EXPECT_TRUE(s.dtrDisabled && s.rtsDisabled);
        }
        EXPECT_EQ(link.Writes().at(0).bytes, B(c.query));
    }
}

TEST(CheckID_A, TypeRulesAndErrorCounter) {
    struct Case {
        const char* model;
        std::uint16_t reported;
        ExchangeResult expected;
    };
    const Case cases[] = {
        {"MR7-TQ7-V2", 0x000D, 0}, {"MR7-K-V4", 0x000C, 0}, {"TQ7P-AIO", 0x000C, 0x18},
        {"QB7", 0x3000, 0},        {"QB7", 0x3010, 0x18},   {"MG5", 0x0000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        Select(c.model);
        ScriptedLink link;
        link.Far().replies = {Bytes{}, ServiceReply(0x05)};
        link.Far().everyReply = TypeReply(c.reported);
        EXPECT_EQ(Code(CheckID_A(On(link))), c.expected);
        // A success leaves the panel showing the misses before it.
        EXPECT_EQ(Err(), c.expected == 0 ? 2 : 6);
    }
}

TEST(RegisterReads, ValueOrZero) {
    Select("NR4");
    ScriptedLink link;
    link.Far().replies = {B(":0083027C\r\n"),
                          RegisterReply(0x4138)};  // an exception reply is short
    EXPECT_EQ(READ_D1386(On(link)), 0x4138);
    EXPECT_EQ(Err(), 1);
    EXPECT_EQ(link.Writes()[0].bytes, B(":0003156A00017D\r\n"));

    ScriptedLink silent;
    EXPECT_EQ(READ_D1148(On(silent)), 0);
    EXPECT_EQ(silent.NowMs(), 18000u);
    EXPECT_EQ(silent.Writes()[0].bytes, B(":0003147C00016C\r\n"));

    ScriptedLink accepted;  // any valid reply is taken, whatever its function byte
    accepted.Far().replies = {AppReplyFrame({0x07, 0x10, 0x02, 0x00, 0x45})};
    EXPECT_EQ(READ_D1001(On(accepted)), 0x45);
}

TEST(VersionRead, AlwaysUnitByte59AndZeroOnSilence) {
    Select("QB5-AIO");
    ScriptedLink link;
    link.Far().replies = {ServiceReply(0x10)};
    EXPECT_EQ(read_fu_version_A(On(link)), 0x10);
    EXPECT_EQ(link.Writes()[0].bytes, B(":00640159053D\r\n"));
    ScriptedLink silent;
    EXPECT_EQ(read_fu_version_A(On(silent)), 0);
    EXPECT_EQ(silent.Writes().size(), 6u);
}

TEST(SendErase_A, AcknowledgedRequestIsConfirmedWithoutWaiting) {
    Select("QB5-AIO");
    ScriptedLink link;
    link.Far().replies = {ServiceReply(kAckStatus)};
    EXPECT_EQ(Code(SendErase_A(On(link))), 0u);
    ASSERT_EQ(link.Writes().size(), 2u);
    EXPECT_EQ(link.Writes()[0].bytes, B(":0064015B4552415345D0\r\n"));
    EXPECT_EQ(link.Writes()[1].bytes, B(":0064015B063A\r\n"));
    EXPECT_EQ(link.Reads().size(), 1u);
    EXPECT_EQ(Err(), 0);
}

TEST(SendErase_A, FailedConfirmationSendsTheRequestAgain) {
    Select("QB7");
    ScriptedLink link;
    link.Far().everyReply = ServiceReply(kAckStatus);
    link.PlanWrites({true, false, true, true});
    link.WatchCounter(errCounter);
    EXPECT_EQ(Code(SendErase_A(On(link))), 0u);
    EXPECT_EQ(link.WritesOf(":006401594552415345D2\r\n"), 2u);
    EXPECT_EQ(link.WritesOf(":00640159063C\r\n"), 2u);
    EXPECT_EQ(Total(), 1);
    // It was a write that failed: the next attempt's read shows no reply failure.
    ASSERT_EQ(link.Reads().size(), 2u);
    EXPECT_EQ(link.Reads()[1].shownAtStart, 0);
}

TEST(SendErase_A, SilenceCountsAsSuccessOnlyWhereThePlcRestartsWithoutReplying) {
    struct Case {
        const char* model;
        Bytes reply;
        ExchangeResult expected;
        std::size_t requests;
    };
    const Case cases[] = {
        {"MR7-K-V2", Bytes{}, 0, 1},
        {"MR7-K-V2", B(":006401590"), 0, 1},
        {"TQ7-ROV", ServiceReply(kNakStatus, 2, 3), 0x13, 6},
        {"NR4", Bytes{}, 0x18, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        Select(c.model);
        ScriptedLink link;
        link.Far().everyReply = c.reply;
        EXPECT_EQ(Code(SendErase_A(On(link))), c.expected);
        EXPECT_EQ(link.Writes().size(), c.requests);
        if (c.expected == 0) {
            EXPECT_EQ(Err(), 0);
            EXPECT_EQ(link.NowMs(), 3000u);
        }
    }
}

TEST(DummyComm, FiveWakeFramesAndTenShortReads) {
    for (const char* model : {"QB7", "NR4"}) {
        Select(model);
        totalErrCounter = 3;
        ScriptedLink link;
        DummyComm(On(link));
        EXPECT_EQ(link.WritesOf(":007F81\r\n"), 5u);
        EXPECT_EQ(link.Writes().size(), 5u);
        EXPECT_EQ(link.ReadSizes(), std::vector<std::size_t>(10, 11));
        EXPECT_EQ(link.NowMs(), 2000u);
        EXPECT_EQ(link.TimeoutCalls().at(0).timeouts.readMs, 200u);
        EXPECT_EQ(link.LineSettingsCalls().size(), std::string(model) == "NR4" ? 1u : 0u);
        EXPECT_EQ(Total(), 3);
        EXPECT_EQ(Err(), 0);
    }
}

}  // namespace
}  // namespace norvane
