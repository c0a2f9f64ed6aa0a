// The tests' one fake clock. Stepped (the default), it moves only when the test
// moves it: SleepMs() blocks until the time has been advanced past the sleeper's
// wake-up, so a test decides exactly when each pause of the code under test ends,
// and a 5-second search takes milliseconds. Free-running (kAdvancesOnSleep), a
// sleeper moves the time itself and returns at once, for code that only needs
// its pauses to pass. For tests about logic; tests about timing use the system
// clock.
#pragma once

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/clock.h"

namespace orvandel::test {

class StepClock final : public Clock {
public:
    enum Mode { kStepped, kAdvancesOnSleep };
    explicit StepClock(Mode mode = kStepped) : mode_(mode) {}

    std::int64_t NowMs() const override {
        std::lock_guard lock(mutex_);
        return now_;
    }

    void SleepMs(int ms) override {
        if (ms <= 0) {
            return;
        }
        if (mode_ == kAdvancesOnSleep) {
            Advance(ms);
            std::this_thread::yield();
            return;
        }
        std::unique_lock lock(mutex_);
        const std::int64_t wake = now_ + ms;
        const auto entry = wakes_.emplace(wake, std::this_thread::get_id());
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
                               [&] { return wakes_.upper_bound(now_) != wakes_.end(); })) {
            return false;
        }
        now_ = wakes_.upper_bound(now_)->first;
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
    // Time moves only while the operation is blocked: asleep on this clock, or held
    // elsewhere in the kernel (joining a sleeper, waiting for a lock), so what the
    // operation does before it blocks happens before any other sleeper wakes.
    bool Run(const std::function<void()>& operation, int limit_ms = 5000) {
        std::atomic<bool> done{false};
        std::atomic<std::thread::id> worker_id{};
        std::atomic<pid_t> worker_tid{0};
        std::thread worker([&] {
            worker_tid = static_cast<pid_t>(::syscall(SYS_gettid));
            worker_id = std::this_thread::get_id();
            operation();
            done = true;
            std::lock_guard lock(mutex_);
            changed_.notify_all();
        });
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
        bool finished = true;
        while (!done) {
            bool asleep = false;
            {
                std::unique_lock lock(mutex_);
                asleep = changed_.wait_for(lock, std::chrono::milliseconds(1),
                                           [&] { return done || IsAsleep(worker_id); });
            }
            if (done) {
                break;
            }
            if (finished && std::chrono::steady_clock::now() > end) {
                finished = false;  // keep going, so that no thread is left behind
            }
            if (asleep || Blocked(worker_tid)) {
                AdvanceToNextWake(1);
            }
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
    // Whether thread `tid` of this process is blocked in the kernel (state S or D
    // in /proc), rather than running or about to.
    static bool Blocked(pid_t tid) {
        if (tid == 0) {
            return false;
        }
        std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
        std::string line;
        std::getline(stat, line);
        // "tid (name) state ...": the name may hold spaces and parentheses.
        const std::size_t close = line.rfind(')');
        return close != std::string::npos && close + 2 < line.size() &&
               (line[close + 2] == 'S' || line[close + 2] == 'D');
    }

    // Under mutex_.
    bool IsAsleep(std::thread::id id) const {
        for (const auto& [wake, sleeper] : wakes_) {
            if (sleeper == id && wake > now_) {
                return true;
            }
        }
        return false;
    }

    const Mode mode_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::int64_t now_ = 1000;
    std::multimap<std::int64_t, std::thread::id> wakes_;  // wake-up time, sleeper
};

}  // namespace orvandel::test
