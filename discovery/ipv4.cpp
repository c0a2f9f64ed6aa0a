#include "discovery/ipv4.h"

namespace orvandel::ipv4 {
namespace {

template <typename Char>
std::optional<Address> ParseDotted(std::basic_string_view<Char> text) {
    Address value = 0;
    int parts = 0;
    std::size_t i = 0;
    while (true) {
        std::size_t digits = 0;
        Address part = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            part = part * 10 + static_cast<Address>(text[i] - '0');
            ++digits;
            ++i;
        }
        if (digits == 0 || digits > 3 || part > 255 || (digits > 1 && text[i - digits] == '0')) {
            return std::nullopt;
        }
        value = (value << 8) | part;
        if (++parts == 4) {
            break;
        }
        if (i >= text.size() || text[i] != '.') {
            return std::nullopt;
        }
        ++i;
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<Address> Parse(std::string_view text) {
    return ParseDotted(text);
}

std::optional<Address> Parse(std::u16string_view text) {
    return ParseDotted(text);
}

std::string Format(Address v) {
    // At most 15 characters: built in place, the result fits the string's own
    // buffer (no allocation), as it is made for every sender of a long list.
    char text[15];
    std::size_t size = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned part = (v >> shift) & 0xFF;
        if (part >= 100) {
            text[size++] = static_cast<char>('0' + part / 100);
        }
        if (part >= 10) {
            text[size++] = static_cast<char>('0' + part / 10 % 10);
        }
        text[size++] = static_cast<char>('0' + part % 10);
        if (shift > 0) {
            text[size++] = '.';
        }
    }
    return std::string(text, size);
}

Kind Classify(Address address) {
    const Address top = address >> 24;
    if (top == 0) {
        return Kind::kThisNetwork;
    }
    if (top == 127) {
        return Kind::kLoopback;
    }
    if (top >= 224 && top <= 239) {
        return Kind::kMulticast;
    }
    if (top >= 240) {
        return Kind::kReserved;
    }
    if ((address & 0xFFFF0000) == 0xA9FE0000) {
        return Kind::kLinkLocal;
    }
    return Kind::kUnicast;
}

bool IsHost(Address address) {
    const Kind kind = Classify(address);
    return kind == Kind::kUnicast || kind == Kind::kLinkLocal;
}

bool IsOpenableText(std::u16string_view text) {
    const auto address = Parse(text);
    return address && IsHost(*address);
}

bool PrefixUsable(int prefix_length) {
    return prefix_length >= 0 && prefix_length <= 32;
}

Address Mask(int prefix_length) {
    // A shift by 32 is undefined, so /0 is spelled out.
    if (prefix_length <= 0) {
        return 0;
    }
    return prefix_length >= 32 ? ~Address{0} : ~Address{0} << (32 - prefix_length);
}

bool InSubnet(Address address, Address network, int prefix_length) {
    if (!PrefixUsable(prefix_length)) {
        return false;
    }
    const Address mask = Mask(prefix_length);
    return (address & mask) == (network & mask);
}

std::string SubnetText(Address address, int prefix_length) {
    if (!PrefixUsable(prefix_length)) {
        return {};
    }
    return Format(address & Mask(prefix_length)) + "/" + std::to_string(prefix_length);
}

}  // namespace orvandel::ipv4
