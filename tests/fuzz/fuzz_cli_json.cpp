// The command-line finder's --json output, for any records (fields of arbitrary
// UTF-16 units, lone surrogates included): always one valid JSON array that an
// independent reader (nlohmann-json) parses back to the same devices, every field
// under its key in order, "id" null exactly when it is empty, a lone surrogate
// read back as U+FFFD; and no raw control or bidirectional character anywhere, so
// that printing it on a terminal is harmless.
#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tools/cli/cli_output.h"

namespace {

using orvandel::DeviceInfo;
using Json = nlohmann::ordered_json;

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

struct Field {
    const char* key;
    std::u16string DeviceInfo::*member;
};

constexpr std::array<Field, 16> kFields{{
    {"raw_text", &DeviceInfo::raw_text},
    {"command", &DeviceInfo::command},
    {"device_name", &DeviceInfo::device_name},
    {"org", &DeviceInfo::org},
    {"model", &DeviceInfo::model},
    {"master_version", &DeviceInfo::master_version},
    {"daily", &DeviceInfo::daily},
    {"uboot_version", &DeviceInfo::uboot_version},
    {"sub_model", &DeviceInfo::sub_model},
    {"id", &DeviceInfo::id},
    {"dhcp", &DeviceInfo::dhcp},
    {"name", &DeviceInfo::name},
    {"ip", &DeviceInfo::ip},
    {"mask", &DeviceInfo::mask},
    {"gateway", &DeviceInfo::gateway},
    {"dns", &DeviceInfo::dns},
}};

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// What the reader must give back for a field: its characters as UTF-8, a lone
// surrogate as U+FFFD.
std::string Expected(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                (text[i + 1] - 0xDC00));
            ++i;
        } else {
            AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
        }
    }
    return out;
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
    const std::string out = orvandel::cli::FormatJson(devices);
    const Json parsed = Json::parse(out, nullptr, /*allow_exceptions=*/false);
    Check(!parsed.is_discarded() && parsed.is_array() && parsed.size() == devices.size());
    CheckTerminalSafe(out);
    for (std::size_t d = 0; d < devices.size(); ++d) {
        const Json& object = parsed[d];
        Check(object.is_object() && object.size() == kFields.size());
        std::size_t f = 0;
        for (const auto& [key, value] : object.items()) {
            const Field& field = kFields[f++];
            const std::u16string& text = devices[d].*field.member;
            Check(key == field.key);
            if (field.member == &DeviceInfo::id && text.empty()) {
                Check(value.is_null());
            } else {
                Check(value.is_string() && value.get<std::string>() == Expected(text));
            }
        }
    }
    return 0;
}
