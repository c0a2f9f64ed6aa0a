#include "discovery/found_devices.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "discovery/ipv4.h"

namespace orvandel {

namespace {

struct Group {
    const StoredReply* latest = nullptr;
    ReachabilityTally tally;
    std::vector<std::string> sources;
    std::unordered_set<std::uint32_t> seen;

    explicit Group(std::u16string_view ip) : tally(ip) {}
};

}  // namespace

std::vector<FoundDevice> BuildFoundDevices(const ReplyStore& store,
                                           const std::vector<AdapterAddress>& searched,
                                           const JudgeContext& context) {
    std::unordered_map<std::u16string_view, std::size_t> index;
    std::vector<Group> groups;
    std::vector<AdapterAddress> adapters;
    store.ForEach([&](const StoredReply& reply) {
        const std::u16string_view ip = reply.record.ip;
        const auto [at, added] = index.try_emplace(ip, groups.size());
        if (added) {
            groups.emplace_back(ip);
        }
        Group& group = groups[at->second];
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
            if (source != 0 && group.seen.insert(source).second) {
                group.sources.push_back(ipv4::Format(source));
            }
        }
    });

    std::vector<FoundDevice> found;
    found.reserve(groups.size());
    for (Group& group : groups) {
        found.push_back(
            {group.latest->record, group.tally.Judge(context), std::move(group.sources)});
    }
    // Stable is not needed: every ip is there once.
    std::sort(found.begin(), found.end(),
              [](const FoundDevice& a, const FoundDevice& b) { return a.record.ip < b.record.ip; });
    return found;
}

}  // namespace orvandel
