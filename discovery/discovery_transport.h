// The network side of a device search: per-adapter sockets and threads that send
// the browse command to the multicast group and gather every reply into one list.
// One transport lives as long as its owner and is reused for every search; all
// operations are called from the owner's thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/adapters.h"
#include "platform/clock.h"
#include "platform/udp_socket.h"

namespace orvandel {

inline constexpr std::uint16_t kDiscoveryPort = 8888;
inline constexpr std::string_view kDiscoveryGroup = "234.8.8.8";
inline constexpr std::size_t kCommandCapacity = 513;  // 512 bytes of text + terminator
inline constexpr std::size_t kReceiveBufferSize = 1024;
inline constexpr int kSendCount = 5;
inline constexpr int kSendIntervalMs = 100;
inline constexpr int kReceiveWindowMs = 5000;
inline constexpr int kPollIntervalMs = 10;
// A flood of datagrams must not grow memory without limit: at most this many
// replies (each at most kReceiveBufferSize bytes) are kept per search.
inline constexpr std::size_t kMaxReplies = 16384;
inline constexpr int kSocketReceiveBuffer = 1 << 20;

enum class ReceiveLoop {
    kDrain,       // wait in poll() up to 10 ms, then read every pending datagram
    kOnePerPass,  // one read, then a 10 ms pause (kept to measure the difference)
};

struct TransportOptions {
    std::uint16_t port = kDiscoveryPort;
    std::string group = std::string(kDiscoveryGroup);
    ReceiveLoop loop = ReceiveLoop::kDrain;
    int socket_receive_buffer = kSocketReceiveBuffer;  // 0: the system default
    std::size_t max_replies = kMaxReplies;
};

// Where the browse command also goes by unicast (or to a subnet broadcast
// address), and the searched adapter address it leaves from, so that the answer
// comes back to that adapter's socket.
struct UnicastTarget {
    std::string address;
    std::string adapter;
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

    // Copies up to 512 bytes of command text.
    void SetCommand(std::string_view bytes);

    // Also send the command to these addresses, each from its adapter's socket,
    // right after each send to the group. Takes effect at the next StartSending;
    // targets whose adapter is not searched are not sent to.
    void SetUnicastTargets(std::vector<UnicastTarget> targets);

    // Called on a receive thread for every reply stored (a repeat included), in
    // the order of the store, under the store's lock: it must be quick and must not
    // call back into the transport. Set it before StartReceiving.
    using ReplyListener = std::function<void(std::string_view reply)>;
    void SetReplyListener(ReplyListener listener);

    // Sets Receiving and Sending, opens each adapter's receive sockets and starts
    // one receive thread per adapter that has a socket.
    void StartReceiving();
    // Sets Sending and starts one send thread per adapter that has a socket.
    void StartSending();
    // Clears both flags; threads leave their loops within one pause.
    void RequestStop();
    // Clear the side's flag, pause 10 ms, wait for the side's threads, close its
    // sockets, empty its slots. No effect on empty slots.
    void StopSending();
    void StopReceiving();

    std::size_t ReplyCount() const;
    std::string GetReply(std::size_t index) const;  // empty past the end
    void ClearReplies();
    // Replies dropped because the list was full, since the last ClearReplies.
    std::size_t DroppedReplies() const;

    bool Receiving() const { return receiving_.load(); }
    bool Sending() const { return sending_.load(); }

private:
    struct ReceiveSlot {
        UniqueFd group_socket;    // the adapter's multicast replies
        UniqueFd adapter_socket;  // bound to adapter:port, unicast replies; sends too
        std::thread thread;
    };
    struct SendSlot {
        UniqueFd socket;
        std::vector<std::string> targets;  // unicast or subnet broadcast, after the group
        std::thread thread;
    };

    void ReceiveThread(ReceiveSlot& slot);
    void SendThread(SendSlot& slot, std::string command);
    void Store(std::string_view reply);

    Clock& clock_;
    const TransportOptions options_;
    mutable std::mutex reply_lock_;
    std::vector<std::string> adapter_addresses_;
    std::vector<std::unique_ptr<SendSlot>> send_slots_;
    std::vector<std::unique_ptr<ReceiveSlot>> receive_slots_;
    // Per adapter, a second descriptor of the receive side's adapter socket, handed
    // to the send side: only one of our sockets may be bound to adapter:port, or the
    // unicast replies would go to whichever was bound last.
    std::vector<UniqueFd> shared_adapter_sockets_;
    std::vector<std::string> replies_;  // guarded by reply_lock_
    std::size_t dropped_ = 0;           // guarded by reply_lock_
    std::atomic<bool> receiving_{false};
    std::atomic<bool> sending_{false};
    std::vector<UnicastTarget> unicast_targets_;
    ReplyListener listener_;  // called under reply_lock_
    std::unique_ptr<char[]> command_buffer_;
    std::size_t command_length_ = 0;
};

}  // namespace orvandel
