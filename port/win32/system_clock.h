// The platform's monotonic clock for the links' deadlines.
#pragma once

#include "port/win32/transfer_loop.h"
#include "port/win32/win32_headers.h"

namespace norvane {

class SystemTransferClock : public TransferClock {
  public:
    // The performance counter: the tick count moves in steps of 10 to 16 ms,
    // too coarse for a 200 ms deadline.
    std::uint64_t NowMs() override {
        LARGE_INTEGER frequency;
        LARGE_INTEGER now;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&now);
        return static_cast<std::uint64_t>(now.QuadPart / frequency.QuadPart * 1000 +
                                          now.QuadPart % frequency.QuadPart * 1000 /
                                              frequency.QuadPart);
    }
    void Pause(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
};

}  // namespace norvane
