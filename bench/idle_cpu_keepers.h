// Keeps every CPU out of its idle state with threads that run only when nothing
// else wants a CPU (SCHED_IDLE). On a virtual machine a CPU woken from idle costs
// the program it wakes a round trip through the host, charged as that program's
// CPU time and latency; with the keepers running, what remains is the program's own.
#pragma once

#include <atomic>
#include <thread>
#include <vector>

namespace norvane::bench {

class IdleCpuKeepers {
  public:
    explicit IdleCpuKeepers(bool enabled);
    ~IdleCpuKeepers();
    IdleCpuKeepers(const IdleCpuKeepers&) = delete;
    IdleCpuKeepers& operator=(const IdleCpuKeepers&) = delete;

  private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

}  // namespace norvane::bench
