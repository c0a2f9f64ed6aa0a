#include "discovery/found_devices.h"

#include <algorithm>
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
    std::vector<std::size_t> order(groups.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return groups[a].latest->record.ip < groups[b].latest->record.ip;
    });
    std::vector<FoundDevice> found;
    found.reserve(groups.size());
    for (const std::size_t i : order) {
        Group<Reply>& group = groups[i];
        FoundDevice& device = found.emplace_back();
        if constexpr (std::is_const_v<Store>) {
            device.record = group.latest->record;
        } else {
            device.record = std::move(group.latest->record);
        }
        device.verdict = group.tally.Judge(context);
        device.sources = std::move(group.sources);
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
