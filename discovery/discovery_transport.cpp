#include "discovery/discovery_transport.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "discovery/reply_parser.h"

namespace orvandel {

namespace {

// TrimReply without a copy: the receive loop runs it on every datagram.
std::string_view TrimmedView(std::string_view datagram) {
    const std::size_t last_brace = datagram.rfind('}');
    if (last_brace == std::string_view::npos) {
        return {};
    }
    std::string_view kept = datagram.substr(0, last_brace + 1);
    return kept.substr(0, kept.find('\0'));
}

}  // namespace

std::string TrimReply(std::string_view datagram) {
    return std::string(TrimmedView(datagram));
}

namespace {
template <typename T>
void AddOnce(std::vector<T>& list, T item, std::size_t capacity) {
    if (list.size() < capacity && std::find(list.begin(), list.end(), item) == list.end()) {
        list.push_back(item);
    }
}
}  // namespace

DiscoveryTransport::DiscoveryTransport(Clock& clock, TransportOptions options)
    : clock_(clock),
      options_(std::move(options)),
      command_buffer_(std::make_unique<char[]>(kCommandCapacity)) {}

DiscoveryTransport::~DiscoveryTransport() {
    StopSending();
    StopReceiving();
}

void DiscoveryTransport::EnumerateAdapters(AdapterSource& source) {
    for (AdapterVerdict& adapter : UsableAdapters(source.List())) {
        adapter_addresses_.push_back(adapter.address);
        adapters_.push_back(std::move(adapter));
    }
}

void DiscoveryTransport::ClearAdapters() {
    adapter_addresses_.clear();
    adapters_.clear();
}

void DiscoveryTransport::SetCommand(std::string_view bytes) {
    command_length_ = std::min(bytes.size(), kCommandCapacity - 1);
    std::memcpy(command_buffer_.get(), bytes.data(), command_length_);
    command_buffer_[command_length_] = '\0';
}

void DiscoveryTransport::SetUnicastTargets(std::vector<UnicastTarget> targets) {
    unicast_targets_ = std::move(targets);
}

void DiscoveryTransport::SetReplyListener(ReplyListener listener) {
    std::lock_guard lock(reply_lock_);
    listener_ = std::move(listener);
}

void DiscoveryTransport::StartReceiving() {
    if (!receive_slots_.empty() || !send_slots_.empty()) {
        StopSending();
        StopReceiving();
    }
    receiving_ = true;
    sending_ = true;
    shared_adapter_sockets_.clear();
    for (const AdapterVerdict& adapter : adapters_) {
        const std::string& address = adapter.address;
        auto& slot = *receive_slots_.emplace_back(std::make_unique<ReceiveSlot>());
        slot.adapter = receive_slots_.size() - 1;
        slot.group_socket =
            OpenGroupSocket(address, options_.port, options_.group, options_.socket_receive_buffer);
        slot.adapter_socket =
            OpenAdapterSocket(address, options_.port, options_.socket_receive_buffer);
        shared_adapter_sockets_.push_back(DuplicateFd(slot.adapter_socket));
        // Without the interface index a broadcast could not be tied to this adapter.
        // A failure here costs only the broadcast replies.
        slot.interface_index = adapter.interface_index;
        if (options_.broadcast && adapter.interface_index > 0) {
            const std::string subnet = SubnetBroadcast(address, adapter.prefix_length);
            if (!subnet.empty()) {
                slot.subnet_broadcast =
                    OpenBroadcastSocket(subnet, options_.port, options_.socket_receive_buffer);
            }
            slot.limited_broadcast = OpenBroadcastSocket(
                std::string(kLimitedBroadcast), options_.port, options_.socket_receive_buffer);
        }
        if (slot.group_socket.Valid() || slot.adapter_socket.Valid() ||
            slot.subnet_broadcast.Valid() || slot.limited_broadcast.Valid()) {
            try {
                slot.thread = std::thread(&DiscoveryTransport::ReceiveThread, this, std::ref(slot));
            } catch (const std::system_error&) {
                // No thread: the adapter receives nothing; its sockets close at stop.
            }
        }
    }
}

void DiscoveryTransport::StartSending() {
    if (!send_slots_.empty()) {
        StopSending();
    }
    sending_ = true;
    for (std::size_t i = 0; i < adapter_addresses_.size(); ++i) {
        auto& slot = *send_slots_.emplace_back(std::make_unique<SendSlot>());
        if (i < shared_adapter_sockets_.size() && shared_adapter_sockets_[i].Valid()) {
            slot.socket = std::move(shared_adapter_sockets_[i]);
        } else {
            slot.socket = OpenAdapterSocket(adapter_addresses_[i], options_.port, 0);
        }
        for (const UnicastTarget& target : unicast_targets_) {
            if (target.adapter == adapter_addresses_[i]) {
                slot.targets.push_back(target.address);
            }
        }
        if (!slot.targets.empty()) {
            AllowBroadcast(slot.socket);  // a target may be a subnet broadcast address
        }
        if (slot.socket.Valid()) {
            try {
                slot.thread = std::thread(&DiscoveryTransport::SendThread, this, std::ref(slot),
                                          std::string(command_buffer_.get(), command_length_));
            } catch (const std::system_error&) {
            }
        }
    }
    shared_adapter_sockets_.clear();
}

void DiscoveryTransport::RequestStop() {
    receiving_ = false;
    sending_ = false;
}

void DiscoveryTransport::StopSending() {
    sending_ = false;
    if (send_slots_.empty()) {
        return;
    }
    clock_.SleepMs(kPollIntervalMs);
    for (auto& slot : send_slots_) {
        if (slot->thread.joinable()) {
            slot->thread.join();
        }
    }
    send_slots_.clear();  // closes the sockets
}

void DiscoveryTransport::StopReceiving() {
    receiving_ = false;
    shared_adapter_sockets_.clear();
    if (receive_slots_.empty()) {
        return;
    }
    clock_.SleepMs(kPollIntervalMs);
    for (auto& slot : receive_slots_) {
        if (slot->thread.joinable()) {
            slot->thread.join();
        }
    }
    receive_slots_.clear();
}

std::size_t DiscoveryTransport::ReplyCount() const {
    std::lock_guard lock(reply_lock_);
    return replies_.size();
}

std::size_t DiscoveryTransport::InOrder(std::size_t index) const {
    if (!in_order_valid_) {
        in_order_.resize(replies_.size());
        for (std::size_t i = 0; i < in_order_.size(); ++i) {
            in_order_[i] = i;
        }
        std::sort(in_order_.begin(), in_order_.end(), [this](std::size_t a, std::size_t b) {
            return replies_[a].order < replies_[b].order;
        });
        in_order_valid_ = true;
    }
    return in_order_[index];
}

std::string DiscoveryTransport::GetReply(std::size_t index) const {
    std::lock_guard lock(reply_lock_);
    if (index >= replies_.size()) {
        return {};
    }
    return replies_[InOrder(index)].bytes;
}

ReplyOrigin DiscoveryTransport::GetReplyOrigin(std::size_t index) const {
    std::lock_guard lock(reply_lock_);
    if (index >= replies_.size()) {
        return {};
    }
    return replies_[InOrder(index)].origin;
}

void DiscoveryTransport::ClearReplies() {
    std::lock_guard lock(reply_lock_);
    by_bytes_ = {};
    per_source_ = {};
    replies_ = {};
    in_order_ = {};
    in_order_valid_ = true;
    next_order_ = 0;
    dropped_ = 0;
}

std::size_t DiscoveryTransport::DroppedReplies() const {
    std::lock_guard lock(reply_lock_);
    return dropped_;
}

bool DiscoveryTransport::RefreshRepeat(std::string_view reply, std::uint32_t source,
                                       std::size_t adapter) {
    const auto it = by_bytes_.find(reply);
    if (it == by_bytes_.end()) {
        return false;
    }
    StoredReply& stored = replies_[it->second];
    // A repeat costs no quota, so a device heard on a second adapter (or relayed by
    // a second host) is still recorded there; both lists stay small.
    AddOnce(stored.origin.adapters, adapter, adapters_.size());
    AddOnce(stored.origin.sources, source, kMaxSourcesPerReply);
    // Already last: the order does not change.
    if (stored.order + 1 != next_order_) {
        stored.order = next_order_++;
        in_order_valid_ = false;
    }
    return true;
}

bool DiscoveryTransport::HasRoom(std::uint32_t source) {
    const auto it = per_source_.find(source);
    if (replies_.size() >= options_.max_replies ||
        (it != per_source_.end() && it->second >= options_.max_replies_per_source)) {
        ++dropped_;
        return false;
    }
    return true;
}

void DiscoveryTransport::Store(std::string_view reply, std::uint32_t source, std::size_t adapter) {
    // A reply without an ip would be dropped by the collection anyway; keeping it
    // would let junk fill the store. Most junk is told by a search of its bytes,
    // before any lock or parse.
    if (reply.empty() || !MayGiveIp(reply)) {
        return;
    }
    // Under reply_lock_: a repeat moves its reply last, which may change the
    // record that wins for its ip, so the listener hears of repeats too.
    auto stored_already = [&] {
        if (!RefreshRepeat(reply, source, adapter)) {
            return false;
        }
        if (listener_) {
            listener_(reply);
        }
        return true;
    };
    {
        std::lock_guard lock(reply_lock_);
        if (stored_already() || !HasRoom(source)) {
            return;
        }
    }
    // Parsed outside the lock, so that the other adapters' threads keep storing.
    if (ParseReply(reply).ip.empty()) {
        return;
    }
    std::lock_guard lock(reply_lock_);
    // Another adapter may have stored the same bytes meanwhile.
    if (stored_already() || !HasRoom(source)) {
        return;
    }
    StoredReply& stored = replies_.emplace_back();
    stored.bytes = std::string(reply);
    stored.order = next_order_++;
    stored.origin.adapters.push_back(adapter);
    stored.origin.sources.push_back(source);
    by_bytes_.emplace(stored.bytes, replies_.size() - 1);
    ++per_source_[source];
    if (in_order_valid_) {
        in_order_.push_back(replies_.size() - 1);
    }
    if (listener_) {
        listener_(reply);
    }
}

void DiscoveryTransport::SendThread(SendSlot& slot, std::string command) {
    if (!sending_) {
        return;
    }
    const std::string group = options_.group;
    for (int i = 0; i < kSendCount; ++i) {
        SendDatagram(slot.socket.Get(), group, options_.port, command);
        for (const std::string& target : slot.targets) {
            SendDatagram(slot.socket.Get(), target, options_.port, command);
        }
        clock_.SleepMs(kSendIntervalMs);
        if (!sending_) {
            break;
        }
    }
}

void DiscoveryTransport::ReceiveThread(ReceiveSlot& slot) {
    const std::int64_t start = clock_.NowMs();
    auto listening = [&] { return receiving_ && clock_.NowMs() - start < kReceiveWindowMs; };
    constexpr std::size_t kSockets = 4;
    constexpr std::size_t kFirstBroadcast = 2;  // sockets from here on take broadcasts
    std::array<UniqueFd*, kSockets> sockets = {&slot.group_socket, &slot.adapter_socket,
                                               &slot.subnet_broadcast, &slot.limited_broadcast};
    // One spare byte past the largest datagram keeps the buffer zero-terminated.
    std::array<char, kReceiveBufferSize + 1> buffer{};
    const std::span<char> readable(buffer.data(), kReceiveBufferSize);

    // Reads one datagram from socket i; false when nothing more is pending there.
    auto read_one = [&](std::size_t i) {
        UniqueFd& socket = *sockets[i];
        std::size_t length = 0;
        DatagramOrigin origin;
        switch (ReadDatagramFrom(socket.Get(), readable, length, origin)) {
            case ReadResult::kDatagram:
                // Every broadcast socket gets the broadcasts of every link.
                if (i < kFirstBroadcast || origin.interface_index == slot.interface_index) {
                    Store(TrimmedView(std::string_view(buffer.data(), length)), origin.source,
                          slot.adapter);
                }
                return true;
            case ReadResult::kTooLong:
                return true;  // discarded; more may be pending
            case ReadResult::kNothing:
                return false;
            case ReadResult::kError:
                socket.Reset();  // this socket receives nothing more in this search
                return false;
        }
        return false;
    };
    auto any_open = [&] {
        return std::any_of(sockets.begin(), sockets.end(), [](UniqueFd* s) { return s->Valid(); });
    };

    while (any_open() && listening()) {
        if (options_.loop == ReceiveLoop::kOnePerPass) {
            for (std::size_t i = 0; i < kSockets; ++i) {
                if (sockets[i]->Valid()) {
                    read_one(i);
                }
            }
            clock_.SleepMs(kPollIntervalMs);
            continue;
        }
        std::array<int, kSockets> fds{};
        for (std::size_t i = 0; i < kSockets; ++i) {
            fds[i] = sockets[i]->Get();
        }
        std::array<bool, kSockets> ready{};
        if (!WaitReadable(fds, ready, kPollIntervalMs)) {
            clock_.SleepMs(kPollIntervalMs);
            continue;
        }
        for (std::size_t i = 0; i < kSockets; ++i) {
            // Every pending datagram is read now; the window and the flag are still
            // checked for each, so a stop is seen within one pass.
            while (ready[i] && sockets[i]->Valid() && listening() && read_one(i)) {
            }
        }
    }
    for (UniqueFd* socket : sockets) {
        socket->Reset();
    }
}

}  // namespace orvandel
