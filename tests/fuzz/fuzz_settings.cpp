// The settings reader takes whatever bytes setting.cfg holds: it must never crash,
// the streaming and in-memory readers must agree with a plain model of the rule,
// and what is written must read back. Each input is also tried moved up against
// the read limit, so that the limit falls at every place inside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "localization/settings_file.h"
#include "tests/fuzz/settings_model.h"

namespace {

using orvandel::kMaxSettingsBytes;
using orvandel::fuzz::Model;

void Check(std::string_view bytes) {
    const auto from_text = orvandel::ParseLanguageSetting(bytes);
    std::istringstream in{std::string(bytes)};
    if (orvandel::ParseLanguageSetting(in) != from_text) {
        std::abort();
    }
    if (Model(bytes) != from_text) {
        std::abort();
    }
    if (from_text &&
        orvandel::ParseLanguageSetting(orvandel::FormatLanguageLine(*from_text)) != from_text) {
        std::abort();  // what is written must read back
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Check(bytes);
    if (size > 1 && size <= kMaxSettingsBytes) {
        // The first byte says how far past the limit the rest reaches.
        const std::string_view rest = bytes.substr(1);
        const std::size_t past = static_cast<unsigned char>(bytes[0]) % (rest.size() + 1);
        Check(std::string(kMaxSettingsBytes + past - rest.size(), ' ') + std::string(rest));
    }
    return 0;
}
