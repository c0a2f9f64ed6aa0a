#include "localization/reachability_tip.h"

#include <algorithm>

#include "localization/placeholders.h"

namespace orvandel {
namespace {

std::u16string Wide(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// The adapter the text names: the first one whose subnet is known, for that is
// the network the device is compared with.
const AdapterAddress* NamedAdapter(const Reachability& verdict) {
    const auto it = std::find_if(verdict.adapters.begin(), verdict.adapters.end(),
                                 [](const AdapterAddress& a) { return !SubnetText(a).empty(); });
    return it != verdict.adapters.end() ? &*it : nullptr;
}

void Append(std::u16string& out, const std::u16string& paragraph) {
    if (paragraph.empty()) {
        return;
    }
    if (!out.empty()) {
        out += u"\n\n";
    }
    out += paragraph;
}

}  // namespace

std::u16string ReachabilityTip(const UiStrings& strings, std::u16string_view ip,
                               const Reachability& verdict) {
    std::u16string out;
    // The values only view these: they live as long as `values` does.
    std::u16string subnet;
    std::u16string name;
    std::u16string source;
    PlaceholderValues values;
    values.ip = ip;
    switch (verdict.status) {
        case ReachStatus::kOk:
            break;
        case ReachStatus::kLinkLocal:
        case ReachStatus::kOtherNetwork:
        case ReachStatus::kRouted: {
            const AdapterAddress* adapter = NamedAdapter(verdict);
            subnet = adapter != nullptr ? Wide(SubnetText(*adapter)) : u"";
            name = adapter != nullptr ? Wide(adapter->name) : u"";
            values.subnet = subnet;
            values.interface_name = name;
            const std::u16string& text =
                verdict.status == ReachStatus::kLinkLocal ? strings.TipLinkLocal
                : verdict.status == ReachStatus::kRouted  ? strings.TipRouted
                                                          : strings.TipOtherNetwork;
            Append(out, FillPlaceholders(text, values));
            break;
        }
        case ReachStatus::kConflict: {
            const int others = verdict.conflict_count - (verdict.own_address ? 1 : 0);
            if (verdict.own_address) {
                Append(out, FillPlaceholders(strings.TipConflictOwnAddress, values));
            }
            if (others >= 2) {
                values.count = others;
                Append(out, FillPlaceholders(strings.TipConflictDevices, values));
            }
            break;
        }
    }
    if (!verdict.noted_sources.empty()) {
        source = Wide(verdict.noted_sources.front());
        values.source = source;
        Append(out, FillPlaceholders(strings.TipNotedSource, values));
    }
    return out;
}

}  // namespace orvandel
