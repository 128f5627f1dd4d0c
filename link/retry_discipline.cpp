#include "link/retry_discipline.h"

#include "burn/shared_values.h"

namespace norvane {

void RetryDiscipline::WriteFailed() {
    ++writeFailures_;
    errCounter.store(writeFailures_, std::memory_order_relaxed);
    CountFailedAttempt();
}

void RetryDiscipline::BeforeRead() const {
    errCounter.store(replyFailures_, std::memory_order_relaxed);
}

void RetryDiscipline::ReplyFailed() {
    ++replyFailures_;
    errCounter.store(replyFailures_, std::memory_order_relaxed);
    CountFailedAttempt();
}

}  // namespace norvane
