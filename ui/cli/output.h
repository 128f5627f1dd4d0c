// The program's standard output and error, which may go away under a burn: a
// pipe whose reader quit, a terminal that hung up. A write that fails is dropped,
// and every later one to that stream too; the first failure of standard output is
// said once on standard error, if that still takes it. Nothing here ever ends
// the program: a burn in progress is finished whatever happens to its output.
#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

namespace norvane::cli {

class Output {
  public:
    Output(std::FILE* stream, const char* name) : stream_(stream), name_(name) {}
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Writes `text` and flushes it; false once the stream is gone.
    bool Write(const std::string& text);
    std::FILE* Stream() const { return stream_; }

  private:
    std::FILE* stream_;
    const char* name_;
    std::mutex mutex_;
    std::atomic<bool> gone_{false};
};

Output& StandardOutput();
Output& StandardError();

}  // namespace norvane::cli
