// What the transport saw of its own work during one search, for the diagnosis of
// a search that found nothing: sockets that would not open, sends the system
// refused, whether the browse command came back on the group socket (multicast
// loop is on, so a working send path always brings it back), and datagrams that
// were not device replies.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orvandel {

// Senders of datagrams that were not device replies, kept per adapter.
inline constexpr std::size_t kMaxNotDeviceSenders = 4;

struct AdapterObservation {
    std::string address;           // the searched address
    std::string interface_name;    // its interface
    int group_bind_error = 0;      // errno of the group socket's failed open; 0 when it opened
    int adapter_bind_error = 0;    // the same for the adapter socket
    bool group_socket = false;     // the group socket opened
    int sends = 0;                 // datagrams handed to the system
    int send_errors = 0;           // of them refused
    int last_send_error = 0;       // errno of the last refusal
    int sends_skipped = 0;         // left out: the socket's buffer stayed full
    bool own_browse_seen = false;  // our command came back on the group socket
    std::size_t not_device_count = 0;
    std::vector<std::string> not_device_senders;  // dotted, first few distinct
};

struct SearchObservations {
    std::vector<AdapterObservation> adapters;  // searched adapters, in search order
};

}  // namespace orvandel
