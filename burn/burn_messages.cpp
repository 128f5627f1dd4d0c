#include "burn/burn_messages.h"

namespace norvane {

namespace {

const char* StateMessage(ExchangeResult result, const char* const (&table)[9], const char* other) {
    const unsigned low = result & 0x0F;
    return low >= 1 && low <= 8 ? table[low] : other;
}

}  // namespace

const char* State1Message(ExchangeResult result) {
    static const char* const table[9] = {nullptr,
                                         kMsgTypeWrong,
                                         kMsgTypeWrong,
                                         "UNKNOWN MESSAGE",
                                         "UNKNOWN MESSAGE",
                                         kMsgTypeWrong,
                                         "PLC in RUN MODE",
                                         "UNKNOWN ERROR CODE @ State 1",
                                         "NO RESPONSE @ State 1"};
    return StateMessage(result, table, "UNKNOWN MESSAGE");
}

const char* State2Message(ExchangeResult result) {
    static const char* const table[9] = {nullptr,
                                         "UNKNOWN MESSAGE @ State 2",
                                         kMsgTypeWrong,
                                         kMsgTypeWrong,
                                         "UNKNOWN MESSAGE @ State 2",
                                         kMsgTypeWrong,
                                         "UNKNOWN MESSAGE @ State 2",
                                         "UNKNOWN ERROR CODE @ State 2",
                                         "NO RESPONSE @ State 2"};
    return StateMessage(result, table, "UNKNOWN MESSAGE @ State 2");
}

const char* State3Message(ExchangeResult result) {
    static const char* const table[9] = {nullptr,
                                         "UNKNOWN MESSAGE @ State 3",
                                         "UNKNOWN MESSAGE @ State 3",
                                         kMsgTypeWrong,
                                         kMsgTypeWrong,
                                         kMsgTypeWrong,
                                         "UNKNOWN MESSAGE @ State 3",
                                         "UNKNOWN ERROR CODE @ State 3",
                                         "NO RESPONSE @ State 3"};
    return StateMessage(result, table, "UNKNOWN MESSAGE @ State 3");
}

}  // namespace norvane
