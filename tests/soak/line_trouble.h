// A line that goes away in the middle of a burn (a cable pulled, a USB device that
// drops off the bus) and comes back after a while, or never. Every link the burn
// opens passes its writes, reads and opens through the same trouble, so a reopen
// while the line is gone fails as the real open would.
#pragma once

#include <cstdint>
#include <memory>

#include "link/link.h"
#include "sim_link.h"

namespace norvane::soak {

struct LineTroublePlan {
    bool strikes = false;
    std::uint32_t atWrite = 0;  // the line goes at this write (1-based, counted over the burn)
    std::uint32_t downFor = 0;  // writes, reads and opens it stays gone; 0: for good
};

class LineTrouble {
  public:
    explicit LineTrouble(const LineTroublePlan& plan) : plan_(plan) {}

    // Counts one operation; true while the line is gone.
    bool Write() {
        ++writes_;
        if (plan_.strikes && !struck_ && writes_ >= plan_.atWrite) {
            struck_ = true;
        }
        return Down();
    }
    bool Other() { return Down(); }

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

// The simulated PLC's link with the trouble in front of it: while the line is gone
// nothing reaches the PLC and nothing comes back.
class TroubledLink final : public Link {
  public:
    TroubledLink(plcsim::SimulatedPlc& plc, test::VirtualClock& clock, LineTrouble& trouble)
        : link_(std::make_unique<test::SimLink>(plc, clock)), trouble_(trouble) {}

    std::size_t Write(const std::uint8_t* data, std::size_t count) override {
        return trouble_.Write() ? 0 : link_->Write(data, count);
    }
    std::size_t Read(std::uint8_t* data, std::size_t count) override {
        return trouble_.Other() ? 0 : link_->Read(data, count);
    }
    void SetTimeouts(const LinkTimeouts& timeouts) override { link_->SetTimeouts(timeouts); }
    void ApplyLineSettings(const LineSettings& settings) override {
        link_->ApplyLineSettings(settings);
    }
    void DiscardInput() override { link_->DiscardInput(); }

  private:
    std::unique_ptr<test::SimLink> link_;
    LineTrouble& trouble_;
};

}  // namespace norvane::soak
