#include "ui/cli/cli_surroundings.h"

#include <thread>

#include "burn/burn_messages.h"
#include "port/posix/port_factory.h"
#include "ui/cli/trace_link.h"

namespace norvane::cli {

CliSurroundings::CliSurroundings(const Options& options, Console& console, std::FILE* promptInput)
    : options_(options), console_(console), promptInput_(promptInput) {}

void CliSurroundings::ShowMessage(const std::string& text, const char* caption, MessageIcon) {
    const bool prompt = text == kMsgReplug || text == kMsgPowerCycle;
    if (!prompt) {
        finalMessage_ = std::string(caption) + ": " + text;
        console_.Print(finalMessage_);
        return;
    }
    if (options_.yes) {
        console_.Print(std::string(caption) + ": " + text + " [--yes]");
        return;
    }
    if (!console_.Ask(std::string(caption) + ": " + text, promptInput_)) {
        console_.Print("");  // end of input: carry on, the next pass tells what the PLC does
    }
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
    lastOpenFailure_ = posix::OpenFailure{};
    return Traced(posix::OpenComPortPosix(name, &lastOpenFailure_));
}

LinkPtr CliSurroundings::OpenMyDevPipe(const char*) {
    lastOpenFailure_ = posix::OpenFailure{};
    return Traced(posix::OpenUsbPlcPort(options_.port, &lastOpenFailure_));
}

bool CliSurroundings::LoadImage(FirmwareImage& image) {
    image = EmbeddedImage();
    return image.data != nullptr;
}

}  // namespace norvane::cli
