// Feeds arbitrary bytes to the reply parser and checks the record's limits; the
// same bytes, split at NUL, also go through the collection and the rows.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/collection.h"
#include "discovery/reply_parser.h"
#include "discovery/utf_text.h"

namespace {

using orvandel::DeviceInfo;

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// No field over its capacity, and no surrogate left without its partner.
void CheckText(const std::u16string& text, std::size_t max_units) {
    Check(text.size() <= max_units);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (orvandel::IsHighSurrogate(text[i])) {
            Check(i + 1 < text.size() && orvandel::IsLowSurrogate(text[i + 1]));
            ++i;
        } else {
            Check(!orvandel::IsLowSurrogate(text[i]));
        }
    }
}

void CheckRecord(const DeviceInfo& info) {
    CheckText(info.raw_text, orvandel::kRawTextCapacity - 1);
    for (const auto* field :
         {&info.command, &info.device_name, &info.org, &info.model, &info.master_version,
          &info.daily, &info.uboot_version, &info.sub_model, &info.id, &info.dhcp, &info.name,
          &info.ip, &info.mask, &info.gateway, &info.dns}) {
        CheckText(*field, orvandel::kFieldCapacity - 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const DeviceInfo parsed = orvandel::ParseReply(bytes);
    CheckRecord(parsed);
    // The receiver's shortcut never throws away a reply that gives an ip.
    Check(orvandel::MayGiveIp(bytes) || parsed.ip.empty());

    // A value written as the first element of an array reads as the plain value.
    std::string value;
    for (char c : bytes.substr(0, 900)) {
        if (c != '"' && c != '\\' && c != '\0') {
            value.push_back(c);
        }
    }
    const DeviceInfo plain = orvandel::ParseReply("{\"ip\": \"" + value + "\"}");
    const DeviceInfo in_array = orvandel::ParseReply("{\"ip\": [ \"" + value + "\", \"x\"]}");
    Check(plain.ip == in_array.ip);
    Check(value.empty() || !plain.ip.empty());

    std::vector<std::string> replies;
    std::size_t start = 0;
    while (start <= bytes.size()) {
        const std::size_t end = std::min(bytes.find('\0', start), bytes.size());
        replies.emplace_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    const std::vector<DeviceInfo> devices = orvandel::CollectDevices(replies);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        CheckRecord(devices[i]);
        Check(!devices[i].ip.empty());
        Check(i == 0 || devices[i - 1].ip < devices[i].ip);
    }
    for (const orvandel::DeviceRow& row : orvandel::BuildRows(devices)) {
        Check(row.ip_line.size() <= 63 && row.mac_line.size() <= 63);
        Check(row.model_index == 0 || row.model_index == 1);
    }
    return 0;
}
