#include "discovery/discovery_transport.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace orvandel {

std::string TrimReply(std::string_view datagram) {
    const std::size_t last_brace = datagram.rfind('}');
    if (last_brace == std::string_view::npos) {
        return {};
    }
    std::string_view kept = datagram.substr(0, last_brace + 1);
    const std::size_t zero = kept.find('\0');
    if (zero != std::string_view::npos) {
        kept = kept.substr(0, zero);
    }
    return std::string(kept);
}

DiscoveryTransport::DiscoveryTransport(Clock& clock, TransportOptions options)
    : clock_(clock),
      options_(std::move(options)),
      command_buffer_(std::make_unique<char[]>(kCommandCapacity)) {}

DiscoveryTransport::~DiscoveryTransport() {
    StopSending();
    StopReceiving();
}

void DiscoveryTransport::EnumerateAdapters(AdapterSource& source) {
    for (std::string& address : UsableAdapterAddresses(source.List())) {
        adapter_addresses_.push_back(std::move(address));
    }
}

void DiscoveryTransport::ClearAdapters() {
    adapter_addresses_.clear();
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
    for (const std::string& address : adapter_addresses_) {
        auto& slot = *receive_slots_.emplace_back(std::make_unique<ReceiveSlot>());
        slot.group_socket =
            OpenGroupSocket(address, options_.port, options_.group, options_.socket_receive_buffer);
        slot.adapter_socket =
            OpenAdapterSocket(address, options_.port, options_.socket_receive_buffer);
        shared_adapter_sockets_.push_back(DuplicateFd(slot.adapter_socket));
        if (slot.group_socket.Valid() || slot.adapter_socket.Valid()) {
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

std::string DiscoveryTransport::GetReply(std::size_t index) const {
    std::lock_guard lock(reply_lock_);
    return index < replies_.size() ? replies_[index] : std::string();
}

void DiscoveryTransport::ClearReplies() {
    std::lock_guard lock(reply_lock_);
    replies_.clear();
    replies_.shrink_to_fit();
    dropped_ = 0;
}

std::size_t DiscoveryTransport::DroppedReplies() const {
    std::lock_guard lock(reply_lock_);
    return dropped_;
}

void DiscoveryTransport::Store(std::string_view reply) {
    if (reply.empty()) {
        return;
    }
    std::lock_guard lock(reply_lock_);
    if (replies_.size() >= options_.max_replies) {
        ++dropped_;
        return;
    }
    replies_.emplace_back(reply);
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
    std::array<UniqueFd*, 2> sockets = {&slot.group_socket, &slot.adapter_socket};
    // One spare byte past the largest datagram keeps the buffer zero-terminated.
    std::array<char, kReceiveBufferSize + 1> buffer{};
    const std::span<char> readable(buffer.data(), kReceiveBufferSize);

    // Reads one datagram from `socket`; false when nothing more is pending there.
    auto read_one = [&](UniqueFd& socket) {
        std::size_t length = 0;
        switch (ReadDatagram(socket.Get(), readable, length)) {
            case ReadResult::kDatagram:
                Store(TrimReply(std::string_view(buffer.data(), length)));
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
            for (UniqueFd* socket : sockets) {
                if (socket->Valid()) {
                    read_one(*socket);
                }
            }
            clock_.SleepMs(kPollIntervalMs);
            continue;
        }
        std::array<int, 2> fds = {slot.group_socket.Get(), slot.adapter_socket.Get()};
        std::array<bool, 2> ready{};
        if (!WaitReadable(fds, ready, kPollIntervalMs)) {
            clock_.SleepMs(kPollIntervalMs);
            continue;
        }
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            // Every pending datagram is read now; the window and the flag are still
            // checked for each, so a stop is seen within one pass.
            while (ready[i] && sockets[i]->Valid() && listening() && read_one(*sockets[i])) {
            }
        }
    }
    slot.group_socket.Reset();
    slot.adapter_socket.Reset();
}

}  // namespace orvandel
