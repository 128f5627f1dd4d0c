// The burn worker's surroundings at a terminal: messages are printed, prompts
// wait for Enter (or are answered by --yes), ports are the machine's ttys.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "burn/surroundings.h"
#include "port/posix/open_failure.h"
#include "ui/cli/console.h"
#include "ui/cli/options.h"

namespace norvane::cli {

class CliSurroundings : public WorkerSurroundings {
  public:
    CliSurroundings(const Options& options, Console& console, std::FILE* promptInput);

    void ShowMessage(const std::string& text, const char* caption, MessageIcon icon) override;
    void StopElapsedTimer() override { timerRunning_.store(false); }
    void EnableStartButton(bool) override {}
    void Sleep(std::uint32_t milliseconds) override;
    LinkPtr OpenComPort(const std::string& name) override;
    LinkPtr OpenMyDevPipe(const char* suffix) override;
    bool LoadImage(FirmwareImage& image) override;
    void ReleaseImage() override {}

    bool timerRunning() const { return timerRunning_.load(); }
    // The caption and text of the last message that ended the burn.
    const std::string& finalMessage() const { return finalMessage_; }
    const posix::OpenFailure& lastOpenFailure() const { return lastOpenFailure_; }

  private:
    LinkPtr Traced(LinkPtr link);

    const Options& options_;
    Console& console_;
    std::FILE* promptInput_;
    std::atomic<bool> timerRunning_{true};
    std::string finalMessage_;
    posix::OpenFailure lastOpenFailure_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace norvane::cli
