#include "tools/cli/site_file.h"

#include <algorithm>
#include <map>
#include <set>

#include "text/join.h"
#include "text/utf.h"
#include "tools/cli/cli_output.h"
#include "tools/cli/json_reader.h"
#include "tools/cli/watch.h"

namespace orvandel::cli {

namespace {

constexpr std::size_t kMaxTags = 64;

std::string Quoted(std::string_view utf8) {
    return JsonString(utf8);
}

std::string OrNull(std::string_view utf8) {
    return utf8.empty() ? "null" : Quoted(utf8);
}

// A text member: absent or null is empty; any other type is an error.
bool TextMember(const JsonValue& object, std::string_view key, std::string& out,
                std::string& error) {
    const JsonValue* value = object.Find(key);
    if (value == nullptr || value->type == JsonValue::Type::kNull) {
        out.clear();
        return true;
    }
    if (value->type != JsonValue::Type::kString) {
        error = "\"" + std::string(key) + "\" is not a text";
        return false;
    }
    out = value->text;
    return true;
}

std::optional<SiteDevice> ReadDevice(const JsonValue& entry, std::string& error) {
    if (entry.type != JsonValue::Type::kObject) {
        error = "a device is not an object";
        return std::nullopt;
    }
    SiteDevice device;
    std::string label;
    if (!TextMember(entry, "identity", device.identity, error) ||
        !TextMember(entry, "mac", device.mac, error) ||
        !TextMember(entry, "ip", device.ip, error) ||
        !TextMember(entry, "name", device.name, error) ||
        !TextMember(entry, "model", device.model, error) ||
        !TextMember(entry, "firmware", device.firmware, error) ||
        !TextMember(entry, "last_seen", device.last_seen, error) ||
        !TextMember(entry, "label", label, error)) {
        return std::nullopt;
    }
    if (device.identity.empty()) {
        error = "a device has no \"identity\"";
        return std::nullopt;
    }
    const JsonValue* label_value = entry.Find("label");
    if (label_value != nullptr && label_value->type == JsonValue::Type::kString) {
        device.label = label;
    }
    if (const JsonValue* tags = entry.Find("tags");
        tags != nullptr && tags->type != JsonValue::Type::kNull) {
        if (tags->type != JsonValue::Type::kArray || tags->items.size() > kMaxTags) {
            error = "\"tags\" is not a list of at most 64 texts";
            return std::nullopt;
        }
        for (const JsonValue& tag : tags->items) {
            if (tag.type != JsonValue::Type::kString) {
                error = "a tag is not a text";
                return std::nullopt;
            }
            device.tags.push_back(tag.text);
        }
    }
    return device;
}

std::string TextList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (const std::string& item : items) {
        out += (out.size() > 1 ? ", " : "") + Quoted(item);
    }
    return out + "]";
}

// Bytes a device takes in memory, near enough to bound a site's.
std::size_t MemoryOf(const SiteDevice& device) {
    const auto text = [](const std::string& s) { return s.capacity() > 15 ? s.capacity() + 1 : 0; };
    std::size_t bytes = sizeof(SiteDevice) + sizeof(std::string) * 4 +  // the identity's set entry
                        text(device.identity) * 2 + text(device.mac) + text(device.ip) +
                        text(device.name) + text(device.model) + text(device.firmware) +
                        text(device.last_seen) + (device.label ? text(*device.label) : 0) +
                        device.tags.capacity() * sizeof(std::string);
    for (const std::string& tag : device.tags) {
        bytes += text(tag);
    }
    return bytes;
}

std::string SavedIp(const SiteCheckEntry& entry) {
    return entry.saved ? entry.saved->ip : "";
}
std::string FoundIp(const SiteCheckEntry& entry) {
    return entry.found ? text::ToUtf8(entry.found->record.ip) : "";
}
std::string EntryName(const SiteCheckEntry& entry) {
    return entry.found ? text::ToUtf8(entry.found->record.device_name)
                       : (entry.saved ? entry.saved->name : "");
}

}  // namespace

std::optional<Site> ParseSiteFile(std::string_view text, std::string& error) {
    // The devices are read one at a time and never held as a JSON tree; the first
    // fault among them is reported after the document's own checks.
    Site site;
    std::set<std::string> seen;
    std::size_t memory = 0;
    std::string device_error;
    const auto take = [&](JsonValue&& entry) {
        if (!device_error.empty()) {
            return;
        }
        auto device = ReadDevice(entry, device_error);
        if (!device) {
            return;
        }
        memory += MemoryOf(*device);
        if (site.devices.size() == kMaxSiteDevices) {
            device_error = "more than 16384 devices";
        } else if (memory > kMaxSiteMemoryBytes) {
            device_error = "its devices take more than 12 MiB once read";
        } else if (!seen.insert(device->identity).second) {
            device_error = "two devices have the identity " + Quoted(device->identity);
        } else {
            site.devices.push_back(std::move(*device));
        }
    };
    std::string why;
    const auto document = ReadJson(text, why, "devices", take);
    if (!document) {
        error = why.starts_with("too large") ? why : "not JSON: " + why;
        return std::nullopt;
    }
    const JsonValue* version = document->Find("schema_version");
    const JsonValue* kind = document->Find("kind");
    if (kind == nullptr || kind->type != JsonValue::Type::kString || kind->text != "site") {
        error = kind != nullptr && kind->type == JsonValue::Type::kString
                    ? "not a site file: its \"kind\" is " + Quoted(kind->text) + ", not \"site\""
                    : "not a site file: it has no \"kind\": \"site\"";
        return std::nullopt;
    }
    if (version == nullptr || version->type != JsonValue::Type::kString ||
        !version->text.starts_with("1.")) {
        error = version != nullptr && version->type == JsonValue::Type::kString
                    ? "schema version " + Quoted(version->text) + "; this program reads 1.x"
                    : "no \"schema_version\" text";
        return std::nullopt;
    }
    const JsonValue* devices = document->Find("devices");
    if (devices == nullptr || devices->type != JsonValue::Type::kArray) {
        error = "no \"devices\" list";
        return std::nullopt;
    }
    if (!device_error.empty()) {
        error = device_error;
        return std::nullopt;
    }
    return site;
}

std::string FormatSiteFile(const Site& site, std::int64_t saved_at) {
    // Room for all of it at once: a large site is not copied again and again.
    std::size_t size = 128;
    for (const SiteDevice& d : site.devices) {
        size += 200 + d.identity.size() + d.mac.size() + d.ip.size() + d.name.size() +
                d.model.size() + d.firmware.size() + d.last_seen.size() +
                (d.label ? d.label->size() : 0);
        for (const std::string& tag : d.tags) {
            size += tag.size() + 4;
        }
    }
    std::string out;
    out.reserve(size);
    out += "{\n  \"schema_version\": \"" + std::string(kSiteSchemaVersion) +
           "\",\n  \"kind\": \"site\",\n  \"saved\": \"" + Rfc3339(saved_at) +
           "\",\n  \"devices\": [";
    for (std::size_t i = 0; i < site.devices.size(); ++i) {
        const SiteDevice& d = site.devices[i];
        std::string tags = "[";
        for (const std::string& tag : d.tags) {
            tags += (tags.size() > 1 ? ", " : "") + Quoted(tag);
        }
        tags += "]";
        out += std::string(i > 0 ? "," : "") + "\n    {\"identity\": " + Quoted(d.identity) +
               ", \"mac\": " + OrNull(d.mac) + ", \"ip\": " + OrNull(d.ip) +
               ", \"name\": " + OrNull(d.name) + ", \"model\": " + OrNull(d.model) +
               ", \"firmware\": " + OrNull(d.firmware) + ", \"last_seen\": " + OrNull(d.last_seen) +
               ",\n     \"label\": " + (d.label ? Quoted(*d.label) : std::string("null")) +
               ", \"tags\": " + tags + "}";
    }
    out += site.devices.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

Site SiteFromFound(const std::vector<FoundDevice>& found, std::int64_t now, Site previous) {
    Site site = std::move(previous);
    std::map<std::string, std::size_t> at;  // identity -> index in site.devices
    for (std::size_t i = 0; i < site.devices.size(); ++i) {
        at.emplace(site.devices[i].identity, i);
    }
    const std::vector<FoundDevice> claimed = ClaimedDevices(found);
    for (const IdentityClaims& identity : ClaimsByIdentity(claimed)) {
        const auto saved = at.find(identity.identity);
        SiteDevice* kept = saved != at.end() ? &site.devices[saved->second] : nullptr;
        const FoundDevice* chosen =
            KeptClaim(identity, kept ? text::DecodeUtf8(kept->ip, kept->ip.size()) : u"");
        if (chosen == nullptr && kept != nullptr) {
            // Claimed from several other ips: the saved address stays.
            kept->last_seen = Rfc3339(now);
            continue;
        }
        const DeviceInfo& record = (chosen ? chosen : identity.claims.front())->record;
        SiteDevice device;
        device.identity = identity.identity;
        device.mac = text::ToUtf8(ShownMac(record));
        device.ip = text::ToUtf8(record.ip);
        device.name = text::ToUtf8(record.device_name);
        device.model = text::ToUtf8(record.model);
        device.firmware = text::ToUtf8(record.master_version);
        device.last_seen = Rfc3339(now);
        if (kept != nullptr) {
            device.label = std::move(kept->label);
            device.tags = std::move(kept->tags);
            *kept = std::move(device);
        } else {
            site.devices.push_back(std::move(device));
        }
    }
    return site;
}

std::vector<SiteCheckEntry> CheckSite(const Site& site, const std::vector<FoundDevice>& found) {
    const std::vector<FoundDevice> claimed = ClaimedDevices(found);
    const std::vector<IdentityClaims> identities = ClaimsByIdentity(claimed);
    std::map<std::string, const IdentityClaims*> by_identity;
    for (const IdentityClaims& identity : identities) {
        by_identity.emplace(identity.identity, &identity);
    }
    const auto entry_of = [](std::string identity, const SiteDevice* saved,
                             const IdentityClaims& claims) {
        SiteCheckEntry entry{std::move(identity), {}, std::nullopt, std::nullopt, {}};
        for (const FoundDevice* claim : claims.claims) {
            entry.claimed_ips.push_back(text::ToUtf8(claim->record.ip));
        }
        const FoundDevice* kept =
            KeptClaim(claims, saved ? text::DecodeUtf8(saved->ip, saved->ip.size()) : u"");
        entry.found = kept ? *kept : *claims.claims.front();
        if (saved != nullptr) {
            entry.saved = *saved;
            if (kept == nullptr) {
                // Claimed from several other ips: which is the device is not known.
            } else if (text::ToUtf8(kept->record.ip) != saved->ip) {
                entry.states.emplace_back("moved");
            }
            if (text::ToUtf8(entry.found->record.master_version) != saved->firmware) {
                entry.states.emplace_back("firmware-changed");
            }
            if (kept != nullptr && entry.states.empty()) {
                entry.states.emplace_back("present");
            }
        } else {
            entry.states.emplace_back("new");
        }
        if (kept == nullptr || entry.found->verdict.status == ReachStatus::kConflict) {
            entry.states.emplace_back("conflict");
        }
        return entry;
    };
    std::vector<SiteCheckEntry> entries;
    std::set<std::string> saved;
    for (const SiteDevice& device : site.devices) {
        saved.insert(device.identity);
        const auto at = by_identity.find(device.identity);
        if (at == by_identity.end()) {
            entries.push_back({device.identity, {"missing"}, device, std::nullopt, {}});
        } else {
            entries.push_back(entry_of(device.identity, &device, *at->second));
        }
    }
    for (const IdentityClaims& identity : identities) {
        if (saved.count(identity.identity) == 0) {
            entries.push_back(entry_of(identity.identity, nullptr, identity));
        }
    }
    return entries;
}

bool SiteAsSaved(const std::vector<SiteCheckEntry>& entries) {
    return std::all_of(entries.begin(), entries.end(), [](const SiteCheckEntry& entry) {
        return !entry.saved || entry.states == std::vector<std::string>{"present"};
    });
}

std::string FormatSiteCheckTable(const std::vector<SiteCheckEntry>& entries) {
    std::vector<std::vector<std::string>> rows = {{"STATE", "IDENTITY", "SAVED IP", "IP", "NAME"}};
    for (const SiteCheckEntry& entry : entries) {
        const std::string saved_ip = SavedIp(entry);
        const std::string found_ip = FoundIp(entry);
        rows.push_back({text::Joined(entry.states, ","),
                        EscapeForTerminal(std::string_view(entry.identity)),
                        saved_ip.empty() ? "-" : EscapeForTerminal(std::string_view(saved_ip)),
                        found_ip.empty() ? "-" : EscapeForTerminal(std::string_view(found_ip)),
                        EscapeForTerminal(std::string_view(EntryName(entry)))});
    }
    std::vector<std::size_t> widths(5, 0);
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], DisplayWidth(row[c]));
        }
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) {
                line.append(widths[c] - DisplayWidth(row[c]) + 2, ' ');
            }
        }
        out += line + "\n";
    }
    return out;
}

std::string FormatSiteCheckParsable(const std::vector<SiteCheckEntry>& entries) {
    std::string out;
    for (const SiteCheckEntry& entry : entries) {
        out += text::Joined(entry.states, ",") + "\t" +
               EscapeForTerminal(std::string_view(entry.identity)) + "\t" +
               EscapeForTerminal(std::string_view(SavedIp(entry))) + "\t" +
               EscapeForTerminal(std::string_view(FoundIp(entry))) + "\t" +
               EscapeForTerminal(std::string_view(EntryName(entry))) + "\n";
    }
    return out;
}

std::string FormatSiteCheckJson(const std::vector<SiteCheckEntry>& entries, bool as_saved) {
    std::string out =
        "{\n  \"schema_version\": \"" + std::string(kSiteSchemaVersion) +
        "\",\n  \"kind\": \"site-check\",\n  \"as_saved\": " + (as_saved ? "true" : "false") +
        ",\n  \"devices\": [";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const SiteCheckEntry& e = entries[i];
        std::string states = "[";
        for (const std::string& state : e.states) {
            states += (states.size() > 1 ? ", " : "") + Quoted(state);
        }
        states += "]";
        const DeviceInfo* record = e.found ? &e.found->record : nullptr;
        out +=
            std::string(i > 0 ? "," : "") + "\n    {\"identity\": " + Quoted(e.identity) +
            ", \"states\": " + states +
            ", \"saved_ip\": " + (e.saved ? OrNull(e.saved->ip) : "null") +
            ", \"ip\": " + (record ? OrNull(text::ToUtf8(record->ip)) : "null") +
            ", \"saved_firmware\": " + (e.saved ? OrNull(e.saved->firmware) : "null") +
            ", \"firmware\": " + (record ? OrNull(text::ToUtf8(record->master_version)) : "null") +
            ", \"name\": " + OrNull(EntryName(e)) + ", \"label\": " +
            (e.saved && e.saved->label ? Quoted(*e.saved->label) : std::string("null")) +
            ", \"claimed_ips\": " + TextList(e.claimed_ips) + "}";
    }
    out += entries.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

}  // namespace orvandel::cli
