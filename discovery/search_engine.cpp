#include "discovery/search_engine.h"

#include <algorithm>
#include <string_view>
#include <system_error>
#include <unordered_set>

#include "discovery/collection.h"
#include "discovery/ipv4.h"
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
        searched_adapters_.clear();
        for (const AdapterVerdict& v : transport_.SearchedAdapters()) {
            searched_adapters_.push_back(
                {v.interface_name.empty() ? v.name : v.interface_name, v.address, v.prefix_length});
        }
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

std::vector<std::string> SearchEngine::TakeReplies(std::vector<DeviceReply>* judged) {
    transport_.StopSending();
    transport_.StopReceiving();
    std::vector<AdapterAddress> adapters;
    if (judged != nullptr) {
        std::lock_guard lock(adapters_lock_);
        adapters = searched_adapters_;
    }
    const std::size_t count = transport_.ReplyCount();
    std::vector<std::string> replies;
    replies.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        replies.push_back(transport_.GetReply(i));
        if (judged == nullptr) {
            continue;
        }
        const ReplyOrigin origin = transport_.GetReplyOrigin(i);
        DeviceReply reply;
        reply.record = ParseReply(replies.back());
        for (std::size_t a : origin.adapters) {
            if (a < adapters.size()) {
                reply.adapters.push_back(adapters[a]);
            }
        }
        for (std::uint32_t source : origin.sources) {
            reply.source = source != 0 ? ipv4::Format(source) : std::string();
            judged->push_back(reply);
        }
        if (origin.sources.empty()) {
            judged->push_back(std::move(reply));
        }
    }
    transport_.ClearReplies();
    return replies;
}

std::vector<DeviceInfo> SearchEngine::Collect() {
    return CollectDevices(WithoutRepeats(TakeReplies(nullptr)));
}

JudgedDevices SearchEngine::CollectWithReachability() {
    std::vector<DeviceReply> judged;
    JudgedDevices out;
    out.devices = CollectDevices(WithoutRepeats(TakeReplies(&judged)));
    out.verdicts = JudgeDevices(out.devices, judged, Adapters());
    for (const DeviceInfo& device : out.devices) {
        std::vector<std::string>& sources = out.sources.emplace_back();
        for (const DeviceReply& reply : judged) {
            if (reply.record.ip == device.ip && !reply.source.empty() &&
                std::find(sources.begin(), sources.end(), reply.source) == sources.end()) {
                sources.push_back(reply.source);
            }
        }
    }
    return out;
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
