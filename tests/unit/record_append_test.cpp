// The record file: the lines of burns that end at the same moment, in separate
// processes, land whole and none is lost.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "child_process.h"
#include "json_fields.h"
#include "line/machine.h"
#include "line/record_follower.h"

namespace norvane::line {
namespace {

TEST(RecordFile, ThirtyTwoWritersAtOnceLoseAndMixNothing) {
    constexpr int kWriters = 32;
    constexpr int kLinesEach = 40;
    const std::string path = ::testing::TempDir() + "records-" + std::to_string(getpid());
    std::remove(path.c_str());
    std::vector<std::unique_ptr<test::ChildProcess>> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.push_back(std::make_unique<test::ChildProcess>([w, &path] {
            bool ok = true;
            for (int i = 0; i < kLinesEach; ++i) {
                // Longer than a pipe's atomic write: the file's own append must hold it whole.
                const std::string line = "{\"writer\": " + std::to_string(w) +
                                         ", \"line\": " + std::to_string(i) + ", \"padding\": \"" +
                                         std::string(6000, static_cast<char>('a' + w % 26)) + "\"}";
                std::string error;
                ok = machine::AppendLine(path, line, error) && ok;
            }
            return ok ? 0 : 1;
        }));
        ASSERT_TRUE(writers.back()->Started());
    }
    for (auto& writer : writers) {
        EXPECT_EQ(writer->WaitExit(60000), 0);
    }
    std::ifstream in(path);
    std::set<std::pair<std::int64_t, std::int64_t>> seen;
    for (std::string text; std::getline(in, text);) {
        const auto line = test::JsonFields::Parse(text);
        ASSERT_TRUE(line) << "a line that is not whole: " << text.substr(0, 80);
        const std::int64_t w = line->Number("writer");
        EXPECT_EQ(line->Text("padding"), std::string(6000, static_cast<char>('a' + w % 26)));
        EXPECT_TRUE(seen.insert({w, line->Number("line")}).second);
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kWriters * kLinesEach));
    std::remove(path.c_str());
}

// Only a regular file is a record: a link (planted in a shared folder, dangling or
// not), a FIFO (which would hold the program for ever) or a device is refused and
// left as it was; a new record may be read by its group, not by everyone.
TEST(RecordFile, IsARegularFileOrNothing) {
    const std::string dir = ::testing::TempDir() + "record-kinds-" + std::to_string(getpid());
    mkdir(dir.c_str(), 0755);
    const std::string target = dir + "/target";
    std::ofstream(target) << "untouched";
    symlink(target.c_str(), (dir + "/link").c_str());
    symlink((dir + "/nowhere").c_str(), (dir + "/dangling").c_str());
    mkfifo((dir + "/fifo").c_str(), 0666);
    const struct {
        std::string path;
        const char* says;
    } refused[] = {{dir + "/link", "is a link"},
                   {dir + "/dangling", "is a link"},
                   {dir + "/fifo", "is a FIFO"},
                   {"/dev/full", "is a device"}};
    for (const auto& r : refused) {
        std::string error;
        EXPECT_FALSE(machine::CanAppend(r.path, error)) << r.path;
        EXPECT_NE(error.find(r.says), std::string::npos) << error;
        EXPECT_FALSE(machine::AppendLine(r.path, "{}", error)) << r.path;
    }
    std::ifstream in(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "untouched");
    EXPECT_NE(access((dir + "/nowhere").c_str(), F_OK), 0);
    const mode_t umask = ::umask(022);
    std::string error;
    EXPECT_TRUE(machine::AppendLine(dir + "/new", "{}", error)) << error;
    ::umask(umask);
    struct stat st {};
    ASSERT_EQ(stat((dir + "/new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    std::filesystem::remove_all(dir);
}

// A line cut short (a full disk, a power loss) costs that line alone: the next is
// written whole after it, and a reader skips it with one warning.
TEST(RecordFile, ATornLineCostsThatLineAlone) {
    const std::string path = ::testing::TempDir() + "torn-" + std::to_string(getpid());
    std::ofstream(path) << "{\"exit_status\": 1}\n{\"exit_status\": 2, \"mess";
    RecordFollower follower(path);
    std::vector<RecordedBurn> records;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(follower.Follow(records, warnings, error)) << error;
    EXPECT_EQ(records.size(), 1u);  // the torn end is not yet a line
    std::string appendError;
    ASSERT_TRUE(machine::AppendLine(path, "{\"exit_status\": 3}", appendError)) << appendError;
    ASSERT_TRUE(follower.Follow(records, warnings, error)) << error;
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].exitStatus, 1);
    EXPECT_EQ(records[1].exitStatus, 3);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("line 2 of the record"), std::string::npos) << warnings[0];
    std::remove(path.c_str());
}

}  // namespace
}  // namespace norvane::line
