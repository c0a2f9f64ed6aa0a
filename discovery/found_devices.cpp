#include "discovery/found_devices.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>

#include "discovery/ipv4.h"
#include "discovery/small_set.h"

namespace orvandel {

namespace {

// An ip's place in the order of UTF-16 units. Up to 15 units from 1 to 0x7F (any
// dotted IPv4 address) are packed into two numbers, unit by unit from the most
// significant byte, padded with zeros, the length last: comparing the numbers
// compares the texts. Other ips are compared as texts.
struct SortKey {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    bool packed = false;
};

template <typename Char>
SortKey Packed(std::basic_string_view<Char> ip) {
    SortKey key;
    if (ip.size() > 15 ||
        !std::all_of(ip.begin(), ip.end(), [](Char c) { return c >= 1 && c <= 0x7F; })) {
        return key;
    }
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < ip.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(ip[i]);
    }
    bytes[15] = static_cast<std::uint8_t>(ip.size());
    for (std::size_t i = 0; i < 8; ++i) {
        key.high = key.high << 8 | bytes[i];
        key.low = key.low << 8 | bytes[8 + i];
    }
    key.packed = true;
    return key;
}

// A parsed ip is written back exactly as it was received (the parser takes no
// leading zeros, signs or spaces), so its key comes from the value, without
// reading the record's text.
SortKey KeyOf(const StoredReply& latest) {
    if (latest.ip_value) {
        return Packed(std::string_view(ipv4::Format(*latest.ip_value)));
    }
    return Packed(std::u16string_view(latest.record.ip));
}

// Store is ReplyStore or const ReplyStore; from a mutable one the records move.
template <typename Store>
std::vector<FoundDevice> Build(Store& store, const std::vector<AdapterAddress>& searched,
                               const JudgeContext& context) {
    using Reply = std::conditional_t<std::is_const_v<Store>, const StoredReply, StoredReply>;
    // The store holds each ip's replies together. Their order is found first, on
    // small keys, so that each device is then built once, in its place.
    struct Slot {
        SortKey key;
        std::size_t first = 0;  // into `replies`
        std::size_t count = 0;
    };
    std::vector<Reply*> replies;
    replies.reserve(store.Size());
    std::vector<Slot> slots;
    slots.reserve(store.IpCount());
    store.ForEachIp([&](std::span<Reply* const> group) {
        slots.push_back({KeyOf(*group.back()), replies.size(), group.size()});
        replies.insert(replies.end(), group.begin(), group.end());
    });
    const auto ip_of = [&](const Slot& slot) -> const std::u16string& {
        return replies[slot.first + slot.count - 1]->record.ip;
    };
    std::sort(slots.begin(), slots.end(), [&](const Slot& a, const Slot& b) {
        if (a.key.packed && b.key.packed) {
            return a.key.high != b.key.high ? a.key.high < b.key.high : a.key.low < b.key.low;
        }
        return ip_of(a) < ip_of(b);
    });

    std::vector<FoundDevice> found;
    found.reserve(slots.size());
    std::vector<AdapterAddress> adapters;
    for (const Slot& slot : slots) {
        const std::span<Reply* const> group(replies.data() + slot.first, slot.count);
        Reply& latest = *group.back();
        ReachabilityTally tally(latest.ip_value);
        InlineList<std::uint32_t, 2> sources;
        SmallSet<std::uint32_t> seen;
        for (Reply* reply : group) {
            adapters.clear();
            for (const std::size_t a : reply->origin.adapters) {
                if (a < searched.size()) {
                    adapters.push_back(searched[a]);
                }
            }
            tally.Add(reply->record, adapters, reply->origin.sources);
            for (const std::uint32_t source : reply->origin.sources) {
                if (source != 0 && seen.Insert(source)) {
                    sources.PushBack(source);
                }
            }
        }
        FoundDevice& device = found.emplace_back();
        if constexpr (std::is_const_v<Store>) {
            device.record = latest.record;
        } else {
            device.record = std::move(latest.record);
        }
        device.verdict = std::move(tally).Judge(context);
        device.sources = std::move(sources);
    }
    return found;
}

}  // namespace

std::vector<FoundDevice> BuildFoundDevices(const ReplyStore& store,
                                           const std::vector<AdapterAddress>& searched,
                                           const JudgeContext& context) {
    return Build(store, searched, context);
}

std::vector<FoundDevice> BuildFoundDevices(ReplyStore&& store,
                                           const std::vector<AdapterAddress>& searched,
                                           const JudgeContext& context) {
    return Build(store, searched, context);
}

}  // namespace orvandel
