// The gate between a reply and a URL: a device address opens only when it is
// exactly what inet_pton reads and inet_ntop writes back (four decimal numbers
// 0-255, no leading zeros, signs or spaces) and names one remote unicast host
// (not 0/8, 127/8, 224/4 or 240/4). The bytes are tried as Latin-1 text and as
// UTF-16 units, so that non-ASCII digits, NULs and lone surrogates come up.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "discovery/ipv4.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// What the C library says of the text: 0 when it is no dotted address as inet_ntop
// writes one, else the first number plus one.
int RoundTrip(const std::u16string& text) {
    std::string ascii;
    for (const char16_t c : text) {
        if (c >= 0x80) {
            return 0;
        }
        ascii.push_back(static_cast<char>(c));
    }
    in_addr address{};
    if (ascii.find('\0') != std::string::npos ||
        ::inet_pton(AF_INET, ascii.c_str(), &address) != 1) {
        return 0;
    }
    char written[INET_ADDRSTRLEN] = {};
    Check(::inet_ntop(AF_INET, &address, written, sizeof written) != nullptr);
    if (ascii != written) {
        return 0;
    }
    return static_cast<int>(ntohl(address.s_addr) >> 24) + 1;
}

void CheckGate(const std::u16string& text) {
    const int first = RoundTrip(text) - 1;
    const auto parsed = orvandel::ipv4::Parse(text);
    Check(parsed.has_value() == (first >= 0));
    const bool unicast = first >= 1 && first != 127 && first < 224;
    Check(orvandel::ipv4::IsOpenableText(text) == unicast);
    if (parsed) {
        // What is read is written back unchanged, through both faces of the parser.
        std::string ascii(text.begin(), text.end());
        Check(orvandel::ipv4::Format(*parsed) == ascii);
        Check(orvandel::ipv4::Parse(std::string_view(ascii)) == parsed);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckGate(std::u16string(data, data + size));  // Latin-1: one unit per byte
    std::u16string units(size / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    CheckGate(units);
    return 0;
}
