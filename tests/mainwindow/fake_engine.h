// A search engine for window tests: no sockets, a fast timer thread of its own,
// canned devices, and a record of what the window asked of it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "discovery/search_engine.h"

namespace orvandel::test {

// Shared with the test, which keeps it after the window (and the engine) is gone.
struct FakeEngineState {
    std::mutex lock;
    std::vector<DeviceInfo> devices;     // what Collect returns
    std::vector<Reachability> verdicts;  // per device; missing ones are ok
    std::vector<Verdict> diagnosis;      // what Diagnose returns
    int duration_ms = 60000;             // time-out of a search; long = only Stop ends it
    int interval_ms = 5;
    SearchTiming last_timing;
    SearchEngine::TimeoutFn last_timeout;  // to replay a time-out that raced a Stop
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::atomic<int> abandons{0};
    std::atomic<int> ticks{0};
    std::atomic<bool> timer_running{false};
    std::atomic<bool> engine_alive{false};
};

class FakeEngine : public SearchEngine {
public:
    explicit FakeEngine(std::shared_ptr<FakeEngineState> state) : m_state(std::move(state)) {
        m_state->engine_alive = true;
    }
    ~FakeEngine() override {
        StopTimer();
        m_state->engine_alive = false;
    }

    std::uint64_t Start(const SearchTiming& timing, TickFn tick, TimeoutFn timeout) override {
        StopTimer();
        ++m_generation;
        ++m_state->starts;
        int duration = 0;
        int interval = 0;
        {
            std::lock_guard lock(m_state->lock);
            m_state->last_timing = timing;
            m_state->last_timeout = timeout;
            duration = m_state->duration_ms;
            interval = m_state->interval_ms;
        }
        m_stop = false;
        m_state->timer_running = true;
        const int frames = timing.frame_count > 0 ? timing.frame_count : 1;
        m_timer = std::thread([this, tick = std::move(tick), timeout = std::move(timeout), duration,
                               interval, frames, generation = m_generation] {
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0;; i = (i + 1) % frames) {
                tick(i);
                ++m_state->ticks;
                if (std::chrono::steady_clock::now() - start >
                    std::chrono::milliseconds(duration)) {
                    timeout(generation);
                    break;
                }
                std::unique_lock lock(m_stop_lock);
                if (m_stop_cv.wait_for(lock, std::chrono::milliseconds(interval),
                                       [this] { return m_stop; })) {
                    break;
                }
            }
            m_state->timer_running = false;
        });
        return m_generation;
    }
    void Stop() override {
        StopTimer();
        ++m_state->stops;
    }
    void Abandon() override {
        StopTimer();
        ++m_state->abandons;
    }
    std::vector<FoundDevice> CollectFound() override {
        std::lock_guard lock(m_state->lock);
        std::vector<FoundDevice> out;
        for (std::size_t i = 0; i < m_state->devices.size(); ++i) {
            FoundDevice& found = out.emplace_back();
            found.record = m_state->devices[i];
            found.verdict = i < m_state->verdicts.size() ? m_state->verdicts[i] : Reachability{};
        }
        return out;
    }
    std::uint64_t Generation() const override { return m_generation; }
    std::vector<std::string> Adapters() const override { return {"10.0.0.1"}; }
    // Never the test machine's own facts.
    std::vector<Verdict> Diagnose(std::size_t) const override {
        std::lock_guard lock(m_state->lock);
        return m_state->diagnosis;
    }

private:
    void StopTimer() {
        {
            std::lock_guard lock(m_stop_lock);
            m_stop = true;
        }
        m_stop_cv.notify_all();
        if (m_timer.joinable())
            m_timer.join();
    }

    std::shared_ptr<FakeEngineState> m_state;
    std::uint64_t m_generation = 0;
    std::thread m_timer;
    std::mutex m_stop_lock;
    std::condition_variable m_stop_cv;
    bool m_stop = false;
};

inline DeviceInfo MakeDevice(std::u16string name, std::u16string model, std::u16string ip,
                             std::u16string mac) {
    DeviceInfo d;
    d.device_name = std::move(name);
    d.model = std::move(model);
    d.ip = std::move(ip);
    d.id = std::move(mac);
    return d;
}

}  // namespace orvandel::test
