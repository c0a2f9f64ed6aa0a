// The settings reader takes whatever bytes setting.cfg holds: it must never crash,
// and the streaming and in-memory readers must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "localization/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto from_text = orvandel::ParseLanguageSetting(bytes);
    std::istringstream in{std::string(bytes)};
    if (orvandel::ParseLanguageSetting(in) != from_text) {
        std::abort();
    }
    if (from_text &&
        orvandel::ParseLanguageSetting(orvandel::FormatLanguageLine(*from_text)) != from_text) {
        std::abort();  // what is written must read back
    }
    return 0;
}
