// The network side of a device search: per-adapter sockets and threads that send
// the browse command to the multicast group and gather every reply into one list.
// One transport lives as long as its owner and is reused for every search; all
// operations are called from the owner's thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "discovery/device_info.h"
#include "discovery/reply_store.h"
#include "discovery/search_observations.h"
#include "platform/adapters.h"
#include "platform/clock.h"
#include "platform/udp_socket.h"
#include "platform/wake_fd.h"

namespace orvandel {

inline constexpr std::uint16_t kDiscoveryPort = 8888;
inline constexpr std::string_view kDiscoveryGroup = "234.8.8.8";
inline constexpr std::size_t kCommandCapacity = 513;  // 512 bytes of text + terminator
inline constexpr std::size_t kReceiveBufferSize = 1024;
inline constexpr int kSendCount = 5;
inline constexpr int kSendIntervalMs = 100;
inline constexpr int kReceiveWindowMs = 5000;
// About what a thousand stored replies take of a receive thread's heap.
inline constexpr std::size_t kWarmHeapBytes = 3u << 20;
// The longest a search waits for its receive threads to ready their heaps.
inline constexpr int kWarmWaitMs = 100;
inline constexpr int kPollIntervalMs = 10;
// The most datagrams a receive thread stores before it tells the change listener.
inline constexpr std::size_t kAnnounceBatch = 64;
// A flood of datagrams must not grow memory without limit: at most this many
// distinct replies (each at most kReceiveBufferSize bytes) are kept per search.
inline constexpr std::size_t kMaxReplies = 16384;
// Distinct replies one sender address may store per search. A device repeats the
// same bytes for every command, so it needs one; 64 leaves room for a device whose
// reply changes between commands and for a host that relays a few dozen devices,
// while one flooding host takes at most 64 of the 16,384 places.
inline constexpr std::size_t kMaxRepliesPerSource = 64;
// Sender addresses remembered per distinct reply: the same bytes from many hosts
// is a relay or a flood, and a few of them say all there is to say.
inline constexpr std::size_t kMaxSourcesPerReply = 8;
// Where a device may send an answer by limited broadcast.
inline constexpr std::string_view kLimitedBroadcast = "255.255.255.255";
inline constexpr int kSocketReceiveBuffer = 1 << 20;
// What one queued command takes of a socket's send buffer (its kernel bookkeeping
// included), and the most send buffer asked for.
inline constexpr std::size_t kSendRoomPerDatagram = 2048;
inline constexpr std::size_t kMaxSendBuffer = 8u << 20;

enum class ReceiveLoop {
    kDrain,       // wait in poll() up to 10 ms, then read every pending datagram
    kOnePerPass,  // one read, then a 10 ms pause; exists only for the capacity benchmark,
                  // which measures what draining gains over it
};

struct TransportOptions {
    std::uint16_t port = kDiscoveryPort;
    std::string group = std::string(kDiscoveryGroup);
    ReceiveLoop loop = ReceiveLoop::kDrain;
    int socket_receive_buffer = kSocketReceiveBuffer;  // 0: the system default
    std::size_t max_replies = kMaxReplies;
    std::size_t max_replies_per_source = kMaxRepliesPerSource;
    // Also receive replies sent to the subnet broadcast address and to
    // 255.255.255.255 that arrive on a searched adapter's link.
    bool broadcast = true;
    // Heap each receive thread readies before the command goes out, so that a
    // burst of replies is stored without a page fault each (see WarmThreadHeap).
    std::size_t warm_heap_bytes = kWarmHeapBytes;
};

// Where the browse command also goes by unicast (or to a subnet broadcast
// address), and the searched adapter address it leaves from, so that the answer
// comes back to that adapter's socket.
struct UnicastTarget {
    std::string address;
    std::string adapter;
    int prefix_length = 32;  // of the subnet `address` is the broadcast address of
};

// What the receive side keeps of one datagram: everything up to and including its
// last '}', then up to the first zero byte. Empty when there is no '}'.
std::string TrimReply(std::string_view datagram);

class DiscoveryTransport {
public:
    explicit DiscoveryTransport(Clock& clock = SystemClock(), TransportOptions options = {});
    ~DiscoveryTransport();  // stops both sides and waits for their threads
    DiscoveryTransport(const DiscoveryTransport&) = delete;
    DiscoveryTransport& operator=(const DiscoveryTransport&) = delete;

    // Appends the usable addresses of `source` (does not empty the list first).
    void EnumerateAdapters(AdapterSource& source);
    void ClearAdapters();
    const std::vector<std::string>& AdapterAddresses() const { return adapter_addresses_; }
    // The verdicts behind AdapterAddresses(), same order (name, prefix, interface).
    const std::vector<AdapterVerdict>& SearchedAdapters() const { return adapters_; }

    // Copies up to 512 bytes of command text.
    void SetCommand(std::string_view bytes);

    // Also send the command to these addresses, each from its adapter's socket,
    // right after each send to the group. Takes effect at the next StartSending;
    // targets whose adapter is not searched are not sent to.
    void SetUnicastTargets(std::vector<UnicastTarget> targets);

    // Called on a receive thread, outside the store's lock, when the store's list
    // of changed devices (ReplyStore::TakeChanged) went from empty to not empty:
    // once the thread has read every datagram that was pending (or
    // kAnnounceBatch of a longer flood), so once per batch, however many datagrams
    // arrive before TakeChanged. It must be quick and must not call back into the
    // transport. Set it before StartReceiving.
    using ChangeListener = std::function<void()>;
    void SetChangeListener(ChangeListener listener);
    // The records of the ips whose listed record changed since the last call.
    std::vector<DeviceInfo> TakeChanged();

    // Sets Receiving and Sending, opens each adapter's receive sockets and starts
    // one receive thread per adapter that has a socket. Per adapter: the group
    // socket (multicast replies), the adapter socket (unicast replies) and, when
    // they open, one socket for its subnet broadcast address and one for
    // 255.255.255.255, each keeping only what arrived on that adapter's interface.
    void StartReceiving();
    // Sets Sending and starts one send thread per adapter that has a socket.
    void StartSending();
    // Clears both flags; threads leave their loops within one poll (10 ms); a send
    // thread's pause between commands ends at once.
    void RequestStop();
    // Clear the side's flag, wait for the side's threads, close its sockets, empty
    // its slots. No effect on empty slots.
    void StopSending();
    void StopReceiving();

    // The store (see ReplyStore for what it keeps). The order is that of each
    // distinct reply's last arrival. Index access walks the store: for tests.
    std::size_t ReplyCount() const;
    std::string GetReply(std::size_t index) const;  // empty past the end
    // The adapters and senders of every copy of reply `index`, repeats included;
    // empty past the end.
    ReplyOrigin GetReplyOrigin(std::size_t index) const;
    void ClearReplies();
    // Replies refused or pushed out by the store's bounds since the last
    // ClearReplies.
    std::size_t DroppedReplies() const;
    // Hands the whole store over and leaves an empty one (a move: O(1) under the lock).
    ReplyStore TakeStore();
    // Calls fn(const ReplyStore&) under the store's lock.
    template <typename Fn>
    void VisitStore(Fn&& fn) const {
        std::lock_guard lock(reply_lock_);
        fn(store_);
    }

    // What the latest search saw of its own sockets and sends (see
    // SearchObservations); complete once both sides have stopped.
    SearchObservations Observations() const;

    bool Receiving() const { return receiving_.load(); }
    bool Sending() const { return sending_.load(); }

private:
    struct ReceiveSlot {
        UniqueFd group_socket;          // the adapter's multicast replies
        UniqueFd adapter_socket;        // bound to adapter:port, unicast replies; sends too
        UniqueFd subnet_broadcast;      // bound to the subnet broadcast address:port
        UniqueFd limited_broadcast;     // bound to 255.255.255.255:port
        int interface_index = 0;        // broadcasts count only when they arrive here
        std::size_t adapter = 0;        // index into adapter_addresses_
        std::uint32_t own_address = 0;  // the adapter's address, host order
        std::thread thread;
    };
    struct SendSlot {
        UniqueFd socket;
        std::size_t adapter = 0;           // index into adapter_addresses_
        std::vector<std::string> targets;  // unicast or subnet broadcast, after the group
        std::thread thread;
    };

    void ReceiveThread(ReceiveSlot& slot);
    void SendThread(SendSlot& slot, std::string command);
    // True when the datagram was a device reply (it gave an ip, or repeats one).
    bool Store(std::string_view reply, std::uint32_t source, std::size_t adapter);
    // Notes a datagram on the group socket that was no device reply: our own
    // command coming back, or something else.
    void NoteOther(std::string_view datagram, std::uint32_t source, const ReceiveSlot& slot);
    // Tells the listener when a batch of changes is waiting.
    void Announce();
    // Ends the receive threads' waits at once.
    void SignalStop();
    // Pauses the send thread up to `ms`, returning early once sending stops.
    void SendPause(int ms);

    Clock& clock_;
    const TransportOptions options_;
    mutable std::mutex reply_lock_;
    std::vector<std::string> adapter_addresses_;
    std::vector<AdapterVerdict> adapters_;  // same order as adapter_addresses_
    std::vector<std::unique_ptr<SendSlot>> send_slots_;
    std::vector<std::unique_ptr<ReceiveSlot>> receive_slots_;
    // Per adapter, a second descriptor of the receive side's adapter socket, handed
    // to the send side: only one of our sockets may be bound to adapter:port, or the
    // unicast replies would go to whichever was bound last.
    std::vector<UniqueFd> shared_adapter_sockets_;
    ReplyStore store_;  // guarded by reply_lock_
    // Wakes the send threads' pauses when sending stops.
    std::mutex send_pause_lock_;
    std::condition_variable send_pause_;
    std::atomic<bool> receiving_{false};
    // Receive threads still readying their heaps; the send side waits for them.
    std::mutex warm_lock_;
    std::condition_variable warm_done_;
    std::size_t warming_ = 0;  // guarded by warm_lock_
    std::atomic<bool> sending_{false};
    std::vector<UnicastTarget> unicast_targets_;
    ChangeListener listener_;  // set before the receive threads start
    // Readable from a stop until the next StartReceiving; null when the system
    // gave no descriptor.
    std::unique_ptr<WakeFd> stop_wake_;
    mutable std::mutex observe_lock_;
    SearchObservations observations_;  // guarded by observe_lock_
    std::unique_ptr<char[]> command_buffer_;
    std::size_t command_length_ = 0;
};

}  // namespace orvandel
