// The attempt limits every exchange runs under: an exchange gives up at the
// sixth failed write or the sixth failed reply, so it makes at most 11 attempts.
// Every failure is shown at once on the status panel's counters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/link.h"

namespace norvane {

class RetryDiscipline {
  public:
    static constexpr std::uint8_t kLimit = 5;

    bool Exhausted() const { return writeFailures_ > kLimit || replyFailures_ > kLimit; }

    void WriteFailed();
    // Called before each read: the panel shows the reply failures of this exchange.
    void BeforeRead() const;
    void ReplyFailed();
    void Restart() { writeFailures_ = replyFailures_ = 0; }

    std::uint8_t replyFailures() const { return replyFailures_; }

  private:
    std::uint8_t writeFailures_ = 0;
    std::uint8_t replyFailures_ = 0;
};

// True when every byte of the request went out.
inline bool WriteAll(Link& link, const void* data, std::size_t count) {
    return link.Write(static_cast<const std::uint8_t*>(data), count) == count;
}

}  // namespace norvane
