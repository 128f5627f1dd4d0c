// A line that goes away in the middle of a burn (a cable pulled, a USB device that
// drops off the bus) and comes back after a while, or never. Every link a burn opens
// can share one, so that a reopen while the line is gone fails as the real open would.
#pragma once

#include <cstdint>

namespace norvane::test {

struct LineTroublePlan {
    bool strikes = false;
    std::uint32_t atWrite = 0;  // the line goes at this write (1-based, counted over the burn)
    std::uint32_t downFor = 0;  // writes, reads and opens it stays gone; 0: for good
};

class LineTrouble {
  public:
    LineTrouble() = default;
    explicit LineTrouble(const LineTroublePlan& plan) : plan_(plan) {}

    // Counts one write; true while the line is gone.
    bool Write() {
        ++writes_;
        if (plan_.strikes && !struck_ && writes_ >= plan_.atWrite) {
            struck_ = true;
        }
        return Down();
    }
    // Counts one read or open; true while the line is gone.
    bool Other() { return Down(); }

    bool NeverStrikes() const { return !plan_.strikes; }

    // The line goes now and never comes back.
    void LoseForGood() {
        plan_.strikes = true;
        plan_.downFor = 0;
        struck_ = true;
    }

  private:
    bool Down() {
        if (!struck_) {
            return false;
        }
        if (plan_.downFor == 0) {
            return true;
        }
        if (downOps_ < plan_.downFor) {
            ++downOps_;
            return true;
        }
        return false;
    }

    LineTroublePlan plan_;
    std::uint32_t writes_ = 0;
    bool struck_ = false;
    std::uint32_t downOps_ = 0;
};

}  // namespace norvane::test
