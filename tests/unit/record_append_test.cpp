// The record file: the lines of burns that end at the same moment, in separate
// processes, land whole and none is lost.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "child_process.h"
#include "ui/cli/json_object.h"
#include "ui/cli/platform.h"

namespace norvane::cli {
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
                JsonObject line;
                // Longer than a pipe's atomic write: the file's own append must hold it whole.
                line.Set("writer", static_cast<std::int64_t>(w))
                    .Set("line", static_cast<std::int64_t>(i))
                    .Set("padding", std::string(6000, static_cast<char>('a' + w % 26)));
                std::string error;
                ok = platform::AppendLine(path, line.ToString(), error) && ok;
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
        const auto line = JsonObject::Parse(text);
        ASSERT_TRUE(line) << "a line that is not whole: " << text.substr(0, 80);
        const std::int64_t w = line->Number("writer");
        EXPECT_EQ(line->Text("padding"), std::string(6000, static_cast<char>('a' + w % 26)));
        EXPECT_TRUE(seen.insert({w, line->Number("line")}).second);
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kWriters * kLinesEach));
    std::remove(path.c_str());
}

}  // namespace
}  // namespace norvane::cli
