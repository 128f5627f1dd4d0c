#include "idle_cpu_keepers.h"

#include <sched.h>

namespace norvane::bench {

IdleCpuKeepers::IdleCpuKeepers(bool enabled) {
    if (!enabled) {
        return;
    }
    const unsigned cpus = std::thread::hardware_concurrency();
    for (unsigned i = 0; i < (cpus == 0 ? 1 : cpus); ++i) {
        threads_.emplace_back([this] {
            sched_param param{};
            if (sched_setscheduler(0, SCHED_IDLE, &param) != 0) {
                return;  // never compete with the programs being measured
            }
            while (!stop_.load(std::memory_order_relaxed)) {
            }
        });
    }
}

IdleCpuKeepers::~IdleCpuKeepers() {
    stop_.store(true);
    for (std::thread& t : threads_) {
        t.join();
    }
}

}  // namespace norvane::bench
