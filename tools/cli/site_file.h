// The site file: the devices of an installation as a search found them, with the
// user's own label and tags per device, in a versioned JSON document (schema in
// tools/cli/orvandel-site.schema.json). Pure: reading, writing, carrying the
// user's fields over to a new save, and comparing a search with the saved site.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/found_device.h"

namespace orvandel::cli {

inline constexpr std::string_view kSiteSchemaVersion = "1.1";
// A site file larger than this is refused, never read in part; and so is one of
// more devices, or whose devices take more memory once read: what one site file
// costs stays bounded (a save keeps unseen devices, so a site only grows by the
// devices searches found, at most 16384 each).
inline constexpr std::size_t kMaxSiteFileBytes = 16 * 1024 * 1024;
inline constexpr std::size_t kMaxSiteDevices = 16384;
inline constexpr std::size_t kMaxSiteMemoryBytes = 12 * 1024 * 1024;

struct SiteDevice {
    std::string identity;                        // as DeviceIdentity gives it
    std::string mac, ip, name, model, firmware;  // UTF-8; empty when the device gave none
    std::string last_seen;                       // RFC 3339
    std::optional<std::string> label;            // the user's
    std::vector<std::string> tags;               // the user's
};

struct Site {
    std::vector<SiteDevice> devices;
};

// The file's text, or nullopt with `error` saying what is wrong. A file of a later
// major version, a device without an identity and two devices with one identity
// are errors.
std::optional<Site> ParseSiteFile(std::string_view text, std::string& error);
std::string FormatSiteFile(const Site& site, std::int64_t saved_at);

// The devices of `previous` in its order, then the new ones in the order found.
// One per identity: its claim at the address `previous` holds for it, else its
// first; claimed only from several other ips, the saved entry stays. A found device
// takes what the search saw and keeps the label and tags `previous` holds for it; a
// device of `previous` that was not found stays as it was, its last_seen included.
Site SiteFromFound(const std::vector<FoundDevice>& found, std::int64_t now, Site previous);

// One device of a check: saved, found, or both, and what the check says of it:
// "present", "missing", "new", "moved" (ip changed), "firmware-changed", and
// "conflict" beside them when another device claims its ip or its identity was
// claimed from several ips (since 1.1). A saved device still claimed at its saved
// ip is never moved; claimed only from several other ips it is neither present
// nor moved. `found` is the claim it keeps (KeptClaim), else its first.
struct SiteCheckEntry {
    std::string identity;
    std::vector<std::string> states;
    std::optional<SiteDevice> saved;
    std::optional<FoundDevice> found;
    std::vector<std::string> claimed_ips;  // every ip that claimed the identity, list order
};

// Saved devices in the file's order, then new ones in the order found.
std::vector<SiteCheckEntry> CheckSite(const Site& site, const std::vector<FoundDevice>& found);
// Every saved device present and unchanged (new devices do not count).
bool SiteAsSaved(const std::vector<SiteCheckEntry>& entries);

std::string FormatSiteCheckTable(const std::vector<SiteCheckEntry>& entries);
// Tab-separated: states (comma-separated), identity, saved ip, found ip, name.
std::string FormatSiteCheckParsable(const std::vector<SiteCheckEntry>& entries);
std::string FormatSiteCheckJson(const std::vector<SiteCheckEntry>& entries, bool as_saved);

}  // namespace orvandel::cli
