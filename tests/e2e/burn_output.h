// What a run of the terminal program left: the JSON objects among its output
// lines and in its record file, for the tests that run it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ui/cli/json_object.h"

namespace norvane::test {

// Every line of `text` that holds one JSON object (a terminal's \r cut off).
inline std::vector<cli::JsonObject> JsonLines(const std::string& text) {
    std::vector<cli::JsonObject> objects;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (auto object = cli::JsonObject::Parse(line)) {
            objects.push_back(std::move(*object));
        }
    }
    return objects;
}

inline std::vector<cli::JsonObject> RecordLines(const std::string& path) {
    std::ifstream in(path);
    return JsonLines(std::string(std::istreambuf_iterator<char>(in), {}));
}

// Waits up to `seconds` for the record to hold `count` lines, while `going` says
// that its writer still runs.
template <typename Going>
std::vector<cli::JsonObject> AwaitRecord(const std::string& path, std::size_t count, int seconds,
                                         Going going) {
    for (int i = 0; i < seconds * 10 && going(); ++i) {
        std::vector<cli::JsonObject> lines = RecordLines(path);
        if (lines.size() >= count) {
            return lines;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return RecordLines(path);
}

// A file name of this test process's own, removed when the test ends.
class TempFile {
  public:
    explicit TempFile(const std::string& name)
        : path_(::testing::TempDir() + name + std::to_string(getpid())) {
        std::remove(path_.c_str());
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace norvane::test
