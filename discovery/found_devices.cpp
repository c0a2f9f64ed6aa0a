#include "discovery/found_devices.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>

#include "discovery/ipv4.h"
#include "discovery/small_set.h"
#include "text/utf.h"

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

// MACs in the order of their shown texts (ASCII letters upper-cased), so that two
// are equal exactly when every view shows them alike.
int CompareMacs(std::u16string_view a, std::u16string_view b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const char16_t x = text::AsciiUpper(a[i]);
        const char16_t y = text::AsciiUpper(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// The order of one ip's claims: a MAC before none, then by MAC.
bool ClaimBefore(const DeviceInfo& a, const DeviceInfo& b) {
    if (a.id.empty() != b.id.empty()) {
        return !a.id.empty();
    }
    return CompareMacs(a.id, b.id) < 0;
}

// A MAC's place in the order below: the value + 1 of one written
// xx:xx:xx:xx:xx:xx (hexadecimal digits of either case, so equal values are equal
// texts to CompareMacs), 0 for any other text, which is then compared as text.
std::uint64_t MacOrder(std::u16string_view mac) {
    if (mac.size() != 17) {
        return 0;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        const char16_t c = text::AsciiUpper(mac[i]);
        if (i % 3 == 2) {
            if (c != u':') {
                return 0;
            }
            continue;
        }
        const bool digit = c >= u'0' && c <= u'9';
        if (!digit && !(c >= u'A' && c <= u'F')) {
            return 0;
        }
        value = value << 4 | static_cast<std::uint64_t>(digit ? c - u'0' : c - u'A' + 10);
    }
    return value + 1;
}

// Fills each device's mac_elsewhere: the other rows with a claim of its MAC. The
// sort is on numbers for the usual MACs, so that it does not chase every record's
// text around the heap.
void NoteMacsElsewhere(std::vector<FoundDevice>& found) {
    struct MacClaim {
        std::uint64_t key;
        const std::u16string* mac;
        std::size_t row;
        bool listed;
    };
    std::vector<MacClaim> claims;
    claims.reserve(found.size());
    for (std::size_t row = 0; row < found.size(); ++row) {
        if (!found[row].record.id.empty()) {
            claims.push_back({MacOrder(found[row].record.id), &found[row].record.id, row, true});
        }
        for (const DeviceClaim& other : found[row].other_claims) {
            if (!other.record.id.empty()) {
                claims.push_back({MacOrder(other.record.id), &other.record.id, row, false});
            }
        }
    }
    const auto compare = [](const MacClaim& a, const MacClaim& b) {
        if (a.key != b.key) {
            return a.key < b.key ? -1 : 1;
        }
        return a.key == 0 ? CompareMacs(*a.mac, *b.mac) : 0;
    };
    std::sort(claims.begin(), claims.end(), [&](const MacClaim& a, const MacClaim& b) {
        const int order = compare(a, b);
        return order != 0 ? order < 0 : a.row < b.row;
    });
    for (std::size_t begin = 0; begin < claims.size();) {
        std::size_t end = begin + 1;
        while (end < claims.size() && compare(claims[begin], claims[end]) == 0) {
            ++end;
        }
        if (claims[end - 1].row != claims[begin].row) {
            for (std::size_t i = begin; i < end; ++i) {
                if (!claims[i].listed) {
                    continue;
                }
                std::vector<std::u16string>& elsewhere = found[claims[i].row].mac_elsewhere;
                for (std::size_t j = begin; j < end && elsewhere.size() < kMaxClaimsNamed; ++j) {
                    const std::size_t row = claims[j].row;
                    if (row != claims[i].row && (j == begin || claims[j - 1].row != row)) {
                        elsewhere.push_back(found[row].record.ip);
                    }
                }
            }
        }
        begin = end;
    }
}

// Adds the reply's senders that `seen` does not hold yet, in their order.
void AddSources(const StoredReply& reply, SmallSet<std::uint32_t>& seen,
                InlineList<std::uint32_t, 2>& sources) {
    for (const std::uint32_t source : reply.origin.sources) {
        if (source != 0 && seen.Insert(source)) {
            sources.PushBack(source);
        }
    }
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
    std::vector<Reply*> claims;
    const auto take = [](Reply& reply) -> DeviceInfo {
        if constexpr (std::is_const_v<Store>) {
            return reply.record;
        } else {
            return std::move(reply.record);
        }
    };
    for (const Slot& slot : slots) {
        const std::span<Reply* const> group(replies.data() + slot.first, slot.count);
        ReachabilityTally tally(group.back()->ip_value);
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
            AddSources(*reply, seen, sources);
        }
        FoundDevice& device = found.emplace_back();
        device.verdict = std::move(tally).Judge(context);
        device.sources = std::move(sources);
        Reply* listed = group.back();
        if (group.size() > 1) {
            // The ip's replies by claim (stable: each claim's latest reply ends its run).
            claims.assign(group.begin(), group.end());
            std::stable_sort(claims.begin(), claims.end(), [](const Reply* a, const Reply* b) {
                return ClaimBefore(a->record, b->record);
            });
            for (std::size_t begin = 0; begin < claims.size();) {
                std::size_t end = begin + 1;
                while (end < claims.size() &&
                       CompareMacs(claims[begin]->record.id, claims[end]->record.id) == 0) {
                    ++end;
                }
                if (begin == 0) {
                    listed = claims[end - 1];
                } else {
                    DeviceClaim& claim = device.other_claims.emplace_back();
                    SmallSet<std::uint32_t> claim_seen;
                    for (std::size_t i = begin; i < end; ++i) {
                        AddSources(*claims[i], claim_seen, claim.sources);
                    }
                    claim.record = take(*claims[end - 1]);
                }
                begin = end;
            }
        }
        device.record = take(*listed);
    }
    NoteMacsElsewhere(found);
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
