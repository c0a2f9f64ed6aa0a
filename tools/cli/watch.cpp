#include "tools/cli/watch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>

#include "text/join.h"
#include "text/utf.h"
#include "tools/cli/cli_json.h"
#include "tools/cli/cli_output.h"

namespace orvandel::cli {

namespace {

// Fields whose change is an event, with how each is read.
struct WatchedField {
    const char* word;
    bool (*differs)(const FoundDevice&, const FoundDevice&);
};

constexpr WatchedField kWatchedFields[] = {
    {"ip", [](const FoundDevice& a, const FoundDevice& b) { return a.record.ip != b.record.ip; }},
    {"name", [](const FoundDevice& a,
                const FoundDevice& b) { return a.record.device_name != b.record.device_name; }},
    {"firmware",
     [](const FoundDevice& a, const FoundDevice& b) {
         return a.record.master_version != b.record.master_version;
     }},
    {"status", [](const FoundDevice& a,
                  const FoundDevice& b) { return a.verdict.status != b.verdict.status; }},
};

}  // namespace

std::string DeviceIdentity(const DeviceInfo& device) {
    if (!device.id.empty()) {
        return text::ToUtf8(ShownMac(device));
    }
    return "ip:" + text::ToUtf8(device.ip);
}

std::vector<FoundDevice> ClaimedDevices(const std::vector<FoundDevice>& found) {
    std::vector<FoundDevice> claimed;
    claimed.reserve(found.size());
    for (const FoundDevice& row : found) {
        const std::size_t count = 1 + row.other_claims.size();
        for (std::size_t k = 0; k < count; ++k) {
            FoundDevice& claim = claimed.emplace_back();
            claim.verdict = row.verdict;
            if (k == 0) {
                // The row keeps its listed record's senders with the rest.
                claim.record = row.record;
                claim.sources = row.sources;
            } else {
                claim.record = row.other_claims[k - 1].record;
                claim.sources = row.other_claims[k - 1].sources;
                claim.other_claims.push_back({row.record, row.sources});
            }
            // Bounded: thousands of forged claims of one ip must not cost their square.
            for (std::size_t j = 0;
                 j < row.other_claims.size() && claim.other_claims.size() < kMaxClaimsNamed; ++j) {
                if (j + 1 != k) {
                    claim.other_claims.push_back(row.other_claims[j]);
                }
            }
        }
    }
    for (const IdentityClaims& identity : ClaimsByIdentity(claimed)) {
        const std::vector<const FoundDevice*>& claims = identity.claims;
        for (std::size_t i = 0; i < claims.size() && claims.size() > 1; ++i) {
            auto& elsewhere =
                claimed[static_cast<std::size_t>(claims[i] - claimed.data())].mac_elsewhere;
            for (std::size_t j = 0; j < claims.size() && elsewhere.size() < kMaxClaimsNamed; ++j) {
                if (j != i) {
                    elsewhere.push_back(claims[j]->record.ip);
                }
            }
        }
    }
    for (FoundDevice& claim : claimed) {
        if (!claim.other_claims.empty() || !claim.mac_elsewhere.empty()) {
            claim.verdict.status = ReachStatus::kConflict;
        }
    }
    return claimed;
}

void MarkClaimConflicts(std::vector<FoundDevice>& found) {
    for (FoundDevice& row : found) {
        if (!row.mac_elsewhere.empty()) {
            row.verdict.status = ReachStatus::kConflict;
        }
    }
}

std::vector<IdentityClaims> ClaimsByIdentity(const std::vector<FoundDevice>& claimed) {
    std::vector<IdentityClaims> identities;
    std::map<std::string, std::size_t> index;
    for (const FoundDevice& claim : claimed) {
        std::string identity = DeviceIdentity(claim.record);
        const auto [at, added] = index.emplace(identity, identities.size());
        if (added) {
            identities.push_back({std::move(identity), {}});
        }
        identities[at->second].claims.push_back(&claim);
    }
    return identities;
}

const FoundDevice* KeptClaim(const IdentityClaims& identity, std::u16string_view earlier_ip) {
    for (const FoundDevice* claim : identity.claims) {
        if (!earlier_ip.empty() && claim->record.ip == earlier_ip) {
            return claim;
        }
    }
    return identity.claims.size() == 1 ? identity.claims.front() : nullptr;
}

std::string Rfc3339(std::int64_t unix_seconds) {
    using namespace std::chrono;
    const sys_seconds at{seconds(unix_seconds)};
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{at - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

std::string_view EventWord(WatchEventKind kind) {
    switch (kind) {
        case WatchEventKind::kAppeared:
            return "appeared";
        case WatchEventKind::kChanged:
            return "changed";
        case WatchEventKind::kGone:
            break;
    }
    return "gone";
}

WatchState::WatchState(int gone_after, std::size_t max_identities)
    : gone_after_(std::max(1, gone_after)),
      max_identities_(std::max<std::size_t>(1, max_identities)) {}

bool WatchState::ForgetOneMissing(const std::set<std::string>& answering,
                                  std::vector<WatchEvent>& gone) {
    auto oldest = devices_.end();
    for (auto it = devices_.begin(); it != devices_.end(); ++it) {
        if (it->second.missed > 0 && answering.count(it->first) == 0 &&
            (oldest == devices_.end() || it->second.last_seen < oldest->second.last_seen)) {
            oldest = it;
        }
    }
    if (oldest == devices_.end()) {
        return false;
    }
    gone.push_back({WatchEventKind::kGone, oldest->first, {}, std::move(oldest->second)});
    devices_.erase(oldest);
    return true;
}

std::vector<WatchEvent> WatchState::Round(const std::vector<FoundDevice>& found, std::int64_t now) {
    std::vector<WatchEvent> events;
    std::vector<WatchEvent> gone;
    const std::vector<FoundDevice> claimed = ClaimedDevices(found);
    const std::vector<IdentityClaims> identities = ClaimsByIdentity(claimed);
    std::set<std::string> answering;
    for (const IdentityClaims& identity : identities) {
        answering.insert(identity.identity);
    }
    std::set<std::string> answered;
    for (const IdentityClaims& identity : identities) {
        auto at = devices_.find(identity.identity);
        if (at == devices_.end()) {
            // Devices that answered this round are never the ones forgotten for room.
            if (devices_.size() >= max_identities_ && !ForgetOneMissing(answering, gone)) {
                ++ignored_;
                continue;
            }
            answered.insert(identity.identity);
            WatchedDevice& added = devices_[identity.identity];
            added = {*identity.claims.front(), now, now, 0};
            events.push_back({WatchEventKind::kAppeared, identity.identity, {}, added});
            continue;
        }
        answered.insert(identity.identity);
        WatchedDevice& known = at->second;
        FoundDevice seen;
        if (const FoundDevice* kept = KeptClaim(identity, known.device.record.ip)) {
            seen = *kept;
        } else {
            // Claimed only from other ips, by more than one: none of them is followed.
            seen = known.device;
            seen.verdict.status = ReachStatus::kConflict;
            seen.mac_elsewhere.clear();
            for (const FoundDevice* claim : identity.claims) {
                if (seen.mac_elsewhere.size() < kMaxClaimsNamed) {
                    seen.mac_elsewhere.push_back(claim->record.ip);
                }
            }
        }
        std::vector<std::string> changed;
        for (const WatchedField& field : kWatchedFields) {
            if (field.differs(known.device, seen)) {
                changed.emplace_back(field.word);
            }
        }
        known.device = std::move(seen);
        known.last_seen = now;
        known.missed = 0;
        if (!changed.empty()) {
            events.push_back(
                {WatchEventKind::kChanged, identity.identity, std::move(changed), known});
        }
    }
    for (auto it = devices_.begin(); it != devices_.end();) {
        if (answered.count(it->first) == 0 && ++it->second.missed >= gone_after_) {
            gone.push_back({WatchEventKind::kGone, it->first, {}, std::move(it->second)});
            it = devices_.erase(it);
        } else {
            ++it;
        }
    }
    std::sort(gone.begin(), gone.end(),
              [](const WatchEvent& a, const WatchEvent& b) { return a.identity < b.identity; });
    for (WatchEvent& event : gone) {
        events.push_back(std::move(event));
    }
    return events;
}

std::string FormatEventJson(const WatchEvent& event, std::int64_t now) {
    const WatchedDevice& seen = event.device;
    std::string changed = "[";
    for (const std::string& word : event.changed) {
        changed += (changed.size() > 1 ? ", " : "") + JsonString(std::string_view(word));
    }
    changed += "]";
    return "{\"schema_version\": \"1.1\", \"kind\": \"event\", \"event\": \"" +
           std::string(EventWord(event.kind)) + "\", \"time\": \"" + Rfc3339(now) +
           "\", \"identity\": " + JsonString(std::string_view(event.identity)) +
           ", \"changed\": " + changed + ", \"first_seen\": \"" + Rfc3339(seen.first_seen) +
           "\", \"last_seen\": \"" + Rfc3339(seen.last_seen) +
           "\", \"device\": " + FormatDeviceJson(seen.device.record, FactsOf(seen.device)) + "}\n";
}

std::string FormatEventParsable(const WatchEvent& event, std::int64_t now) {
    const DeviceInfo& record = event.device.device.record;
    const std::vector<std::string> fields = {
        Rfc3339(now),
        std::string(EventWord(event.kind)),
        EscapeForTerminal(std::string_view(event.identity)),
        text::Joined(event.changed, ","),
        Rfc3339(event.device.first_seen),
        Rfc3339(event.device.last_seen),
        EscapeForTerminal(record.model),
        EscapeForTerminal(record.device_name),
        EscapeForTerminal(record.ip),
        EscapeForTerminal(ShownMac(record)),
        EscapeForTerminal(record.master_version),
        std::string(StatusWord(event.device.device.verdict.status)),
    };
    return text::Joined(fields, "\t") + "\n";
}

namespace {

// Fixed widths: events are printed as they happen, before the widest is known.
std::string EventColumns(std::string time, std::string event, std::string identity, std::string ip,
                         std::string rest) {
    auto pad = [](std::string text, std::size_t width) {
        const std::size_t shown = DisplayWidth(text);
        return text + std::string(shown < width ? width - shown : 0, ' ') + "  ";
    };
    return pad(std::move(time), 20) + pad(std::move(event), 8) + pad(std::move(identity), 17) +
           pad(std::move(ip), 15) + rest + "\n";
}

}  // namespace

std::string EventTableHeader() {
    return EventColumns("TIME", "EVENT", "IDENTITY", "IP", "NAME");
}

std::string FormatEventLine(const WatchEvent& event, std::int64_t now) {
    const DeviceInfo& record = event.device.device.record;
    std::string rest = EscapeForTerminal(record.device_name);
    if (!event.changed.empty()) {
        rest += "  (" + text::Joined(event.changed, ", ") + ")";
    }
    return EventColumns(Rfc3339(now), std::string(EventWord(event.kind)),
                        EscapeForTerminal(std::string_view(event.identity)),
                        EscapeForTerminal(record.ip), rest);
}

}  // namespace orvandel::cli
