#include "discovery/discovery_transport.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <span>
#include <system_error>
#include <vector>

#include "discovery/ipv4.h"
#include "discovery/reply_parser.h"
#include "platform/thread_heap.h"

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

DiscoveryTransport::DiscoveryTransport(Clock& clock, TransportOptions options)
    : clock_(clock),
      options_(std::move(options)),
      store_(ReplyStoreLimits{options_.max_replies, options_.max_replies_per_source,
                              kMaxSourcesPerReply}),
      command_buffer_(std::make_unique<char[]>(kCommandCapacity)) {
    try {
        stop_wake_ = std::make_unique<WakeFd>();
    } catch (const std::system_error&) {
        // Without it a stop is seen within one poll interval.
    }
}

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

void DiscoveryTransport::SetChangeListener(ChangeListener listener) {
    std::lock_guard lock(reply_lock_);
    listener_ = std::move(listener);
}

std::vector<DeviceInfo> DiscoveryTransport::TakeChanged() {
    std::lock_guard lock(reply_lock_);
    return store_.TakeChanged();
}

void DiscoveryTransport::Announce() {
    bool due = false;
    {
        std::lock_guard lock(reply_lock_);
        due = store_.TakeWake();
    }
    // Outside the lock: the woken thread's first act is to take the changes.
    if (due && listener_) {
        listener_();
    }
}

void DiscoveryTransport::SignalStop() {
    if (stop_wake_) {
        stop_wake_->Signal();
    }
}

void DiscoveryTransport::StartReceiving() {
    if (!receive_slots_.empty() || !send_slots_.empty()) {
        StopSending();
        StopReceiving();
    }
    receiving_ = true;
    sending_ = true;
    if (stop_wake_) {
        stop_wake_->Clear();
    }
    shared_adapter_sockets_.clear();
    {
        std::lock_guard lock(observe_lock_);
        observations_.adapters.clear();
        for (const AdapterVerdict& adapter : adapters_) {
            AdapterObservation& seen = observations_.adapters.emplace_back();
            seen.address = adapter.address;
            seen.interface_name =
                adapter.interface_name.empty() ? adapter.name : adapter.interface_name;
        }
    }
    for (const AdapterVerdict& adapter : adapters_) {
        const std::string& address = adapter.address;
        auto& slot = *receive_slots_.emplace_back(std::make_unique<ReceiveSlot>());
        slot.adapter = receive_slots_.size() - 1;
        slot.own_address = ipv4::Parse(address).value_or(0);
        int group_error = 0;
        int adapter_error = 0;
        slot.group_socket = OpenGroupSocket(address, options_.port, options_.group,
                                            options_.socket_receive_buffer, &group_error);
        slot.adapter_socket = OpenAdapterSocket(address, options_.port,
                                                options_.socket_receive_buffer, &adapter_error);
        {
            std::lock_guard lock(observe_lock_);
            AdapterObservation& seen = observations_.adapters[slot.adapter];
            seen.group_socket = slot.group_socket.Valid();
            seen.group_bind_error = seen.group_socket ? 0 : group_error;
            seen.adapter_bind_error = slot.adapter_socket.Valid() ? 0 : adapter_error;
        }
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
            {
                std::lock_guard lock(warm_lock_);
                ++warming_;
            }
            try {
                slot.thread = std::thread(&DiscoveryTransport::ReceiveThread, this, std::ref(slot));
            } catch (const std::system_error&) {
                // No thread: the adapter receives nothing; its sockets close at stop.
                std::lock_guard lock(warm_lock_);
                --warming_;
            }
        }
    }
    // Replies answer the command within a millisecond: the heaps are ready first.
    // A machine too busy to ready them soon does not hold the search up.
    std::unique_lock lock(warm_lock_);
    warm_done_.wait_for(lock, std::chrono::milliseconds(kWarmWaitMs),
                        [this] { return warming_ == 0; });
}

void DiscoveryTransport::StartSending() {
    if (!send_slots_.empty()) {
        StopSending();
    }
    sending_ = true;
    for (std::size_t i = 0; i < adapter_addresses_.size(); ++i) {
        auto& slot = *send_slots_.emplace_back(std::make_unique<SendSlot>());
        slot.adapter = i;
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
            // Room for every round's datagrams while targets that never answer ARP
            // hold theirs, so that the group's sends still find some.
            const std::size_t wanted =
                (slot.targets.size() + 1) * kSendCount * kSendRoomPerDatagram;
            AskSendBuffer(slot.socket.Get(), static_cast<int>(std::min(wanted, kMaxSendBuffer)));
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
    SignalStop();
    {
        std::lock_guard lock(send_pause_lock_);
        sending_ = false;
    }
    send_pause_.notify_all();
}

void DiscoveryTransport::StopSending() {
    {
        std::lock_guard lock(send_pause_lock_);
        sending_ = false;
    }
    send_pause_.notify_all();
    if (send_slots_.empty()) {
        return;
    }
    for (auto& slot : send_slots_) {
        if (slot->thread.joinable()) {
            slot->thread.join();
        }
    }
    send_slots_.clear();  // closes the sockets
}

void DiscoveryTransport::StopReceiving() {
    receiving_ = false;
    SignalStop();
    shared_adapter_sockets_.clear();
    if (receive_slots_.empty()) {
        return;
    }
    for (auto& slot : receive_slots_) {
        if (slot->thread.joinable()) {
            slot->thread.join();
        }
    }
    receive_slots_.clear();
}

std::size_t DiscoveryTransport::ReplyCount() const {
    std::lock_guard lock(reply_lock_);
    return store_.Size();
}

namespace {
// The index-th reply of the store in order, or nullptr.
const StoredReply* Nth(const ReplyStore& store, std::size_t index) {
    const StoredReply* found = nullptr;
    std::size_t i = 0;
    store.ForEach([&](const StoredReply& reply) {
        if (i++ == index) {
            found = &reply;
        }
    });
    return found;
}
}  // namespace

std::string DiscoveryTransport::GetReply(std::size_t index) const {
    std::lock_guard lock(reply_lock_);
    const StoredReply* reply = Nth(store_, index);
    return reply != nullptr ? reply->bytes : std::string();
}

ReplyOrigin DiscoveryTransport::GetReplyOrigin(std::size_t index) const {
    std::lock_guard lock(reply_lock_);
    const StoredReply* reply = Nth(store_, index);
    return reply != nullptr ? reply->origin : ReplyOrigin();
}

ReplyStore DiscoveryTransport::TakeStore() {
    std::lock_guard lock(reply_lock_);
    ReplyStore taken = std::move(store_);
    store_.Clear();
    return taken;
}

void DiscoveryTransport::ClearReplies() {
    std::lock_guard lock(reply_lock_);
    store_.Clear();
}

std::size_t DiscoveryTransport::DroppedReplies() const {
    std::lock_guard lock(reply_lock_);
    return store_.Dropped();
}

bool DiscoveryTransport::Store(std::string_view reply, std::uint32_t source, std::size_t adapter) {
    // A reply without an ip is never stored; most junk is told by a search of its
    // bytes, before any lock or parse.
    if (reply.empty() || !MayGiveIp(reply)) {
        return false;
    }
    {
        std::lock_guard lock(reply_lock_);
        if (store_.Repeat(reply, source, adapter) || store_.Refuses(reply, source)) {
            return true;
        }
    }
    // Parsed outside the lock, so that the other adapters' threads keep storing.
    DeviceInfo record = ParseReply(reply);
    if (record.ip.empty()) {
        return false;
    }
    std::lock_guard lock(reply_lock_);
    store_.Add(reply, std::move(record), source, adapter);
    return true;
}

void DiscoveryTransport::NoteOther(std::string_view datagram, std::uint32_t source,
                                   const ReceiveSlot& slot) {
    const bool own_command = source == slot.own_address &&
                             datagram == std::string_view(command_buffer_.get(), command_length_);
    std::lock_guard lock(observe_lock_);
    if (slot.adapter >= observations_.adapters.size()) {
        return;
    }
    AdapterObservation& seen = observations_.adapters[slot.adapter];
    if (own_command) {
        seen.own_browse_seen = true;
        return;
    }
    ++seen.not_device_count;
    const std::string sender = ipv4::Format(source);
    if (seen.not_device_senders.size() < kMaxNotDeviceSenders &&
        std::find(seen.not_device_senders.begin(), seen.not_device_senders.end(), sender) ==
            seen.not_device_senders.end()) {
        seen.not_device_senders.push_back(sender);
    }
}

SearchObservations DiscoveryTransport::Observations() const {
    std::lock_guard lock(observe_lock_);
    return observations_;
}

void DiscoveryTransport::SendPause(int ms) {
    // A stop must not wait out the pause; a test clock keeps its own time.
    if (&clock_ != &SystemClock()) {
        clock_.SleepMs(ms);
        return;
    }
    std::unique_lock lock(send_pause_lock_);
    send_pause_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !sending_; });
}

void DiscoveryTransport::SendThread(SendSlot& slot, std::string command) {
    if (!sending_) {
        return;
    }
    const std::string group = options_.group;
    // Counts a send and, when the system refused it, its errno; a send left out
    // for want of room is no refusal.
    auto note = [&](SendResult result) {
        const int error = result == SendResult::kRefused ? errno : 0;
        std::lock_guard lock(observe_lock_);
        if (slot.adapter < observations_.adapters.size()) {
            AdapterObservation& seen = observations_.adapters[slot.adapter];
            if (result == SendResult::kFull) {
                ++seen.sends_skipped;
                return;
            }
            ++seen.sends;
            if (result == SendResult::kRefused) {
                ++seen.send_errors;
                seen.last_send_error = error;
            }
        }
    };
    // Sends never block: datagrams to targets that never answer ARP fill the
    // socket's buffer for seconds. A full buffer is waited on up to the end of the
    // round, a stop seen within one poll interval; past that the round's other
    // sends are left out, so the search keeps its length and its stop.
    // A test clock may stand still: then nothing is waited on.
    const bool may_wait = &clock_ == &SystemClock();
    std::int64_t round_end = 0;
    auto send = [&](const std::string& to) {
        for (;;) {
            const SendResult result =
                TrySendDatagram(slot.socket.Get(), to, options_.port, command);
            const std::int64_t left = may_wait ? round_end - clock_.NowMs() : 0;
            if (result != SendResult::kFull || left <= 0 || !sending_) {
                note(result);
                return;
            }
            WaitWritable(slot.socket.Get(),
                         static_cast<int>(std::min<std::int64_t>(left, kPollIntervalMs)));
        }
    };
    for (int i = 0; i < kSendCount; ++i) {
        round_end = clock_.NowMs() + kSendIntervalMs;
        send(group);
        for (const std::string& target : slot.targets) {
            if (!sending_) {
                break;
            }
            send(target);
        }
        SendPause(kSendIntervalMs);
        if (!sending_) {
            break;
        }
    }
}

void DiscoveryTransport::ReceiveThread(ReceiveSlot& slot) {
    if (options_.warm_heap_bytes > 0) {
        WarmThreadHeap(options_.warm_heap_bytes);
    }
    {
        std::lock_guard lock(warm_lock_);
        --warming_;
    }
    warm_done_.notify_all();
    const std::int64_t start = clock_.NowMs();
    auto listening = [&] { return receiving_ && clock_.NowMs() - start < kReceiveWindowMs; };
    constexpr std::size_t kSockets = 4;
    constexpr std::size_t kGroupSocket = 0;
    constexpr std::size_t kFirstBroadcast = 2;  // sockets from here on take broadcasts
    std::array<UniqueFd*, kSockets> sockets = {&slot.group_socket, &slot.adapter_socket,
                                               &slot.subnet_broadcast, &slot.limited_broadcast};
    // Pending datagrams are read a batch at a time: one system call for up to
    // kReadBatch of a burst.
    constexpr std::size_t kReadBatch = 16;
    std::vector<char> buffer(kReadBatch * kReceiveBufferSize);
    std::array<DatagramSlot, kReadBatch> batch{};
    // Datagrams stored since the listener last heard of changes: it hears once
    // per drained batch, and at least every kAnnounceBatch datagrams of a flood.
    std::size_t unannounced = 0;
    auto announce = [&] {
        if (unannounced > 0) {
            unannounced = 0;
            Announce();
        }
    };

    // Reads what is pending on socket i, `most` datagrams at most; false when
    // nothing more is pending there.
    auto read_some = [&](std::size_t i, std::size_t most) {
        UniqueFd& socket = *sockets[i];
        std::size_t count = 0;
        switch (ReadDatagramsFrom(socket.Get(), buffer, kReceiveBufferSize,
                                  std::span(batch).first(most), count)) {
            case ReadResult::kDatagram:
                for (std::size_t k = 0; k < count; ++k) {
                    const DatagramSlot& got = batch[k];
                    // Too long: discarded. Every broadcast socket gets the
                    // broadcasts of every link.
                    if (got.too_long || (i >= kFirstBroadcast &&
                                         got.origin.interface_index != slot.interface_index)) {
                        continue;
                    }
                    const std::string_view datagram(buffer.data() + k * kReceiveBufferSize,
                                                    got.length);
                    if (!Store(TrimmedView(datagram), got.origin.source, slot.adapter) &&
                        i == kGroupSocket) {
                        NoteOther(datagram, got.origin.source, slot);
                    }
                    if (++unannounced >= kAnnounceBatch) {
                        announce();
                    }
                }
                // A short batch emptied the queue.
                return count == most;
            case ReadResult::kTooLong:
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
    // An idle reader sleeps until a datagram, a stop or the end of its window. A
    // test clock keeps its own time, and without the stop signal a stop is only
    // seen by looking: then it looks once per poll interval.
    const bool wait_to_end = stop_wake_ != nullptr && &clock_ == &SystemClock();
    auto wait_ms = [&] {
        if (!wait_to_end) {
            return kPollIntervalMs;
        }
        const std::int64_t left = kReceiveWindowMs - (clock_.NowMs() - start);
        return static_cast<int>(std::clamp<std::int64_t>(left, 1, kReceiveWindowMs));
    };

    while (any_open() && listening()) {
        if (options_.loop == ReceiveLoop::kOnePerPass) {
            for (std::size_t i = 0; i < kSockets; ++i) {
                if (sockets[i]->Valid()) {
                    read_some(i, 1);
                }
            }
            announce();
            clock_.SleepMs(kPollIntervalMs);
            continue;
        }
        // The last descriptor is the stop signal: a stop ends the wait at once.
        std::array<int, kSockets + 1> fds{};
        for (std::size_t i = 0; i < kSockets; ++i) {
            fds[i] = sockets[i]->Get();
        }
        fds[kSockets] = stop_wake_ ? stop_wake_->Get() : -1;
        std::array<bool, kSockets + 1> ready{};
        if (!WaitReadable(fds, ready, wait_ms())) {
            clock_.SleepMs(kPollIntervalMs);
            continue;
        }
        for (std::size_t i = 0; i < kSockets; ++i) {
            // Every pending datagram is read now; the window and the flag are still
            // checked for each batch, so a stop is seen within one pass.
            while (ready[i] && sockets[i]->Valid() && listening() && read_some(i, kReadBatch)) {
            }
        }
        announce();
    }
    announce();
    for (UniqueFd* socket : sockets) {
        socket->Reset();
    }
}

}  // namespace orvandel
