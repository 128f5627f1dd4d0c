// How a burn ended, as a code a program reads instead of the message text: one
// code for each way a burn ends, beside the message the window shows. The codes
// are told from the burn's own messages here, and nowhere else is a message's
// text read for its meaning.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norvane {

enum class OutcomeCode : std::uint8_t {
    Success,          // burnt
    Ready,            // a --check found nothing against the burn
    Interrupted,      // Ctrl-C, SIGTERM or a hang-up ended it
    PortNotOpened,    // "CANNOT open <port> Port!!!"
    NoAnswer,         // nothing answered a request (State 1, 2 or 3, the version read)
    RunMode,          // the PLC runs its program
    WrongModel,       // another type or variant than the image is for
    RefusedVersion,   // its firmware generation or bootloader cannot take the image
    UnknownReply,     // a refusal the tool does not know
    NoBootloader,     // it would not enter its bootloader
    EraseFailed,      // the bootloader stopped answering during the erase
    UpdateRefused,    // the bootloader did not take the switch to the transfer
    FlashWriteError,  // a block could not be written
    TransferFailed,   // a block or the end of the transfer was not acknowledged
    ImageRefused,     // the image does not fit the model, or cannot be loaded
    ProcessLost,      // the burn's process ended before it said how the burn ended
    Silent,           // the burn's process said nothing for too long and was ended
    NotStarted,       // the burn's process could not be started
    NoImage,          // a station holds no image for the model found (or it cannot be told)
    NotRunning,       // burnt, but it did not come back running the burnt model's application
    SetAside,         // a station's unit that failed twice in a row, not burnt a third time
};

// "success", "run_mode", ...: the code as the JSON lines write it.
const char* OutcomeWord(OutcomeCode outcome);
std::optional<OutcomeCode> OutcomeOfWord(std::string_view word);

// The outcome a burn's final message stands for.
OutcomeCode OutcomeOfMessage(std::string_view text);

// What a prompt of the burn asks a person to do, where `text` is a prompt.
enum class PromptFor : std::uint8_t { Replug, PowerCycle };
std::optional<PromptFor> PromptOfMessage(std::string_view text);

}  // namespace norvane
