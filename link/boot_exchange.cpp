#include "link/boot_exchange.h"

#include <cstring>

#include "link/result_codes.h"

namespace norvane {

Attempt BootAttempt(Link& link, const RetryDiscipline& attempts, const void* command,
                    std::size_t length, std::uint8_t* reply, std::size_t replyLength) {
    // A byte already waiting answers an earlier command (a late or doubled ACK,
    // noise) and must not pass for this one's.
    link.DiscardInput();
    if (!WriteAll(link, command, length)) {
        return Attempt::WriteFailed;
    }
    attempts.BeforeRead();
    std::memset(reply, 0, replyLength);
    if (link.Read(reply, replyLength) != replyLength || reply[0] != kAck) {
        return Attempt::ReplyFailed;
    }
    return Attempt::Acknowledged;
}

void CountFailure(RetryDiscipline& attempts, Attempt attempt) {
    if (attempt == Attempt::WriteFailed) {
        attempts.WriteFailed();
    } else {
        attempts.ReplyFailed();
    }
}

bool AcknowledgedWithin(Link& link, const void* command, std::size_t length) {
    RetryDiscipline attempts;
    std::uint8_t reply[1];
    while (!attempts.Exhausted()) {
        const Attempt attempt = BootAttempt(link, attempts, command, length, reply, sizeof reply);
        if (attempt == Attempt::Acknowledged) {
            return true;
        }
        CountFailure(attempts, attempt);
    }
    return false;
}

}  // namespace norvane
