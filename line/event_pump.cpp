#include "line/event_pump.h"

namespace norvane::line {

namespace {
constexpr std::chrono::milliseconds kTick{100};
}  // namespace

EventPump::EventPump(EventView& view) : view_(view), thread_([this] { Run(); }) {}

EventPump::~EventPump() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void EventPump::Put(BurnEvent event) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.emplace_back(std::move(event), EventView::Clock::now());
        ++put_;
    }
    changed_.notify_all();
}

bool EventPump::Drain(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::uint64_t target = put_;
    return changed_.wait_for(lock, limit, [&] { return shown_ >= target; });
}

void EventPump::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    auto nextTick = std::chrono::steady_clock::now() + kTick;
    for (;;) {
        const auto woken = [this] { return stopping_ || !queue_.empty(); };
        if (view_.Ticking()) {
            changed_.wait_until(lock, nextTick, woken);
        } else {
            changed_.wait(lock, woken);
        }
        while (!queue_.empty()) {
            auto [event, at] = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            view_.Show(event, at);
            lock.lock();
            ++shown_;
            changed_.notify_all();
        }
        if (stopping_) {
            break;
        }
        if (std::chrono::steady_clock::now() >= nextTick) {
            lock.unlock();
            view_.Tick();
            lock.lock();
            nextTick = std::chrono::steady_clock::now() + kTick;
        }
    }
    lock.unlock();
    view_.Tick();
}

}  // namespace norvane::line
