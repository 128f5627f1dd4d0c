#include "ui/cli/cli_surroundings.h"

#include <thread>

#include "burn/burn_messages.h"
#include "burn/shared_values.h"
#include "ui/cli/trace_link.h"

namespace norvane::cli {

CliSurroundings::CliSurroundings(const Options& options, const std::string& port, Console& console,
                                 std::FILE* promptInput, MessageSink sink)
    : options_(options),
      console_(console),
      promptInput_(promptInput),
      sink_(std::move(sink)),
      ports_(platform::MakePortOpening(port, std::chrono::seconds(options.replugTimeoutSeconds))) {}

void CliSurroundings::ShowMessage(const std::string& text, const char* caption, MessageIcon) {
    const bool prompt = text == kMsgReplug || text == kMsgPowerCycle;
    if (!prompt) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finalCaption_ = caption;
            finalText_ = text;
        }
        failedAttempts_.store(totalErrCounter.load());
        sink_(caption, text, false);
        return;
    }
    sink_(caption, text, options_.yes);
    if (!options_.yes && !console_.Ask(std::string(caption) + ": " + text, promptInput_)) {
        console_.Print("");  // end of input: carry on, the next pass tells what the PLC does
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
    image = EmbeddedImage();
    return image.data != nullptr;
}

}  // namespace norvane::cli
