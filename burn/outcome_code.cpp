#include "burn/outcome_code.h"

#include <utility>

#include "burn/burn_messages.h"

namespace norvane {

namespace {

constexpr std::pair<OutcomeCode, const char*> kWords[] = {
    {OutcomeCode::Success, "success"},
    {OutcomeCode::Ready, "ready"},
    {OutcomeCode::Interrupted, "interrupted"},
    {OutcomeCode::PortNotOpened, "port_not_opened"},
    {OutcomeCode::NoAnswer, "no_answer"},
    {OutcomeCode::RunMode, "run_mode"},
    {OutcomeCode::WrongModel, "wrong_model"},
    {OutcomeCode::RefusedVersion, "refused_version"},
    {OutcomeCode::UnknownReply, "unknown_reply"},
    {OutcomeCode::NoBootloader, "no_bootloader"},
    {OutcomeCode::EraseFailed, "erase_failed"},
    {OutcomeCode::UpdateRefused, "update_refused"},
    {OutcomeCode::FlashWriteError, "flash_write_error"},
    {OutcomeCode::TransferFailed, "transfer_failed"},
    {OutcomeCode::ImageRefused, "image_refused"},
    {OutcomeCode::ProcessLost, "process_lost"},
    {OutcomeCode::Silent, "silent"},
    {OutcomeCode::NotStarted, "not_started"},
    {OutcomeCode::NoImage, "no_image"},
    {OutcomeCode::NotRunning, "not_running"},
    {OutcomeCode::SetAside, "set_aside"},
};

bool Has(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

bool Starts(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

const char* OutcomeWord(OutcomeCode outcome) {
    for (const auto& [o, word] : kWords) {
        if (o == outcome) {
            return word;
        }
    }
    return "";
}

std::optional<OutcomeCode> OutcomeOfWord(std::string_view word) {
    for (const auto& [o, w] : kWords) {
        if (word == w) {
            return o;
        }
    }
    return std::nullopt;
}

OutcomeCode OutcomeOfMessage(std::string_view text) {
    const std::pair<const char*, OutcomeCode> exact[] = {
        {kMsgUsbSuccess, OutcomeCode::Success},
        {kMsgSerialSuccess, OutcomeCode::Success},
        {kMsgTypeWrong, OutcomeCode::WrongModel},
        {kMsgNoVersion, OutcomeCode::NoAnswer},
        {kMsgNoErase, OutcomeCode::EraseFailed},
        {kMsgNoUpdate, OutcomeCode::UpdateRefused},
        {kMsgFlashWriteError, OutcomeCode::FlashWriteError},
        {kMsgTransferFailed, OutcomeCode::TransferFailed},
        {kMsgImageNotLoaded, OutcomeCode::ImageRefused},
        {kMsgImageTooShort, OutcomeCode::ImageRefused},
        {kMsgNoBootloader, OutcomeCode::NoBootloader},
        {State1Message(0x16), OutcomeCode::RunMode},
    };
    for (const auto& [message, outcome] : exact) {
        if (text == message) {
            return outcome;
        }
    }
    // The families of the burn's other messages, as burn_messages, the
    // catalogue and variant_checks write them.
    if (Starts(text, "CANNOT open ")) {
        return OutcomeCode::PortNotOpened;
    }
    if (Starts(text, "NO RESPONSE @ State ")) {
        return OutcomeCode::NoAnswer;
    }
    if (Starts(text, "UNKNOWN ")) {
        return OutcomeCode::UnknownReply;
    }
    if (Has(text, " is different than ")) {
        return OutcomeCode::WrongModel;
    }
    if (Has(text, " CAN NOT upgrade ") || Has(text, " CAN NOT downgrade ") ||
        Has(text, "do not support AIO FW update")) {
        return OutcomeCode::RefusedVersion;
    }
    if (Starts(text, "The file size ")) {
        return OutcomeCode::ImageRefused;
    }
    return OutcomeCode::UnknownReply;
}

std::optional<PromptFor> PromptOfMessage(std::string_view text) {
    if (text == kMsgReplug) {
        return PromptFor::Replug;
    }
    if (text == kMsgPowerCycle) {
        return PromptFor::PowerCycle;
    }
    return std::nullopt;
}

}  // namespace norvane
