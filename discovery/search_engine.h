// One device search as the window and the command-line finder run it: start
// (adapters, command, receive then send, the timer), the timer's indicator ticks
// and time-out, the stop sequence, and the collection of the replies. Knows no UI:
// results reach the owner through callbacks that the owner marshals to its thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "discovery/device_info.h"
#include "discovery/diagnosis.h"
#include "discovery/discovery_transport.h"
#include "discovery/found_device.h"
#include "discovery/reachability.h"
#include "platform/adapters.h"
#include "platform/clock.h"

namespace orvandel {

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
    // Stops the transport and empties its store into one FoundDevice per ip (see
    // BuildFoundDevices), sorted by ip. This computer's own addresses are every
    // address of the own-address source (the adapter source unless set).
    virtual std::vector<FoundDevice> CollectFound();
    virtual std::uint64_t Generation() const;
    // The addresses searched by the latest Start.
    virtual std::vector<std::string> Adapters() const;

    // Passed to the transport; call them before Start, not during a search (see
    // DiscoveryTransport). Without them a search runs exactly as before.
    // Devices at a target are judged kRouted rather than kOtherNetwork.
    void SetUnicastTargets(std::vector<UnicastTarget> targets);
    // As replies arrive: the listener hears (on a receive thread) that a batch of
    // changes began, TakeChanged gives the records whose listed record changed.
    void SetChangeListener(DiscoveryTransport::ChangeListener listener) {
        transport_.SetChangeListener(std::move(listener));
    }
    std::vector<DeviceInfo> TakeChanged() { return transport_.TakeChanged(); }
    // Where this computer's own addresses are read at each Start (all adapters,
    // searched or not, loopback interfaces aside). Must outlive the engine.
    void SetOwnAddressSource(AdapterSource& source) { own_source_ = &source; }

    // What the latest search saw of its own sockets and sends; complete after Stop
    // or CollectFound.
    virtual SearchObservations Observations() const { return transport_.Observations(); }
    // Why the latest search found what it found (see Diagnose in diagnosis.h): the
    // facts of the system now, every adapter of the own-address source, what the
    // search saw, and the kernel's UDP drop counter since Start. Call after Stop or
    // CollectFound, on one thread; it reads /proc and /sys (and, as root, the
    // nftables ruleset).
    virtual std::vector<Verdict> Diagnose(std::size_t devices_found) const;

    // Replies the latest search dropped over the store's bounds.
    std::size_t DroppedReplies() const { return transport_.DroppedReplies(); }

private:
    void StopTimer();
    // Clears timer_running_ and ends a pause of the timer at once.
    void EndTimer();
    // The timer's pause between checks; ends early once the timer is stopped.
    void TimerPause(int ms);
    void TimerThread(SearchTiming timing, TickFn tick, TimeoutFn timeout, std::uint64_t generation);

    AdapterSource& adapters_;
    AdapterSource* own_source_;  // not owned; &adapters_ unless set
    Clock& clock_;
    DiscoveryTransport transport_;
    std::thread timer_;
    std::atomic<bool> timer_running_{false};
    std::mutex timer_pause_lock_;
    std::condition_variable timer_pause_;
    // Held while a callback runs; the stop operations take it to close the gate, so
    // no callback starts after they return. A plain mutex: callbacks only hand work
    // over to their owner's thread and never call back into the engine.
    std::mutex callback_gate_;
    bool callbacks_open_ = false;  // guarded by callback_gate_
    std::atomic<std::uint64_t> generation_{0};
    mutable std::mutex adapters_lock_;
    std::vector<std::string> searched_;              // guarded by adapters_lock_
    std::vector<AdapterAddress> searched_adapters_;  // guarded by adapters_lock_
    JudgeContext judge_context_;                     // guarded by adapters_lock_
    std::uint16_t port_ = kDiscoveryPort;
    std::optional<std::uint64_t> receive_errors_at_start_;  // owner's thread only
};

}  // namespace orvandel
