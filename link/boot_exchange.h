// One bootloader attempt: a bare command, answered by a reply that starts with ACK.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/link.h"
#include "link/retry_discipline.h"

namespace norvane {

enum class Attempt { WriteFailed, ReplyFailed, Acknowledged };

// Drops waiting input, writes the command, then reads exactly `replyLength` bytes; acknowledged
// when they all came and the first is ACK.
Attempt BootAttempt(Link& link, const RetryDiscipline& attempts, const void* command,
                    std::size_t length, std::uint8_t* reply, std::size_t replyLength);

// Counts a failed attempt as a write or a reply failure.
void CountFailure(RetryDiscipline& attempts, Attempt attempt);

// Repeats a command with a one-byte reply until it is acknowledged or the
// attempts are exhausted.
bool AcknowledgedWithin(Link& link, const void* command, std::size_t length);

}  // namespace norvane
