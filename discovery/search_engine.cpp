#include "discovery/search_engine.h"

#include <algorithm>
#include <chrono>
#include <string_view>
#include <system_error>

#include "discovery/found_devices.h"
#include "discovery/reply_parser.h"

namespace orvandel {

namespace {
constexpr int kStopPauseMs = 100;
// The longest the timer sleeps before looking at its flag again.
constexpr int kTimerSliceMs = 50;
}  // namespace

SearchEngine::SearchEngine() : SearchEngine(SystemAdapters(), SystemClock()) {}

SearchEngine::SearchEngine(AdapterSource& adapters, Clock& clock, TransportOptions options)
    : adapters_(adapters),
      own_source_(&adapters),
      clock_(clock),
      transport_(clock, options),
      port_(options.port) {}

void SearchEngine::SetUnicastTargets(std::vector<UnicastTarget> targets) {
    {
        std::lock_guard lock(adapters_lock_);
        judge_context_.routed.clear();
        for (const UnicastTarget& target : targets) {
            judge_context_.routed.push_back({target.address, target.prefix_length});
        }
    }
    transport_.SetUnicastTargets(std::move(targets));
}

SearchEngine::~SearchEngine() {
    StopTimer();
    transport_.RequestStop();
    // The transport's destructor waits for its threads.
}

std::uint64_t SearchEngine::Start(const SearchTiming& timing, TickFn tick, TimeoutFn timeout) {
    StopTimer();
    // Only does something when the previous search was abandoned.
    transport_.StopSending();
    transport_.StopReceiving();
    transport_.ClearReplies();

    transport_.ClearAdapters();
    transport_.EnumerateAdapters(adapters_);
    std::vector<std::string> own;
    for (const AdapterRecord& record : own_source_->List()) {
        if (!record.loopback) {
            own.insert(own.end(), record.ipv4.begin(), record.ipv4.end());
        }
    }
    {
        std::lock_guard lock(adapters_lock_);
        judge_context_.own_addresses = std::move(own);
        searched_ = transport_.AdapterAddresses();
        searched_adapters_.clear();
        for (const AdapterVerdict& v : transport_.SearchedAdapters()) {
            searched_adapters_.push_back(
                {v.interface_name.empty() ? v.name : v.interface_name, v.address, v.prefix_length});
        }
    }
    transport_.SetCommand(kBrowseCommand);
    receive_errors_at_start_ = ReadUdpReceiveErrors();
    transport_.StartReceiving();
    transport_.StartSending();

    const std::uint64_t generation = ++generation_;
    {
        std::lock_guard gate(callback_gate_);
        callbacks_open_ = true;
    }
    timer_running_ = true;
    try {
        timer_ = std::thread(&SearchEngine::TimerThread, this, timing, std::move(tick),
                             std::move(timeout), generation);
    } catch (const std::system_error&) {
        // Without a timer the search ends only when the owner stops it.
        timer_running_ = false;
    }
    return generation;
}

void SearchEngine::EndTimer() {
    {
        std::lock_guard lock(timer_pause_lock_);
        timer_running_ = false;
    }
    timer_pause_.notify_all();
}

void SearchEngine::TimerPause(int ms) {
    // A test clock keeps its own time; the system clock's pause ends on a stop.
    if (&clock_ != &SystemClock()) {
        clock_.SleepMs(ms);
        return;
    }
    std::unique_lock lock(timer_pause_lock_);
    timer_pause_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !timer_running_; });
}

void SearchEngine::StopTimer() {
    EndTimer();
    {
        std::lock_guard gate(callback_gate_);
        callbacks_open_ = false;
    }
    if (timer_.joinable()) {
        timer_.join();
    }
}

void SearchEngine::Stop() {
    StopTimer();
    transport_.RequestStop();
    clock_.SleepMs(kStopPauseMs);
    transport_.StopSending();
    transport_.StopReceiving();
    clock_.SleepMs(kStopPauseMs);
}

void SearchEngine::Abandon() {
    EndTimer();
    std::lock_guard gate(callback_gate_);
    callbacks_open_ = false;
}

std::vector<FoundDevice> SearchEngine::CollectFound() {
    transport_.StopSending();
    transport_.StopReceiving();
    std::vector<AdapterAddress> searched;
    JudgeContext context;
    {
        std::lock_guard lock(adapters_lock_);
        searched = searched_adapters_;
        context = judge_context_;
    }
    // Taken whole (a move under the lock), so that the records move into the found
    // devices instead of being copied.
    return BuildFoundDevices(transport_.TakeStore(), searched, context);
}

std::vector<Verdict> SearchEngine::Diagnose(std::size_t devices_found) const {
    return orvandel::Diagnose(GatherDiagnosis(own_source_->List(), transport_.Observations(),
                                              receive_errors_at_start_, devices_found, port_));
}

std::uint64_t SearchEngine::Generation() const {
    return generation_.load();
}

std::vector<std::string> SearchEngine::Adapters() const {
    std::lock_guard lock(adapters_lock_);
    return searched_;
}

void SearchEngine::TimerThread(SearchTiming timing, TickFn tick, TimeoutFn timeout,
                               std::uint64_t generation) {
    const int frames = std::max(1, timing.frame_count);
    const int interval = std::max(1, timing.interval_ms);
    const std::int64_t start = clock_.NowMs();
    int frame = 0;
    while (timer_running_) {
        if (frame > frames - 1) {
            frame = 0;
        }
        {
            std::lock_guard gate(callback_gate_);
            if (!callbacks_open_) {
                break;
            }
            if (tick) {
                tick(frame);
            }
        }
        if (clock_.NowMs() - start > timing.duration_ms) {
            timer_running_ = false;
            std::lock_guard gate(callback_gate_);
            if (callbacks_open_) {
                callbacks_open_ = false;
                if (timeout) {
                    timeout(generation);
                }
            }
            break;
        }
        const std::int64_t wake = clock_.NowMs() + interval;
        for (std::int64_t left = interval; left > 0 && timer_running_;
             left = wake - clock_.NowMs()) {
            TimerPause(static_cast<int>(std::min<std::int64_t>(left, kTimerSliceMs)));
        }
        ++frame;
    }
}

}  // namespace orvandel
