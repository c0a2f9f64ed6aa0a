// Fills the {name} placeholders of the tooltip texts with concrete values, as
// plain text.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace orvandel {

struct PlaceholderValues {
    std::u16string_view ip;              // {ip}: the device's address
    std::u16string_view subnet;          // {subnet}: e.g. "10.77.0.0/24"
    std::u16string_view interface_name;  // {interface}: from the system, untrusted
    std::int32_t count = 0;              // {count}
    std::u16string_view source;          // {source}: a datagram's source address
};

// Longest value put in; interface aliases can be long, names are at most 15.
inline constexpr std::size_t kPlaceholderValueCapacity = 40;
// Longest filled text; longer results are cut.
inline constexpr std::size_t kFilledTextCapacity = 512;

// Replaces each known placeholder in one pass, so a value that itself reads
// "{ip}" stays as it is; unknown names stay untouched. Values lose control,
// line-break and bidirectional-override characters, and '<', '>' and '&' become
// their full-width look-alikes, so no value can start markup or reorder the
// text; unpaired surrogates become U+FFFD.
std::u16string FillPlaceholders(std::u16string_view text, const PlaceholderValues& values);

// The same rule for any set of names (each given with its braces, "{port}"), for
// texts whose values are longer: each value is cut at kNamedValueCapacity.
struct NamedValue {
    std::u16string_view name;
    std::u16string_view value;
};
inline constexpr std::size_t kNamedValueCapacity = 96;
std::u16string FillNamedPlaceholders(std::u16string_view text, std::span<const NamedValue> values);

}  // namespace orvandel
