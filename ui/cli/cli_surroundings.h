// The burn worker's surroundings at a terminal: messages go to the front end,
// prompts wait for Enter (or are answered by --yes), ports are the system's.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "burn/surroundings.h"
#include "ui/cli/console.h"
#include "ui/cli/options.h"
#include "ui/cli/platform.h"

namespace norvane::cli {

class CliSurroundings : public WorkerSurroundings {
  public:
    // Told of every message the burn shows: its caption and text, and for a
    // prompt whether it was answered at once.
    using MessageSink =
        std::function<void(const std::string& caption, const std::string& text, bool prompt)>;

    CliSurroundings(const Options& options, const std::string& port, Console& console,
                    std::FILE* promptInput, MessageSink sink);

    void ShowMessage(const std::string& text, const char* caption, MessageIcon icon) override;
    void StopElapsedTimer() override { timerRunning_.store(false); }
    void EnableStartButton(bool) override {}
    void Sleep(std::uint32_t milliseconds) override;
    LinkPtr OpenComPort(const std::string& name) override;
    LinkPtr OpenMyDevPipe(const char* suffix) override;
    bool LoadImage(FirmwareImage& image) override;
    void ReleaseImage() override {}

    bool timerRunning() const { return timerRunning_.load(); }

    // The message that ended the burn, and the failed attempts of the whole burn
    // as the panel showed them then (the burn sets them back to 0 as it ends).
    std::string finalCaption() const;
    std::string finalText() const;
    std::int32_t failedAttempts() const { return failedAttempts_.load(); }

    const platform::PortOpening& ports() const { return *ports_; }

  private:
    LinkPtr Traced(LinkPtr link);

    const Options& options_;
    Console& console_;
    std::FILE* promptInput_;
    MessageSink sink_;
    std::unique_ptr<platform::PortOpening> ports_;
    std::atomic<bool> timerRunning_{true};
    std::atomic<std::int32_t> failedAttempts_{0};
    mutable std::mutex mutex_;
    std::string finalCaption_;
    std::string finalText_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace norvane::cli
