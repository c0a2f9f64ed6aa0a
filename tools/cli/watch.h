// The watch mode's memory of a site: one identity per device (its MAC address,
// or its ip when it gave none), and the events that one finished search round
// makes of it. Pure: the caller runs the searches and gives the time, so days of
// rounds can be tested in milliseconds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/found_device.h"

namespace orvandel::cli {

// "02:00:00:00:00:01" (the MAC as the table shows it, UTF-8) or "ip:10.0.0.5".
std::string DeviceIdentity(const DeviceInfo& device);

// Every device's claim of an ip in one search, in list order: each row's listed
// record, then its other claims, each as a FoundDevice of its own (the claim's
// record and senders, the row's verdict). Its other_claims are the rest of its
// row, its mac_elsewhere the other ips its identity claimed (at most 8 each). Its
// status is conflict when either is not empty (or the row's verdict says so).
std::vector<FoundDevice> ClaimedDevices(const std::vector<FoundDevice>& found);

// Rows whose MAC also claimed another ip become conflicts, as ClaimedDevices
// marks them: for the one-row-per-ip views.
void MarkClaimConflicts(std::vector<FoundDevice>& found);

// The claims of one identity, in list order.
struct IdentityClaims {
    std::string identity;
    std::vector<const FoundDevice*> claims;  // into ClaimedDevices' result
};
// One entry per identity of `claimed`, in the order of their first claims.
std::vector<IdentityClaims> ClaimsByIdentity(const std::vector<FoundDevice>& claimed);
// The claim an identity keeps: the one at the address it had (`earlier_ip`), or
// else its only claim; nullptr when several ips claim it and none is the earlier
// one. A forged claim never moves a device that still answers where it was.
const FoundDevice* KeptClaim(const IdentityClaims& identity, std::u16string_view earlier_ip);

// Seconds since 1970 in UTC as RFC 3339, "2026-12-09T18:04:00Z".
std::string Rfc3339(std::int64_t unix_seconds);

struct WatchedDevice {
    FoundDevice device;  // as last found
    std::int64_t first_seen = 0;
    std::int64_t last_seen = 0;
    int missed = 0;  // rounds in a row without it
};

enum class WatchEventKind { kAppeared, kChanged, kGone };

struct WatchEvent {
    WatchEventKind kind = WatchEventKind::kAppeared;
    std::string identity;
    std::vector<std::string> changed;  // kChanged: of "ip", "name", "firmware", "status"
    WatchedDevice device;              // after the round (kGone: as last found)
};

// "appeared", "changed", "gone".
std::string_view EventWord(WatchEventKind kind);

class WatchState {
public:
    // A device is gone after `gone_after` rounds in a row without it. At most
    // `max_identities` devices are remembered: a new one beyond that forgets the
    // longest-missing device (reported gone) or, when every device answered, is
    // not watched (counted in Ignored()).
    explicit WatchState(int gone_after = 2, std::size_t max_identities = 1024);

    // One finished round at `now` (seconds since 1970). Presence is judged from
    // every claim (ClaimedDevices), so a device that answers is never gone, and
    // it keeps its address while a claim there answers (KeptClaim); claimed from
    // several other ips, it keeps its record, marked conflict. Events in this
    // order: appeared and changed devices in the order of `found`, then gone ones
    // by identity.
    std::vector<WatchEvent> Round(const std::vector<FoundDevice>& found, std::int64_t now);

    // Every remembered device by identity (present and missing, not yet gone).
    const std::map<std::string, WatchedDevice>& Devices() const { return devices_; }
    std::size_t Ignored() const { return ignored_; }

private:
    // Forgets the device missing longest, of those not in `answering`; false when
    // there is none.
    bool ForgetOneMissing(const std::set<std::string>& answering, std::vector<WatchEvent>& gone);

    int gone_after_;
    std::size_t max_identities_;
    std::map<std::string, WatchedDevice> devices_;
    std::size_t ignored_ = 0;
};

// One event as a line of --json: {"schema_version", "kind": "event", "event",
// "time", "identity", "changed", "first_seen", "last_seen", "device"}.
std::string FormatEventJson(const WatchEvent& event, std::int64_t now);
// Tab-separated: time, event, identity, changed fields (comma-separated), first
// seen, last seen, model, name, ip, MAC, firmware, status; escaped as on the terminal.
std::string FormatEventParsable(const WatchEvent& event, std::int64_t now);
// A line for people in fixed-width columns: time, event, identity, ip, name, and
// what changed; the header names the columns.
std::string EventTableHeader();
std::string FormatEventLine(const WatchEvent& event, std::int64_t now);

}  // namespace orvandel::cli
