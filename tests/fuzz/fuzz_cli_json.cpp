// The command-line finder's --json output, for any records (fields of arbitrary
// UTF-16 units, lone surrogates included): always one valid JSON object that an
// independent reader (nlohmann-json) parses back to the same devices, every field
// of each "reply" under its key in order, null exactly when it is empty (the raw
// text excepted), a lone surrogate
// read back as U+FFFD; and no raw control or bidirectional character anywhere, so
// that printing it on a terminal is harmless.
#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tools/cli/cli_json.h"

namespace {

using orvandel::DeviceInfo;
using Json = nlohmann::ordered_json;

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

using Field = orvandel::DeviceField;
constexpr auto kFields = orvandel::kDeviceFields;

// What the reader must give back for a field: its characters as UTF-8, a lone
// surrogate as U+FFFD. The reader itself decodes it from \u escapes, so the
// expectation does not lean on the product's UTF-8 encoder.
std::string Expected(std::u16string_view text) {
    std::string literal = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool paired =
            high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        char escape[16];
        if (paired) {
            std::snprintf(escape, sizeof escape, "\\u%04x\\u%04x", unsigned{unit},
                          unsigned{text[i + 1]});
            ++i;
        } else {
            const bool lone = unit >= 0xD800 && unit <= 0xDFFF;
            std::snprintf(escape, sizeof escape, "\\u%04x", lone ? 0xFFFDu : unsigned{unit});
        }
        literal += escape;
    }
    literal += '"';
    return Json::parse(literal).get<std::string>();
}

// The output's characters (it is valid UTF-8, or the reader has refused it): no
// control but the line breaks between members, no C1 control, no bidirectional
// control or mark.
void CheckTerminalSafe(std::string_view out) {
    for (std::size_t i = 0; i < out.size();) {
        const auto lead = static_cast<unsigned char>(out[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t cp = length == 1   ? lead
                      : length == 2 ? lead & 0x1F
                      : length == 3 ? lead & 0x0F
                                    : lead & 0x07;
        for (std::size_t k = 1; k < length; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(out[i + k]) & 0x3F);
        }
        i += length;
        Check(cp == '\n' || cp >= 0x20);
        Check(!(cp >= 0x7F && cp <= 0x9F));
        Check(cp != 0x061C && cp != 0x200E && cp != 0x200F && !(cp >= 0x202A && cp <= 0x202E) &&
              !(cp >= 0x2066 && cp <= 0x2069));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::vector<DeviceInfo> devices(input.ConsumeIntegralInRange<std::size_t>(0, 3));
    for (DeviceInfo& device : devices) {
        for (const Field& field : kFields) {
            std::u16string& text = device.*field.member;
            text.resize(input.ConsumeIntegralInRange<std::size_t>(0, 24));
            for (char16_t& unit : text) {
                unit = input.ConsumeIntegral<char16_t>();
            }
        }
    }
    const std::string out = orvandel::cli::FormatResultJson({}, devices, {}, false);
    const Json parsed = Json::parse(out, nullptr, /*allow_exceptions=*/false);
    Check(!parsed.is_discarded() && parsed.is_object() && parsed.contains("devices"));
    const Json& listed = parsed["devices"];
    Check(listed.is_array() && listed.size() == devices.size());
    CheckTerminalSafe(out);
    for (std::size_t d = 0; d < devices.size(); ++d) {
        Check(listed[d].is_object() && listed[d].contains("reply"));
        const Json& reply = listed[d]["reply"];
        Check(reply.is_object() && reply.size() == kFields.size());
        std::size_t f = 0;
        for (const auto& [key, value] : reply.items()) {
            const Field& field = kFields[f++];
            const std::u16string& text = devices[d].*field.member;
            Check(key == field.key);
            // The raw text is always there; every other absent value is null.
            if (field.member != &DeviceInfo::raw_text && text.empty()) {
                Check(value.is_null());
            } else {
                Check(value.is_string() && value.get<std::string>() == Expected(text));
            }
        }
    }
    return 0;
}
