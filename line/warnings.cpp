#include "line/warnings.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "burn/untrusted_text.h"

namespace norvane::line {

namespace {

std::mutex gMutex;
WarningSink gSink;
std::atomic<std::uint64_t> gRecordErrors{0};
std::atomic<std::int64_t> gRecordsWaiting{-1};

}  // namespace

void SetWarningSink(WarningSink sink) {
    std::lock_guard<std::mutex> lock(gMutex);
    gSink = std::move(sink);
}

void Warn(const std::string& text) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (gSink) {
        gSink(text);
    } else {
        std::fprintf(stderr, "warning: %s\n", ForPerson(text).c_str());
    }
}

void WarnNotRecorded(const std::string& text) {
    gRecordErrors.fetch_add(1, std::memory_order_relaxed);
    Warn(text);
}

std::uint64_t RecordErrors() {
    return gRecordErrors.load(std::memory_order_relaxed);
}

void SetRecordsWaiting(std::int64_t waiting) {
    gRecordsWaiting.store(waiting, std::memory_order_relaxed);
}

std::int64_t RecordsWaiting() {
    return gRecordsWaiting.load(std::memory_order_relaxed);
}

}  // namespace norvane::line
