// The burn worker's surroundings at a terminal: messages go to the front end,
// prompts wait for Enter (or are answered by --yes), ports are the system's. It
// also keeps what the session needs to say how a burn ended: its final message,
// whether the PLC was handed over or its erase begun, and whether a hang-up or
// an unanswerable prompt asks for the burn to be interrupted.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "burn/surroundings.h"
#include "line/burn_event.h"
#include "line/machine.h"
#include "ui/cli/console.h"
#include "ui/cli/options.h"
#include "ui/cli/platform.h"

namespace norvane::cli {

// What the surroundings tell the session as the burn goes, on the burn's thread.
class BurnListener {
  public:
    virtual ~BurnListener() = default;
    virtual void Prompted(const std::string& caption, const std::string& text, bool answered,
                          line::WaitFor waitFor) = 0;
    virtual void HandedOver(bool found) = 0;
    virtual void Waiting(line::WaitFor waitFor, std::optional<std::int64_t> secondsLeft) = 0;
    // The final message is out; the burn values are reset right after it.
    virtual void Ending() = 0;
    // Called before a prompt that waits for Enter: the lines before it come first.
    virtual void BeforeAsking() = 0;
};

class CliSurroundings : public WorkerSurroundings {
  public:
    CliSurroundings(const Options& options, const std::string& port, Console& console,
                    std::FILE* promptInput, BurnListener& listener);

    void ShowMessage(const std::string& text, const char* caption, MessageIcon icon) override;
    void StopElapsedTimer() override { timerRunning_.store(false); }
    void EnableStartButton(bool enabled) override;
    void Sleep(std::uint32_t milliseconds) override;
    LinkPtr OpenComPort(const std::string& name) override;
    LinkPtr OpenMyDevPipe(const char* suffix) override;
    bool LoadImage(FirmwareImage& image) override;
    void ReleaseImage() override {}
    bool MayChangePlc() override;
    void HandedOver(bool found) override;

    bool timerRunning() const { return timerRunning_.load(); }

    // The message that ended the burn, and the failed attempts of the whole burn
    // as the panel showed them then (the burn sets them back to 0 as it ends).
    std::string finalCaption() const;
    std::string finalText() const;
    std::int32_t failedAttempts() const { return failedAttempts_.load(); }
    bool eraseBegun() const { return eraseBegun_.load(); }
    bool handedOver() const { return handedOver_.load(); }
    // The PLC was found waiting in its bootloader as the burn began.
    bool foundInBootloader() const { return foundInBootloader_.load(); }
    // --check: the burn stopped where it would have changed the PLC.
    bool checkReady() const { return checkReady_.load(); }

    // A hang-up: true when the burn is to end now as interrupted, because nothing
    // that changes the PLC has been sent yet. Once something has, the burn goes
    // on, and only a prompt that needs a person will end it.
    bool HangUpEndsBurn();
    // A prompt could not be answered (the terminal hung up): the burn is to end
    // now as interrupted. The burn's thread waits at the prompt for that.
    bool InterruptAsked() const { return interruptAsked_.load(); }

    const line::machine::PortOpening& ports() const { return *ports_; }
    line::machine::PortOpening& ports() { return *ports_; }

  private:
    LinkPtr Traced(LinkPtr link);
    void Prompt(const std::string& text, const char* caption, line::WaitFor waitFor);

    const Options& options_;
    Console& console_;
    std::FILE* promptInput_;
    BurnListener& listener_;
    std::unique_ptr<line::machine::PortOpening> ports_;
    std::atomic<bool> timerRunning_{true};
    std::atomic<std::int32_t> failedAttempts_{0};
    std::atomic<bool> eraseBegun_{false};
    std::atomic<bool> handedOver_{false};
    std::atomic<bool> foundInBootloader_{false};
    std::atomic<bool> checkReady_{false};
    // The hang-up and the first change meet here; sequentially consistent, so
    // that either the burn stops before the change or the hang-up sees it.
    std::atomic<bool> hungUp_{false};
    std::atomic<bool> changing_{false};
    std::atomic<bool> interruptAsked_{false};
    mutable std::mutex mutex_;
    std::string finalCaption_;
    std::string finalText_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace norvane::cli
