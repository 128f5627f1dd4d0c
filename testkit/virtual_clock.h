// Time in tests: milliseconds that pass only when a test's link or sleep says so.
#pragma once

#include <cstdint>

namespace norvane::test {

class VirtualClock {
  public:
    std::uint64_t Now() const { return nowMs_; }
    void Advance(std::uint64_t ms) { nowMs_ += ms; }
    void AdvanceTo(std::uint64_t ms) {
        if (ms > nowMs_) {
            nowMs_ = ms;
        }
    }

  private:
    std::uint64_t nowMs_ = 0;
};

}  // namespace norvane::test
