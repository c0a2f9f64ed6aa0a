// UDP sockets for the discovery exchange: opening them bound to an adapter or to
// the multicast group, sending, and non-blocking reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace orvandel {

// Bound to group:port with address reuse, joined to the group on the adapter that
// owns `adapter`, and limited to that adapter's group traffic (IP_MULTICAST_ALL 0):
// a socket bound to a unicast address never sees multicast on Linux.
// `receive_buffer` > 0 asks for that many bytes of socket buffer. Invalid on failure,
// and then `error`, when given, holds the errno of the step that failed (EADDRINUSE:
// another program holds the port without address reuse).
UniqueFd OpenGroupSocket(const std::string& adapter, std::uint16_t port, const std::string& group,
                         int receive_buffer, int* error = nullptr);

// Bound to adapter:port with address reuse; datagrams sent to the group leave
// through that adapter, and unicast datagrams to adapter:port arrive here.
UniqueFd OpenAdapterSocket(const std::string& adapter, std::uint16_t port, int receive_buffer,
                           int* error = nullptr);

// Lets the socket send to broadcast addresses (SO_BROADCAST); false on failure.
bool AllowBroadcast(const UniqueFd& fd);

// Bound to a broadcast address (an adapter's subnet broadcast address, or
// 255.255.255.255) and port with address reuse, so that every copy of the program
// gets each broadcast; reports the arriving interface (IP_PKTINFO). On Linux a
// socket bound to an adapter's own address sees no broadcast at all.
UniqueFd OpenBroadcastSocket(const std::string& address, std::uint16_t port, int receive_buffer);

// A second descriptor for the same socket (closing one leaves the other usable).
UniqueFd DuplicateFd(const UniqueFd& fd);

// Blocking send of one datagram; false when the system refused it.
bool SendDatagram(int fd, const std::string& address, std::uint16_t port, std::string_view bytes);

enum class SendResult {
    kSent,
    kFull,     // no room in the socket's buffer now (EAGAIN, ENOBUFS): try again later
    kRefused,  // the system refused it; errno says why
};

// Sends one datagram without blocking. A datagram to a neighbour whose hardware
// address is still being asked for waits in the socket's buffer (about 3 s for one
// that never answers), so a few hundred such sends fill it: kFull.
SendResult TrySendDatagram(int fd, const std::string& address, std::uint16_t port,
                           std::string_view bytes);

// Waits up to timeout_ms until `fd` has room to send; false on a time-out, an
// EINTR or a poll error.
bool WaitWritable(int fd, int timeout_ms);

// Asks for `bytes` of send buffer (past net.core.wmem_max when we may).
void AskSendBuffer(int fd, int bytes);

enum class ReadResult { kDatagram, kNothing, kTooLong, kError };

// Reads one pending datagram without blocking. kTooLong: a datagram larger than
// `buffer` arrived and was discarded. `length` is set for kDatagram.
ReadResult ReadDatagram(int fd, std::span<char> buffer, std::size_t& length);

struct DatagramOrigin {
    std::uint32_t source = 0;  // the sender's IPv4 address, host byte order
    int interface_index = 0;   // where it arrived; 0 unless the socket asked (IP_PKTINFO)
};

// One datagram of a batch: its bytes are the first `length` of its slot.
struct DatagramSlot {
    std::size_t length = 0;
    bool too_long = false;  // larger than the slot: discarded, `length` is 0
    DatagramOrigin origin;
};

// Reads up to slots.size() pending datagrams (at most 64, and no more than
// `buffer` has slots for) in one system call, without blocking: the i-th lands
// in buffer[i * slot_size ...] and is described by
// slots[i]. kDatagram with `count` set when at least one was read (a datagram
// too long for its slot counts, marked too_long); kNothing when none was pending.
ReadResult ReadDatagramsFrom(int fd, std::span<char> buffer, std::size_t slot_size,
                             std::span<DatagramSlot> slots, std::size_t& count);

// Which of this computer's addresses the kernel sends from to reach `address`:
// connects a scratch UDP socket to address:port (nothing is sent) and reads the
// source address the kernel chose from its route; broadcast addresses are allowed.
// Empty, with `error` saying why, when no route reaches the address.
std::string RouteSource(const std::string& address, std::uint16_t port, std::string& error);

// Waits up to timeout_ms until one of `fds` (entries < 0 are ignored) has data;
// sets ready[i] accordingly. Returns false on a poll error other than EINTR.
bool WaitReadable(std::span<const int> fds, std::span<bool> ready, int timeout_ms);

}  // namespace orvandel
