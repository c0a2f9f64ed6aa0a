// A clock that moves only when the test moves it. SleepMs() blocks until the time
// has been advanced past the sleeper's wake-up, so a test decides exactly when each
// pause of the code under test ends, and a 5-second search takes milliseconds.
// For tests about logic; tests about timing use the system clock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include "platform/clock.h"

namespace orvandel::test {

class StepClock final : public Clock {
public:
    std::int64_t NowMs() const override {
        std::lock_guard lock(mutex_);
        return now_;
    }

    void SleepMs(int ms) override {
        if (ms <= 0) {
            return;
        }
        std::unique_lock lock(mutex_);
        const std::int64_t wake = now_ + ms;
        const auto entry = wakes_.insert(wake);
        changed_.notify_all();
        changed_.wait(lock, [&] { return now_ >= wake; });
        wakes_.erase(entry);
        changed_.notify_all();
    }

    void Advance(std::int64_t ms) {
        std::lock_guard lock(mutex_);
        now_ += ms;
        changed_.notify_all();
    }

    // Waits (in real time, up to limit_ms) until a thread sleeps towards a time still
    // ahead, then moves the time to the earliest such wake-up. False when nobody did.
    bool AdvanceToNextWake(int limit_ms = 3000) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, std::chrono::milliseconds(limit_ms),
                               [&] { return HasFutureWake(); })) {
            return false;
        }
        now_ = *wakes_.upper_bound(now_);
        changed_.notify_all();
        return true;
    }

    // Moves the time on, wake-up by wake-up, until `done` holds; false when it still
    // does not after limit_ms of real time.
    bool AdvanceUntil(const std::function<bool()>& done, int limit_ms = 5000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            AdvanceToNextWake(1);
        }
        return true;
    }

    // Runs `operation` on a thread of its own while moving the time on, for calls
    // that pause on this clock themselves (a stop sequence, a join of a sleeper).
    bool Run(const std::function<void()>& operation, int limit_ms = 5000) {
        std::mutex done_lock;
        bool done = false;
        std::thread worker([&] {
            operation();
            std::lock_guard lock(done_lock);
            done = true;
        });
        const bool finished = AdvanceUntil(
            [&] {
                std::lock_guard lock(done_lock);
                return done;
            },
            limit_ms);
        if (!finished) {
            // Let the operation end rather than leave a thread behind.
            AdvanceUntil(
                [&] {
                    std::lock_guard lock(done_lock);
                    return done;
                },
                60000);
        }
        worker.join();
        return finished;
    }

    // Threads sleeping on the clock right now.
    std::size_t Sleepers() const {
        std::lock_guard lock(mutex_);
        return wakes_.size();
    }

private:
    bool HasFutureWake() const { return wakes_.upper_bound(now_) != wakes_.end(); }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::int64_t now_ = 1000;
    std::multiset<std::int64_t> wakes_;  // wake-up times of the sleepers
};

}  // namespace orvandel::test
