// A link that is gone: every write and read moves nothing. The burn runs its
// next pass over it when a port could not be reopened, so the user sees the
// PLC's silence instead of the tool falling over.
#pragma once

#include "link/link.h"

namespace norvane {

class DeadLink : public Link {
  public:
    std::size_t Write(const std::uint8_t*, std::size_t) override { return 0; }
    std::size_t Read(std::uint8_t*, std::size_t) override { return 0; }
    void SetTimeouts(const LinkTimeouts&) override {}
    void ApplyLineSettings(const LineSettings&) override {}
};

}  // namespace norvane
