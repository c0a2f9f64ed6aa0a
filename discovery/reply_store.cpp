#include "discovery/reply_store.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "discovery/ipv4.h"

namespace orvandel {

namespace {

// The adapters of one reply: as many as this computer has, and no more than this.
constexpr std::size_t kMaxAdaptersPerReply = 64;

template <typename T>
void AddOnce(std::vector<T>& list, T item, std::size_t capacity) {
    if (list.size() < capacity && std::find(list.begin(), list.end(), item) == list.end()) {
        list.push_back(item);
    }
}

int ClassOf(bool self_consistent) {
    return self_consistent ? 1 : 0;
}

}  // namespace

ReplyStore::ReplyStore(ReplyStoreLimits limits) : limits_(limits) {
    Clear();
}

void ReplyStore::Clear() {
    by_bytes_ = {};
    by_ip_ = {};
    senders_ = {};
    entries_ = EntryList();
    const std::size_t most = std::min(limits_.max_per_source, limits_.max_replies) + 1;
    for (auto& buckets : by_held_) {
        buckets.assign(most, {});
    }
    most_held_ = {};
    taken_gone_ = {};
    changed_.clear();
    wake_due_ = false;
    dropped_ = 0;
}

bool ReplyStore::Repeat(std::string_view bytes, std::uint32_t source, std::size_t adapter) {
    const auto found = by_bytes_.find(bytes);
    if (found == by_bytes_.end()) {
        return false;
    }
    const EntryIt it = found->second;
    AddOnce(it->reply.origin.adapters, adapter, kMaxAdaptersPerReply);
    AddOnce(it->reply.origin.sources, source, limits_.max_sources_per_reply);
    entries_.splice(entries_.end(), entries_, it);
    Group& group = *it->group;
    if (group.members.back() != it) {
        // An older record of the ip becomes the listed one again.
        group.members.back()->listed = false;
        group.members.splice(group.members.end(), group.members, it->in_group);
        it->listed = true;
        it->alone = false;
        MarkChanged(group, it->reply.record.ip);
    }
    return true;
}

ReplyStore::EntryIt ReplyStore::Victim(int cls, std::size_t newcomer_held) {
    for (int k = 0; k <= cls; ++k) {
        const std::size_t most = most_held_[k];
        if (most == 0) {
            continue;
        }
        // A newcomer of the same class wins only from a sender that holds more.
        if (k == cls && newcomer_held + 1 >= most) {
            return entries_.end();
        }
        const std::uint32_t sender = *by_held_[k][most].begin();
        return senders_.at(sender).held[k].front();
    }
    return entries_.end();
}

bool ReplyStore::Admits(int cls, std::uint32_t source, EntryIt& victim) {
    victim = entries_.end();
    const auto sender = senders_.find(source);
    if (sender != senders_.end() && sender->second.Total() >= limits_.max_per_source) {
        if (cls == 0) {
            return false;
        }
        const auto& held = sender->second.held;
        victim = !held[0].empty() ? held[0].front() : held[1].front();
        return true;
    }
    if (limits_.max_per_source == 0) {
        return false;
    }
    if (entries_.size() >= limits_.max_replies) {
        const std::size_t newcomer_held =
            sender != senders_.end() ? sender->second.held[cls].size() : 0;
        victim = Victim(cls, newcomer_held);
        return victim != entries_.end();
    }
    return true;
}

bool ReplyStore::Refuses(std::string_view bytes, std::uint32_t source) {
    // The most a reply can be: self-consistent only if it spells its sender.
    const bool may_be_self =
        source != 0 && bytes.find(ipv4::Format(source)) != std::string_view::npos;
    EntryIt victim;
    if (Admits(ClassOf(may_be_self), source, victim)) {
        return false;
    }
    ++dropped_;
    return true;
}

ReplyStore::Outcome ReplyStore::Add(std::string_view bytes, DeviceInfo record, std::uint32_t source,
                                    std::size_t adapter) {
    if (Repeat(bytes, source, adapter)) {
        return Outcome::kRepeat;
    }
    if (record.ip.empty()) {
        return Outcome::kNoIp;
    }
    const std::optional<ipv4::Address> ip = ipv4::Parse(record.ip);
    const bool self_consistent = source != 0 && ip == source;
    const int cls = ClassOf(self_consistent);
    EntryIt victim;
    if (!Admits(cls, source, victim)) {
        ++dropped_;
        return Outcome::kDropped;
    }
    if (victim != entries_.end()) {
        Evict(victim);
        ++dropped_;
    }

    Entry& entry = entries_.emplace_back();
    const EntryIt it = std::prev(entries_.end());
    entry.reply.bytes = std::string(bytes);
    entry.reply.record = std::move(record);
    entry.reply.ip_value = ip;
    entry.reply.origin.adapters.push_back(adapter);
    entry.reply.origin.sources.push_back(source);
    entry.reply.self_consistent = self_consistent;
    entry.owner = source;
    by_bytes_.emplace(entry.reply.bytes, it);

    Sender& sender = senders_[source];
    const std::size_t before = sender.held[cls].size();
    sender.held[cls].push_back(it);
    SetHeld(cls, source, before, before + 1);

    Group& group = by_ip_[entry.reply.record.ip];
    if (!group.members.empty()) {
        group.members.back()->listed = false;
    }
    group.members.push_back(it);
    entry.group = &group;
    entry.in_group = std::prev(group.members.end());
    entry.listed = true;
    entry.alone = group.members.size() == 1;
    MarkChanged(group, entry.reply.record.ip);
    return Outcome::kStored;
}

void ReplyStore::Evict(EntryIt it) {
    by_bytes_.erase(std::string_view(it->reply.bytes));
    const int cls = ClassOf(it->reply.self_consistent);
    const auto sender = senders_.find(it->owner);
    if (sender != senders_.end()) {
        auto& held = sender->second.held[cls];
        const std::size_t before = held.size();
        // Victims are always a sender's oldest; the search is for safety only.
        if (!held.empty() && held.front() == it) {
            held.pop_front();
        } else {
            held.erase(std::find(held.begin(), held.end(), it));
        }
        SetHeld(cls, it->owner, before, held.size());
        if (sender->second.Total() == 0) {
            senders_.erase(sender);
        }
    }
    const auto group = by_ip_.find(it->reply.record.ip);
    if (group != by_ip_.end()) {
        const bool was_listed = it->listed;
        group->second.members.erase(it->in_group);
        if (group->second.members.empty()) {
            // The ip is no longer listed: if it comes back, it is new again.
            taken_gone_.erase(group->first);
            by_ip_.erase(group);
        } else {
            const EntryIt latest = group->second.members.back();
            latest->listed = true;
            latest->alone = group->second.members.size() == 1;
            if (was_listed) {
                MarkChanged(group->second, it->reply.record.ip);
            }
            if (group->second.taken == &it->reply.record) {
                // The entry goes; the record it gave stays to compare with.
                group->second.taken = nullptr;
                taken_gone_.insert_or_assign(group->first, std::move(it->reply.record));
            }
        }
    }
    entries_.erase(it);
}

void ReplyStore::SetHeld(int cls, std::uint32_t source, std::size_t before, std::size_t after) {
    auto& buckets = by_held_[cls];
    if (before > 0 && before < buckets.size()) {
        buckets[before].erase(source);
    }
    if (after > 0 && after < buckets.size()) {
        buckets[after].insert(source);
    }
    std::size_t& most = most_held_[cls];
    if (after > most && after < buckets.size()) {
        most = after;
    }
    while (most > 0 && buckets[most].empty()) {
        --most;
    }
}

void ReplyStore::MarkChanged(Group& group, const std::u16string& ip) {
    if (group.changed) {
        return;
    }
    group.changed = true;
    if (changed_.empty()) {
        wake_due_ = true;
    }
    changed_.push_back(ip);
    // An ip whose group went and came back between two takes is in the list twice;
    // a flood of such ips is kept from growing the list past the store's size.
    if (changed_.size() > 2 * by_ip_.size() + 64) {
        std::unordered_set<std::u16string_view> kept;
        std::erase_if(changed_, [&](const std::u16string& changed) {
            const auto found = by_ip_.find(changed);
            return found == by_ip_.end() || !found->second.changed ||
                   !kept.insert(found->first).second;
        });
    }
}

std::vector<DeviceInfo> ReplyStore::TakeChanged() {
    std::vector<DeviceInfo> out;
    out.reserve(changed_.size());
    for (const std::u16string& ip : changed_) {
        const auto group = by_ip_.find(ip);
        // Gone, or taken already (an ip that went and came back is listed twice).
        if (group == by_ip_.end() || !group->second.changed) {
            continue;
        }
        group->second.changed = false;
        const DeviceInfo& listed = group->second.members.back()->reply.record;
        const DeviceInfo* before = group->second.taken;
        const auto gone = before == nullptr ? taken_gone_.find(ip) : taken_gone_.end();
        if (gone != taken_gone_.end()) {
            before = &gone->second;
        }
        if (before == nullptr || !(*before == listed)) {
            out.push_back(listed);
        }
        group->second.taken = &listed;
        if (gone != taken_gone_.end()) {
            taken_gone_.erase(gone);
        }
    }
    changed_.clear();
    wake_due_ = false;
    return out;
}

bool ReplyStore::TakeWake() {
    return std::exchange(wake_due_, false);
}

}  // namespace orvandel
