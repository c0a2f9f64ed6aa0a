// The site file reader over any bytes: what its JSON reader accepts, an
// independent reader (nlohmann-json) accepts too (escapes of lone surrogates
// aside, which it reads as U+FFFD, and numbers beyond a double, which it keeps as
// text), and every site it accepts is written back to
// a file that reads as the same devices, the user's labels and tags included.
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/cli/json_reader.h"
#include "tools/cli/site_file.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// Whether `text` holds a \u escape of a surrogate, which nlohmann-json refuses
// unless it is part of a pair.
bool HasSurrogateEscape(std::string_view text) {
    for (std::size_t at = text.find("\\u"); at != std::string_view::npos;
         at = text.find("\\u", at + 1)) {
        if (at + 3 < text.size() && (text[at + 2] == 'd' || text[at + 2] == 'D')) {
            const char c = text[at + 3];
            if ((c >= '8' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) {
                return true;
            }
        }
    }
    return false;
}

// Whether a number in the tree is too large for a double, which nlohmann-json
// refuses and the reader, keeping numbers as text, does not.
bool HasHugeNumber(const orvandel::cli::JsonValue& value) {
    if (value.type == orvandel::cli::JsonValue::Type::kNumber) {
        return std::isinf(std::strtod(value.text.c_str(), nullptr));
    }
    for (const auto& item : value.items) {
        if (HasHugeNumber(item)) {
            return true;
        }
    }
    return false;
}

bool SameDevice(const orvandel::cli::SiteDevice& a, const orvandel::cli::SiteDevice& b) {
    return a.identity == b.identity && a.mac == b.mac && a.ip == b.ip && a.name == b.name &&
           a.model == b.model && a.firmware == b.firmware && a.last_seen == b.last_seen &&
           a.label == b.label && a.tags == b.tags;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto value = orvandel::cli::ReadJson(text, error);
    if (value && !HasSurrogateEscape(text) && !HasHugeNumber(*value)) {
        Check(nlohmann::json::accept(text));
    }
    const auto site = orvandel::cli::ParseSiteFile(text, error);
    if (!site) {
        Check(!error.empty());
        return 0;
    }
    const std::string written = orvandel::cli::FormatSiteFile(*site, 0);
    Check(nlohmann::json::accept(written));
    const auto again = orvandel::cli::ParseSiteFile(written, error);
    Check(again.has_value() && again->devices.size() == site->devices.size());
    for (std::size_t i = 0; i < site->devices.size(); ++i) {
        Check(SameDevice(site->devices[i], again->devices[i]));
    }
    return 0;
}
