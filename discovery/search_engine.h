// One device search as the window and the command-line finder run it: start
// (adapters, command, receive then send, the timer), the timer's indicator ticks
// and time-out, the stop sequence, and the collection of the replies. Knows no UI:
// results reach the owner through callbacks that the owner marshals to its thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "discovery/device_info.h"
#include "discovery/discovery_transport.h"
#include "discovery/reachability.h"
#include "platform/adapters.h"
#include "platform/clock.h"

namespace orvandel {

// The devices of a search with one verdict each, same order.
struct JudgedDevices {
    std::vector<DeviceInfo> devices;
    std::vector<Reachability> verdicts;
    // Per device, the dotted source addresses of the datagrams of its ip, first
    // seen first, no repeats.
    std::vector<std::vector<std::string>> sources;
};

struct SearchTiming {
    int duration_ms = 5000;
    int interval_ms = 175;
    int frame_count = 12;
};

class SearchEngine {
public:
    using TickFn = std::function<void(int frame_index)>;              // timer thread: show frame i
    using TimeoutFn = std::function<void(std::uint64_t generation)>;  // timer thread, once

    SearchEngine();  // system adapters + system clock
    SearchEngine(AdapterSource& adapters, Clock& clock, TransportOptions options = {});
    virtual ~SearchEngine();  // stops everything, joins every thread
    SearchEngine(const SearchEngine&) = delete;
    SearchEngine& operator=(const SearchEngine&) = delete;

    // Cleans up an abandoned search, enumerates the adapters, sets the browse
    // command, starts receiving then sending, then the timer. The timer calls `tick`
    // for each indicator frame and `timeout` once, at its first check strictly after
    // timing.duration_ms. Returns the new search's generation.
    // Callbacks must not block on the owner's thread (the owner may be in Stop())
    // and must not call into the engine.
    virtual std::uint64_t Start(const SearchTiming& timing, TickFn tick, TimeoutFn timeout);
    // Timer off (and joined), RequestStop, 100 ms, StopSending, StopReceiving, 100 ms.
    virtual void Stop();
    // Timer off only; the transport keeps running until the next Start cleans it up.
    virtual void Abandon();
    // The devices of the stored replies (sorted, de-duplicated); empties the store.
    virtual std::vector<DeviceInfo> Collect();
    // The same devices as Collect, each judged from the adapters and senders of
    // its replies; this computer's own addresses are the searched ones.
    virtual JudgedDevices CollectWithReachability();
    virtual std::uint64_t Generation() const;
    // The addresses searched by the latest Start.
    virtual std::vector<std::string> Adapters() const;

    // Passed to the transport; call them before Start, not during a search (see
    // DiscoveryTransport). Without them a search runs exactly as before.
    void SetUnicastTargets(std::vector<UnicastTarget> targets) {
        transport_.SetUnicastTargets(std::move(targets));
    }
    void SetReplyListener(DiscoveryTransport::ReplyListener listener) {
        transport_.SetReplyListener(std::move(listener));
    }

    // Replies the latest search dropped because the store was full.
    std::size_t DroppedReplies() const { return transport_.DroppedReplies(); }

    // The replies with every repeated byte string removed but its last copy, in
    // arrival order; collecting them gives the same devices as collecting all.
    static std::vector<std::string> WithoutRepeats(std::vector<std::string> replies);

private:
    void StopTimer();
    // Stops the transport and empties its store, returning each stored reply with
    // where it came from (one entry per sender; the bytes repeat).
    std::vector<std::string> TakeReplies(std::vector<DeviceReply>* judged);
    void TimerThread(SearchTiming timing, TickFn tick, TimeoutFn timeout, std::uint64_t generation);

    AdapterSource& adapters_;
    Clock& clock_;
    DiscoveryTransport transport_;
    std::thread timer_;
    std::atomic<bool> timer_running_{false};
    // Held while a callback runs; the stop operations take it to close the gate, so
    // no callback starts after they return. A plain mutex: callbacks only hand work
    // over to their owner's thread and never call back into the engine.
    std::mutex callback_gate_;
    bool callbacks_open_ = false;  // guarded by callback_gate_
    std::atomic<std::uint64_t> generation_{0};
    mutable std::mutex adapters_lock_;
    std::vector<std::string> searched_;              // guarded by adapters_lock_
    std::vector<AdapterAddress> searched_adapters_;  // guarded by adapters_lock_
};

}  // namespace orvandel
