#include "discovery/found_devices.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <unordered_map>

#include "discovery/ipv4.h"
#include "discovery/small_set.h"

namespace orvandel {

namespace {

template <typename Reply>
struct Group {
    Reply* latest = nullptr;
    ReachabilityTally tally;
    std::vector<std::string> sources;
    SmallSet<std::uint32_t> seen;

    explicit Group(std::u16string_view ip) : tally(ip) {}
};

// An ip's place in the order of UTF-16 units. Up to 15 units from 1 to 0x7F (any
// dotted IPv4 address) are packed into two numbers, unit by unit from the most
// significant byte, padded with zeros, the length last: comparing the numbers
// compares the texts. Other ips are compared as texts.
struct SortKey {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    std::size_t index = 0;
    bool packed = false;
};

SortKey KeyOf(std::u16string_view ip, std::size_t index) {
    SortKey key;
    key.index = index;
    if (ip.size() > 15 ||
        !std::all_of(ip.begin(), ip.end(), [](char16_t c) { return c >= 1 && c <= 0x7F; })) {
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

// Store is ReplyStore or const ReplyStore; from a mutable one the records move.
template <typename Store>
std::vector<FoundDevice> Build(Store& store, const std::vector<AdapterAddress>& searched,
                               const JudgeContext& context) {
    using Reply = std::conditional_t<std::is_const_v<Store>, const StoredReply, StoredReply>;
    std::unordered_map<std::u16string_view, std::size_t> index;
    index.reserve(store.Size());
    std::vector<Group<Reply>> groups;
    groups.reserve(store.Size());
    std::vector<AdapterAddress> adapters;
    store.ForEach([&](Reply& reply) {
        const std::u16string_view ip = reply.record.ip;
        const auto [at, added] = index.try_emplace(ip, groups.size());
        if (added) {
            groups.emplace_back(ip);
        }
        Group<Reply>& group = groups[at->second];
        // The store's order is that of latest arrival, so the last one seen wins.
        group.latest = &reply;
        adapters.clear();
        for (const std::size_t a : reply.origin.adapters) {
            if (a < searched.size()) {
                adapters.push_back(searched[a]);
            }
        }
        group.tally.Add(reply.record, adapters, reply.origin.sources);
        for (const std::uint32_t source : reply.origin.sources) {
            if (source != 0 && group.seen.Insert(source)) {
                group.sources.push_back(ipv4::Format(source));
            }
        }
    });

    // Sorted by ip before the records are taken: every ip is there once.
    std::vector<SortKey> order;
    order.reserve(groups.size());
    for (std::size_t i = 0; i < groups.size(); ++i) {
        order.push_back(KeyOf(groups[i].latest->record.ip, i));
    }
    std::sort(order.begin(), order.end(), [&](const SortKey& a, const SortKey& b) {
        if (a.packed && b.packed) {
            return a.high != b.high ? a.high < b.high : a.low < b.low;
        }
        return groups[a.index].latest->record.ip < groups[b.index].latest->record.ip;
    });
    std::vector<FoundDevice> found;
    found.reserve(groups.size());
    for (const SortKey& key : order) {
        Group<Reply>& group = groups[key.index];
        Reachability verdict = std::move(group.tally).Judge(context);
        if constexpr (std::is_const_v<Store>) {
            found.push_back({group.latest->record, std::move(verdict), std::move(group.sources)});
        } else {
            found.push_back(
                {std::move(group.latest->record), std::move(verdict), std::move(group.sources)});
        }
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
