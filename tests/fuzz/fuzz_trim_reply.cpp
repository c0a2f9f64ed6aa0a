// The receive side keeps of each datagram everything up to its last '}', then up
// to the first zero byte. Checked against that rule written as one forward pass,
// and for the properties the parser relies on.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "discovery/discovery_transport.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

std::string Model(std::string_view datagram) {
    std::size_t after_last_brace = 0;  // no '}': nothing is kept
    std::size_t first_zero = datagram.size();
    for (std::size_t i = 0; i < datagram.size(); ++i) {
        if (datagram[i] == '}') {
            after_last_brace = i + 1;
        } else if (datagram[i] == '\0' && first_zero == datagram.size()) {
            first_zero = i;
        }
    }
    return std::string(datagram.substr(0, std::min(after_last_brace, first_zero)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view datagram(reinterpret_cast<const char*>(data), size);
    const std::string kept = orvandel::TrimReply(datagram);
    Check(kept == Model(datagram));
    // Only bytes the parser would read: a prefix, and no zero byte in it.
    Check(datagram.starts_with(kept));
    Check(kept.find('\0') == std::string::npos);
    // A reply followed by anything without a '}' is kept whole.
    const std::size_t brace = datagram.rfind('}');
    if (brace != std::string_view::npos &&
        datagram.substr(0, brace).find('\0') == std::string_view::npos) {
        Check(kept.size() == brace + 1);
    }
    return 0;
}
