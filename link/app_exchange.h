// What every application-mode exchange shares: reading and validating a reply,
// the attempt loop, and turning the last reply into a failure result.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/frame.h"
#include "link/link.h"
#include "link/result_codes.h"
#include "link/retry_discipline.h"

namespace norvane {

// Reply buffer. After decoding, message byte k lies at index k + 1 (index 0 keeps ':').
struct AppReply {
    std::uint8_t raw[kServiceReplyLength];
    std::uint8_t Byte(int k) const { return raw[k + 1]; }
    std::uint16_t Word(int highByte) const {
        return static_cast<std::uint16_t>(Byte(highByte) << 8 | Byte(highByte + 1));
    }
};

// Clears the buffer, reads `length` characters and decodes them in place.
// True when exactly `length` arrived and the LRC sum is 0.
bool ReadAppReply(Link& link, AppReply& reply, std::size_t length);

// Repeats the request until `accept(reply)` holds for a valid reply or the
// attempts are exhausted; true on acceptance. `reply` keeps the last read.
// Whatever waits on the line before a request (stray bytes, the rest of an
// earlier reply) is dropped first: the reply is read by its length, and bytes
// ahead of it would shift it and every later one.
template <typename Accept>
bool RunAppExchange(Link& link, const RequestFrame& request, std::size_t replyLength,
                    AppReply& reply, Accept accept) {
    RetryDiscipline attempts;
    while (!attempts.Exhausted()) {
        link.DiscardInput();
        if (!WriteAll(link, request.text, request.length)) {
            attempts.WriteFailed();
            continue;
        }
        attempts.BeforeRead();
        if (ReadAppReply(link, reply, replyLength) && accept(reply)) {
            return true;
        }
        attempts.ReplyFailed();
    }
    return false;
}

// The NAK codes an exchange maps to results of their own.
struct NakCodes {
    std::uint8_t first;
    std::uint8_t second;
    bool runModeClass;  // only the mode query knows NAK class 1 (run mode)
};

// The failure result once the attempts are exhausted, read from the last reply.
ExchangeResult ClassifyNak(const AppReply& reply, const NakCodes& codes);

}  // namespace norvane
