#include "ui/cli/cli_surroundings.h"

#include <thread>

#include "burn/burn_messages.h"
#include "burn/outcome_code.h"
#include "burn/shared_values.h"
#include "line/run_image.h"
#include "ui/cli/trace_link.h"

namespace norvane::cli {

CliSurroundings::CliSurroundings(const Options& options, const std::string& port, Console& console,
                                 std::FILE* promptInput, BurnListener& listener)
    : options_(options),
      console_(console),
      promptInput_(promptInput),
      listener_(listener),
      ports_(line::machine::MakePortOpening(port,
                                            std::chrono::seconds(options.replugTimeoutSeconds))) {
    ports_->OnSearch([this](std::int64_t secondsLeft) {
        listener_.Waiting(line::WaitFor::Reconnect, secondsLeft);
    });
}

void CliSurroundings::ShowMessage(const std::string& text, const char* caption, MessageIcon) {
    if (const std::optional<PromptFor> prompt = PromptOfMessage(text)) {
        Prompt(text, caption,
               *prompt == PromptFor::Replug ? line::WaitFor::Replug : line::WaitFor::PowerCycle);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finalCaption_ = caption;
        finalText_ = text;
    }
    failedAttempts_.store(totalErrCounter.load());
    eraseBegun_.store(flashStatus.load() != kFlashIdle);
    listener_.Ending();
}

void CliSurroundings::Prompt(const std::string& text, const char* caption, line::WaitFor waitFor) {
    const bool replug = waitFor == line::WaitFor::Replug;
    if (options_.awaitReplug) {
        // Answered by the PLC itself: the cable pulled and plugged back in. A
        // power cycle is asked for and the burn's own wait and next pass follow.
        listener_.Prompted(caption, text, !replug, waitFor);
        if (replug) {
            ports_->AwaitReplug(
                std::chrono::seconds(options_.replugTimeoutSeconds),
                [this](std::int64_t left) { listener_.Waiting(line::WaitFor::Replug, left); });
        } else {
            listener_.Waiting(line::WaitFor::PowerCycle, std::nullopt);
        }
        return;
    }
    listener_.Prompted(caption, text, options_.yes, waitFor);
    if (options_.yes) {
        return;
    }
    listener_.Waiting(waitFor, std::nullopt);
    bool answered = false;
    if (!hungUp_.load()) {
        listener_.BeforeAsking();
        answered = console_.Ask(std::string(caption) + ": " + text, promptInput_);
        if (!answered && !platform::TerminalGone(promptInput_)) {
            // End of input typed at the terminal: carry on, the next pass tells
            // what the PLC does.
            console_.Print("");
            return;
        }
    }
    if (!answered) {
        // Nobody is left to answer: the burn ends here as interrupted, told by
        // the session, which ends this process; this thread waits for that.
        interruptAsked_.store(true);
        std::mutex never;
        std::unique_lock<std::mutex> lock(never);
        std::condition_variable().wait(lock, [] { return false; });
    }
}

bool CliSurroundings::HangUpEndsBurn() {
    hungUp_.store(true);
    return !changing_.load();
}

bool CliSurroundings::MayChangePlc() {
    changing_.store(true);
    if (hungUp_.load()) {
        // The session has ended the burn as interrupted, or is about to.
        interruptAsked_.store(true);
        return false;
    }
    if (options_.check) {
        checkReady_.store(true);
        return false;
    }
    return true;
}

void CliSurroundings::HandedOver(bool found) {
    handedOver_.store(true);
    foundInBootloader_.store(found);
    listener_.HandedOver(found);
}

void CliSurroundings::EnableStartButton(bool enabled) {
    // The burn enables the button as it lets its port go for good.
    if (enabled) {
        ports_->LetGo();
    }
}

std::string CliSurroundings::finalCaption() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return finalCaption_;
}

std::string CliSurroundings::finalText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return finalText_;
}

void CliSurroundings::Sleep(std::uint32_t milliseconds) {
    // The burn sleeps only while the PLC restarts into its bootloader.
    listener_.Waiting(line::WaitFor::Restart, (milliseconds + 999) / 1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

LinkPtr CliSurroundings::Traced(LinkPtr link) {
    if (!link || !options_.trace) {
        return link;
    }
    Console& console = console_;
    return LinkPtr(new TraceLink(
        std::move(link), [&console](const std::string& line) { console.PrintError(line); },
        start_));
}

LinkPtr CliSurroundings::OpenComPort(const std::string& name) {
    return Traced(ports_->OpenSerial(name));
}

LinkPtr CliSurroundings::OpenMyDevPipe(const char*) {
    return Traced(ports_->OpenUsbPlc());
}

bool CliSurroundings::LoadImage(FirmwareImage& image) {
    image = line::TheRunImage().image;
    return image.data != nullptr;
}

}  // namespace norvane::cli
