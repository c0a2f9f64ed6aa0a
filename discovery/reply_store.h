// The replies of one search, as the receive side keeps them: each distinct reply
// once, parsed once on arrival, with the adapters and senders of all its copies.
// No sockets and no lock: the transport feeds it under its own lock.
//
// Bounds, and what they keep. At most `max_replies` distinct replies, at most
// `max_per_source` of them stored by one sender address, at most
// `max_sources_per_reply` senders remembered per reply. A reply is
// self-consistent when its sender's address is the ip it claims, as every real
// device's own reply is (on this subnet or another); any other reply is a relay,
// a host answering for another, or forged. The rules:
// - A repeat of a stored reply costs nothing: it records the copy's adapter and
//   sender and makes the reply the latest of its ip. A reply with no ip is never
//   stored.
// - A sender at its quota stores no further reply that is not self-consistent. A
//   self-consistent one still goes in: it replaces that sender's oldest reply
//   that is not self-consistent, or else its oldest self-consistent one (whose
//   ip is the same, so the device stays listed). Forged datagrams from a device's
//   address therefore never push the device's own reply out.
// - When the store is full, what goes first is what is least likely a device:
//   a reply that is not self-consistent before one that is, and among equals,
//   the oldest reply of the sender that holds the most. A newcomer takes that
//   place only when it is more likely a device (self-consistent against not, or
//   from a sender that would then hold fewer); otherwise the newcomer is dropped.
//   So a flood from many forged senders can fill the store, but every real
//   device that answers still gets in; at worst its row shows a conflict.
// Work per arrival is bounded: hash look-ups and O(1) list moves.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "discovery/device_info.h"
#include "discovery/ipv4.h"
#include "discovery/pool_allocator.h"

namespace orvandel {

// Where the copies of one stored reply came from. Never decides what is listed.
struct ReplyOrigin {
    std::vector<std::size_t> adapters;   // indices of the searched adapters, first seen first
    std::vector<std::uint32_t> sources;  // host byte order, first seen first, bounded
};

struct ReplyStoreLimits {
    std::size_t max_replies = 16384;
    std::size_t max_per_source = 64;
    std::size_t max_sources_per_reply = 8;
};

// One distinct reply.
struct StoredReply {
    std::string bytes;
    DeviceInfo record;  // ParseReply(bytes); its ip is never empty
    // record.ip as ipv4::Parse reads it, parsed once on arrival; nullopt when it is
    // not a dotted address.
    std::optional<ipv4::Address> ip_value;
    ReplyOrigin origin;
    bool self_consistent = false;  // the sender that stored it is the ip it claims
};

class ReplyStore {
public:
    explicit ReplyStore(ReplyStoreLimits limits = {});

    enum class Outcome {
        kStored,   // a new distinct reply (possibly in another's place)
        kRepeat,   // the bytes were stored already; the copy is recorded
        kNoIp,     // the record has no ip: never stored
        kDropped,  // refused by the bounds above
    };

    // Records a copy when `bytes` are stored already; false otherwise.
    bool Repeat(std::string_view bytes, std::uint32_t source, std::size_t adapter);
    // Whether a new reply from `source` is sure to be refused, judged from its
    // bytes alone (before parsing them). Counts the refusal when it says so.
    bool Refuses(std::string_view bytes, std::uint32_t source);
    // Stores `bytes`, whose parse is `record`, under the rules above.
    Outcome Add(std::string_view bytes, DeviceInfo record, std::uint32_t source,
                std::size_t adapter);

    std::size_t Size() const { return entries_.size(); }
    // Replies refused or pushed out by the bounds since the last Clear.
    std::size_t Dropped() const { return dropped_; }
    void Clear();

    // Every stored reply in the order of its latest arrival (oldest first). The
    // mutable form is for taking records out of a store that is then cleared.
    template <typename Fn>
    void ForEach(Fn&& fn) const {
        for (const Entry& entry : entries_) {
            fn(entry.reply);
        }
    }
    template <typename Fn>
    void ForEach(Fn&& fn) {
        for (Entry& entry : entries_) {
            fn(entry.reply);
        }
    }

    // Calls fn(replies) once per stored ip, in the order of the ips' latest
    // arrivals: `replies` (a span of pointers) holds the ip's stored replies in the
    // order of their latest arrival, so the last is the ip's listed record. The walk
    // follows the store's own order, not its index by ip, so that a large store is
    // read front to back. The mutable form is for taking records out of a store
    // that is then cleared.
    std::size_t IpCount() const { return by_ip_.size(); }
    template <typename Fn>
    void ForEachIp(Fn&& fn) const {
        WalkIps<const StoredReply>(entries_, fn);
    }
    template <typename Fn>
    void ForEachIp(Fn&& fn) {
        WalkIps<StoredReply>(entries_, fn);
    }

    // The listed records (those of their ips' latest replies) that differ from
    // the record the last call gave for their ip, or that are new, in the order
    // their ips first changed, each ip once. A repeat of an ip's latest reply
    // changes nothing, so the list is bounded by the number of stored ips however
    // many datagrams arrive; a record that went and came back equal is not
    // reported again, so a taker need not keep copies to compare. An ip whose
    // replies were all pushed out is new when it comes back.
    std::vector<DeviceInfo> TakeChanged();
    // True once each time the list of changes goes from empty to not empty: the
    // moment to wake whoever takes them.
    bool TakeWake();

private:
    struct Entry;
    struct Group;
    // The entries come from a pool of the store's own (see PoolAllocator); a store
    // that is cleared takes a new pool, so a store moved out and the one left
    // behind never share one.
    using EntryList = std::list<Entry, PoolAllocator<Entry>>;
    using EntryIt = EntryList::iterator;
    struct Entry {
        StoredReply reply;
        std::uint32_t owner = 0;  // the sender whose quota it counts against
        Group* group = nullptr;   // its ip's group (map nodes do not move)
        std::list<EntryIt>::iterator in_group;
        bool listed = false;  // the latest of its group: its record is the ip's listed one
        bool alone = false;   // while listed: the only member of its group
    };
    struct Sender {
        std::array<std::deque<EntryIt>, 2> held;  // by self_consistent, oldest first
        std::size_t Total() const { return held[0].size() + held[1].size(); }
    };
    struct Group {
        std::list<EntryIt> members;  // latest arrival last
        // The record TakeChanged last gave for this ip, while its entry is stored;
        // null otherwise (see taken_gone_).
        const DeviceInfo* taken = nullptr;
        bool changed = false;  // in changed_, not taken since
    };

    template <typename Reply, typename Entries, typename Fn>
    static void WalkIps(Entries& entries, Fn& fn) {
        std::vector<Reply*> replies;
        for (auto& entry : entries) {
            if (!entry.listed) {
                continue;
            }
            replies.clear();
            if (entry.alone) {
                // Most ips have one reply: their group need not be read.
                replies.push_back(&entry.reply);
            } else {
                for (const EntryIt& it : entry.group->members) {
                    replies.push_back(&it->reply);
                }
            }
            fn(std::span<Reply* const>(replies));
        }
    }

    // The entry that goes first when the store is full, among replies of class at
    // most `cls`; end() when there is none.
    EntryIt Victim(int cls, std::size_t newcomer_held);
    bool Admits(int cls, std::uint32_t source, EntryIt& victim);
    void Evict(EntryIt it);
    void SetHeld(int cls, std::uint32_t source, std::size_t before, std::size_t after);
    void MarkChanged(Group& group, const std::u16string& ip);

    ReplyStoreLimits limits_;
    EntryList entries_;  // order of latest arrival
    std::unordered_map<std::string_view, EntryIt> by_bytes_;
    std::unordered_map<std::uint32_t, Sender> senders_;
    // Per class, the senders holding exactly n replies of that class, and the
    // largest such n (0 when no sender holds any).
    std::array<std::vector<std::unordered_set<std::uint32_t>>, 2> by_held_;
    std::array<std::size_t, 2> most_held_{};
    std::unordered_map<std::u16string, Group> by_ip_;
    // Records TakeChanged gave whose entries were pushed out while their ip stayed
    // listed (by ip): moved out of the entry, kept until that ip is taken again or
    // leaves the store. At most one per stored ip.
    std::unordered_map<std::u16string, DeviceInfo> taken_gone_;
    // The ips whose listed record changed since the last take, first changed first;
    // their groups are marked `changed`.
    std::vector<std::u16string> changed_;
    bool wake_due_ = false;
    std::size_t dropped_ = 0;
};

}  // namespace orvandel
