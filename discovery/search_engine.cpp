#include "discovery/search_engine.h"

#include <algorithm>
#include <string_view>
#include <system_error>
#include <unordered_set>

#include "discovery/collection.h"
#include "discovery/reply_parser.h"

namespace orvandel {

namespace {
constexpr int kStopPauseMs = 100;
// The longest the timer sleeps before looking at its flag again.
constexpr int kTimerSliceMs = 50;
}  // namespace

SearchEngine::SearchEngine() : SearchEngine(SystemAdapters(), SystemClock()) {}

SearchEngine::SearchEngine(AdapterSource& adapters, Clock& clock, TransportOptions options)
    : adapters_(adapters), clock_(clock), transport_(clock, std::move(options)) {}

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
    {
        std::lock_guard lock(adapters_lock_);
        searched_ = transport_.AdapterAddresses();
    }
    transport_.SetCommand(kBrowseCommand);
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

void SearchEngine::StopTimer() {
    timer_running_ = false;
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
    timer_running_ = false;
    std::lock_guard gate(callback_gate_);
    callbacks_open_ = false;
}

std::vector<DeviceInfo> SearchEngine::Collect() {
    transport_.StopSending();
    transport_.StopReceiving();
    const std::size_t count = transport_.ReplyCount();
    std::vector<std::string> replies;
    replies.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        replies.push_back(transport_.GetReply(i));
    }
    transport_.ClearReplies();
    return CollectDevices(WithoutRepeats(std::move(replies)));
}

std::vector<std::string> SearchEngine::WithoutRepeats(std::vector<std::string> replies) {
    // Every device answers each of the five commands with the same bytes. Of equal
    // replies only the last is kept: the collection keeps the last record of each
    // address, and that record's bytes are always the last copy of themselves, so
    // the result is the same, for a fifth of the parsing.
    std::unordered_set<std::string_view> seen;
    seen.reserve(replies.size());
    std::vector<bool> keep(replies.size());
    for (std::size_t i = replies.size(); i-- > 0;) {
        keep[i] = seen.insert(replies[i]).second;
    }
    std::vector<std::string> out;
    for (std::size_t i = 0; i < replies.size(); ++i) {
        if (keep[i]) {
            out.push_back(std::move(replies[i]));
        }
    }
    return out;
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
            clock_.SleepMs(static_cast<int>(std::min<std::int64_t>(left, kTimerSliceMs)));
        }
        ++frame;
    }
}

}  // namespace orvandel
