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
    std::vector<FoundDevice> found;
    found.reserve(store.IpCount());
    std::vector<AdapterAddress> adapters;
    // The store already holds each ip's replies together: one pass over them.
    store.ForEachIp([&](std::span<Reply* const> replies) {
        Reply& latest = *replies.back();
        ReachabilityTally tally(latest.record.ip);
        std::vector<std::string> sources;
        SmallSet<std::uint32_t> seen;
        for (Reply* reply : replies) {
            adapters.clear();
            for (const std::size_t a : reply->origin.adapters) {
                if (a < searched.size()) {
                    adapters.push_back(searched[a]);
                }
            }
            tally.Add(reply->record, adapters, reply->origin.sources);
            for (const std::uint32_t source : reply->origin.sources) {
                if (source != 0 && seen.Insert(source)) {
                    sources.push_back(ipv4::Format(source));
                }
            }
        }
        Reachability verdict = std::move(tally).Judge(context);
        if constexpr (std::is_const_v<Store>) {
            found.push_back({latest.record, std::move(verdict), std::move(sources)});
        } else {
            found.push_back({std::move(latest.record), std::move(verdict), std::move(sources)});
        }
    });

    // Sorted by ip (every ip is there once): the order is found on small keys, then
    // the devices are moved into it along the permutation's cycles, in place.
    std::vector<SortKey> order;
    order.reserve(found.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        order.push_back(KeyOf(found[i].record.ip, i));
    }
    std::sort(order.begin(), order.end(), [&](const SortKey& a, const SortKey& b) {
        if (a.packed && b.packed) {
            return a.high != b.high ? a.high < b.high : a.low < b.low;
        }
        return found[a.index].record.ip < found[b.index].record.ip;
    });
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (order[start].index == start) {
            continue;
        }
        // Place `at` takes the device from order[at].index, until the cycle closes.
        FoundDevice first = std::move(found[start]);
        std::size_t at = start;
        for (;;) {
            const std::size_t from = order[at].index;
            order[at].index = at;
            if (from == start) {
                found[at] = std::move(first);
                break;
            }
            found[at] = std::move(found[from]);
            at = from;
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
