// What --history and --yield print for a person, a script and a spreadsheet,
// the times --since takes, and a JSON-lines record read as burns.
#include "ui/cli/burn_report.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "line/store/record_store.h"

namespace norvane::cli {
namespace {

TEST(BurnReport, CsvFieldsFollowRfc4180AndStayText) {
    const std::pair<const char*, const char*> cases[] = {
        {"QB7", "QB7"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\r\nlines", "\"two\r\nlines\""},
        {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
        {"+1", "'+1"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"-x", "'-x"},
        {"-1", "-1"},  // a number stays one
        {"", ""},
    };
    for (const auto& [text, field] : cases) {
        EXPECT_EQ(CsvField(text), field) << text;
    }
}

TEST(BurnReport, SinceTakesATimeOrHowLongAgo) {
    const std::time_t now = 1796889600;  // 2026-12-10T08:00:00Z
    const std::pair<const char*, const char*> good[] = {
        {"24h", "2026-12-09T08:00:00Z"},
        {"7d", "2026-12-03T08:00:00Z"},
        {"30m", "2026-12-10T07:30:00Z"},
        {"2026-12-10T09:30:00+01:30", "2026-12-10T08:00:00Z"},
    };
    for (const auto& [text, since] : good) {
        std::string got;
        EXPECT_TRUE(SinceTime(text, now, got)) << text;
        EXPECT_EQ(got, since) << text;
    }
    for (const char* bad : {"24", "h", "24x", "-5h", "12345678h", "yesterday", ""}) {
        std::string got;
        EXPECT_FALSE(SinceTime(bad, now, got)) << bad;
    }
}

std::vector<line::StoredBurn> TwoBurns() {
    std::vector<line::StoredBurn> burns(2);
    const auto at = [&](std::size_t i, const char* id, const char* time, const char* socket) {
        burns[i].burnId = id;
        burns[i].time = time;
        burns[i].station = "A";
        burns[i].socket = socket;
    };
    at(0, "b1", "2026-12-10T08:00:00Z", "usb-path:1-2");
    burns[0].usbSerial = "SN\x1b[2J";  // a device's hostile text
    burns[0].model = "QB7";
    burns[0].outcome = "transfer_failed";
    burns[0].seconds = 31;
    at(1, "b2", "2026-12-10T08:05:00Z", "usb-path:1-3");
    burns[1].model = "QB7";
    burns[1].outcome = "success";
    burns[1].seconds = 40;
    burns[1].verified = true;
    return burns;
}

TEST(BurnReport, HistoryInEachForm) {
    const std::string person = HistoryReport(TwoBurns(), ReportForm::Person);
    EXPECT_EQ(person.find('\x1b'), std::string::npos) << person;
    EXPECT_NE(person.find("2026-12-10T08:00:00Z  A        usb-path:1-2  SN\\x1B[2J  QB7    "
                          "transfer_failed  31       -\n"),
              std::string::npos)
        << person;
    EXPECT_NE(person.find("\n2 burns\n"), std::string::npos) << person;
    const std::string json = HistoryReport(TwoBurns(), ReportForm::Json);
    const auto second = nlohmann::json::parse(json.substr(json.find('\n') + 1));
    EXPECT_EQ(second["seconds"], 40);
    EXPECT_EQ(second["verified"], true);
    EXPECT_EQ(second["usb_serial"], "");
    const std::string csv = HistoryReport(TwoBurns(), ReportForm::Csv);
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "time,station,socket,usb_serial,model,image,sha256,outcome,seconds,verified,"
              "failed_attempts,attempt,message,burn_id");
    EXPECT_NE(
        csv.find("\r\n2026-12-10T08:05:00Z,A,usb-path:1-3,,QB7,,,success,40,true,0,0,,b2\r\n"),
        std::string::npos)
        << csv;
}

TEST(BurnReport, YieldInEachForm) {
    const std::vector<line::YieldRow> rows = {{"QB7", 3, 1, 1, 75.0, 40.5}};
    EXPECT_EQ(YieldReport(rows, line::YieldBy::Model, ReportForm::Person),
              "model  done  failed  set aside  yield %  median s\n"
              "QB7    3     1       1          75.0     40.5\n");
    EXPECT_EQ(YieldReport(rows, line::YieldBy::Hour, ReportForm::Csv),
              "hour,done,failed,set_aside,yield_percent,median_seconds\r\nQB7,3,1,1,75.0,40.5\r\n");
    EXPECT_EQ(YieldReport(rows, line::YieldBy::Station, ReportForm::Json),
              R"({"done":3,"failed":1,"median_seconds":40.5,"set_aside":1,"station":"QB7",)"
              R"("yield_percent":75.0})"
              "\n");
}

// A record is read as it is: a last line without its end counts, blank lines
// and lines that are none are skipped and named; what is no regular file, or
// is reached through a link, is not read.
TEST(BurnReport, ARecordFileIsReadSafelyLineByLine) {
    const std::string dir = ::testing::TempDir() + "burn-report-" + std::to_string(getpid());
    mkdir(dir.c_str(), 0700);
    const std::string record = dir + "/burns.jsonl";
    std::ofstream(record) << "\n{\"time\": \"2026-12-10T08:00:00Z\", \"port\": \"a\", "
                             "\"exit_status\": 0}\n[1]\n"
                             "{\"time\": \"2026-12-10T09:00:00Z\", \"port\": \"b\", "
                             "\"exit_status\": 1}";
    std::vector<line::StoredBurn> burns;
    std::vector<std::string> skipped;
    std::string error;
    ASSERT_TRUE(
        line::BurnsInRecordFile(record, {"2026-12-10T08:30:00Z", "", ""}, burns, skipped, error))
        << error;
    ASSERT_EQ(burns.size(), 1u);
    EXPECT_EQ(std::make_pair(burns[0].socket, burns[0].outcome),
              std::make_pair(std::string("b"), std::string("failed")));
    EXPECT_EQ(skipped, std::vector<std::string>{"line 3: not a JSON object"});
    const std::string link = dir + "/link.jsonl";
    const std::string fifo = dir + "/fifo.jsonl";
    ASSERT_EQ(symlink(record.c_str(), link.c_str()), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& unread : {link, fifo, dir + "/none.jsonl"}) {
        EXPECT_FALSE(line::BurnsInRecordFile(unread, {}, burns, skipped, error)) << unread;
        EXPECT_NE(error.find("cannot read the record"), std::string::npos) << error;
    }
    for (const std::string& file : {link, fifo, record}) {
        std::remove(file.c_str());
    }
    rmdir(dir.c_str());
}

}  // namespace
}  // namespace norvane::cli
