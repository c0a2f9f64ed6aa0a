// IPv4 addresses as this program reads and writes them: the one parser, formatter
// and set of address rules used by the URL gate, the reachability verdicts, the
// search engine and the command-line finder. Pure functions; no system calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvandel::ipv4 {

// An address in host byte order.
using Address = std::uint32_t;

// Exactly four decimal numbers 0-255 joined by dots, no signs, spaces or leading
// zeros ("010" reads as octal to some resolvers, so it is refused, not guessed).
// This is what inet_ntop writes; anything else is nullopt. UTF-16 units outside
// ASCII never count as digits.
std::optional<Address> Parse(std::string_view text);
std::optional<Address> Parse(std::u16string_view text);

// "10.0.0.1".
std::string Format(Address address);

enum class Kind {
    kThisNetwork,  // 0.0.0.0/8: not a host anywhere
    kLoopback,     // 127.0.0.0/8: this computer's own services
    kLinkLocal,    // 169.254.0.0/16: a host that got no address from a router
    kMulticast,    // 224.0.0.0/4
    kReserved,     // 240.0.0.0/4, the limited broadcast included
    kUnicast,      // any other: one host, on this network or another
};
Kind Classify(Address address);

// A host a click or a command may be sent to: unicast or link-local. Not 0/8
// ("this" network), 127/8 (this computer's own services), 224/4 (multicast) or
// 240/4 (reserved, 255.255.255.255 included): a reply may claim any of these, a
// click must not open them.
bool IsHost(Address address);

// The URL gate: `text` is a dotted address (as Parse reads it) of a host.
bool IsOpenableText(std::u16string_view text);

// Prefix lengths 0..32 are usable; anything else means the subnet is unknown.
bool PrefixUsable(int prefix_length);
// The net mask of a usable prefix (0 for /0).
Address Mask(int prefix_length);
// Whether `address` lies in network/prefix_length; false for an unusable prefix.
bool InSubnet(Address address, Address network, int prefix_length);
// "10.77.0.0/24" for 10.77.0.1 with prefix 24; empty when the prefix is unusable.
std::string SubnetText(Address address, int prefix_length);

}  // namespace orvandel::ipv4
