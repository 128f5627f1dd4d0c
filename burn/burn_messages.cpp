#include "burn/burn_messages.h"

#include <utility>

namespace norvane {

namespace {

constexpr std::pair<AppResult, ExchangeResult> kAppCodes[] = {
    {AppResult::Ok, 0x00},           {AppResult::InApplication, 0x05},
    {AppResult::InBootloader, 0x06}, {AppResult::RefusedCode1, 0x11},
    {AppResult::RefusedCode2, 0x12}, {AppResult::RefusedCode3, 0x13},
    {AppResult::RefusedCode4, 0x14}, {AppResult::RefusedOtherCode, 0x15},
    {AppResult::RunMode, 0x16},      {AppResult::UnknownNakClass, 0x17},
    {AppResult::NoResponse, 0x18},
};

constexpr std::pair<BootResult, ExchangeResult> kBootCodes[] = {
    {BootResult::Ok, 0x00},
    {BootResult::NotAcknowledged, 0x10},
    {BootResult::FlashWriteError, 0x16},
};

template <typename Result, std::size_t N>
ExchangeResult Lookup(const std::pair<Result, ExchangeResult> (&codes)[N], Result result) {
    for (const auto& [r, code] : codes) {
        if (r == result) {
            return code;
        }
    }
    return codes[N - 1].second;
}

constexpr const char* kUnknown1 = "UNKNOWN MESSAGE";
constexpr const char* kUnknown2 = "UNKNOWN MESSAGE @ State 2";
constexpr const char* kUnknown3 = "UNKNOWN MESSAGE @ State 3";

// The messages of State 1, 2 and 3 by the result's low four bits; the first row
// stands for 0 and 9 to 15, an unexpected message.
const char* const kStateMessages[9][3] = {
    {kUnknown1, kUnknown2, kUnknown3},
    {kMsgTypeWrong, kUnknown2, kUnknown3},          // 1
    {kMsgTypeWrong, kMsgTypeWrong, kUnknown3},      // 2
    {kUnknown1, kMsgTypeWrong, kMsgTypeWrong},      // 3
    {kUnknown1, kUnknown2, kMsgTypeWrong},          // 4
    {kMsgTypeWrong, kMsgTypeWrong, kMsgTypeWrong},  // 5
    {"PLC in RUN MODE", kUnknown2, kUnknown3},      // 6
    {"UNKNOWN ERROR CODE @ State 1", "UNKNOWN ERROR CODE @ State 2",
     "UNKNOWN ERROR CODE @ State 3"},                                             // 7
    {"NO RESPONSE @ State 1", "NO RESPONSE @ State 2", "NO RESPONSE @ State 3"},  // 8
};

const char* StateMessage(int state, ExchangeResult result) {
    const unsigned low = result & 0x0F;
    return kStateMessages[low <= 8 ? low : 0][state - 1];
}

}  // namespace

ExchangeResult ResultCode(AppResult result) {
    return Lookup(kAppCodes, result);
}

ExchangeResult ResultCode(BootResult result) {
    return Lookup(kBootCodes, result);
}

const char* State1Message(ExchangeResult result) {
    return StateMessage(1, result);
}

const char* State2Message(ExchangeResult result) {
    return StateMessage(2, result);
}

const char* State3Message(ExchangeResult result) {
    return StateMessage(3, result);
}

}  // namespace norvane
