#include "tools/cli/ansible_inventory.h"

#include <map>
#include <set>

#include "discovery/ipv4.h"
#include "text/utf.h"
#include "tools/cli/cli_output.h"
#include "tools/cli/watch.h"

namespace orvandel::cli {

namespace {

constexpr std::size_t kMaxGroupName = 64;

// A text Ansible must not template. The unsafe mark is lost by exports such as
// `ansible-inventory --list -y`, so no template opener survives either: a space
// goes between "{" and "{", "%" or "#", where it shows.
std::string Unsafe(std::string_view utf8) {
    return "{\"__ansible_unsafe\": " + JsonString(std::string_view(NoTemplateOpeners(utf8))) + "}";
}

std::string HostVars(const InventoryHost& host) {
    std::string out = "{";
    // Only an address that passes the window's URL gate is a place to connect to,
    // and none that another claim disputes.
    if (host.status != "conflict" && ipv4::IsOpenableText(text::DecodeUtf8(host.ip, 64))) {
        out += "\"ansible_host\": " + JsonString(std::string_view(host.ip)) + ", ";
    }
    out += "\"orvandel_identity\": " + Unsafe(host.identity) +
           ", \"orvandel_mac\": " + Unsafe(host.mac) + ", \"orvandel_ip\": " + Unsafe(host.ip) +
           ", \"orvandel_name\": " + Unsafe(host.name) +
           ", \"orvandel_model\": " + Unsafe(host.model) +
           ", \"orvandel_firmware\": " + Unsafe(host.firmware) +
           ", \"orvandel_status\": " + Unsafe(host.status) +
           ", \"orvandel_label\": " + (host.label ? Unsafe(*host.label) : std::string("null")) +
           ", \"orvandel_tags\": [";
    for (std::size_t i = 0; i < host.tags.size(); ++i) {
        out += (i > 0 ? ", " : "") + Unsafe(host.tags[i]);
    }
    out += "]";
    if (!host.claimed_ips.empty()) {
        out += ", \"orvandel_claimed_ips\": [";
        for (std::size_t i = 0; i < host.claimed_ips.size(); ++i) {
            out += (i > 0 ? ", " : "") + Unsafe(host.claimed_ips[i]);
        }
        out += "]";
    }
    return out + "}";
}

std::string NameList(const std::set<std::string>& names) {
    std::string out = "[";
    for (const std::string& name : names) {
        out += (out.size() > 1 ? ", " : "") + JsonString(std::string_view(name));
    }
    return out + "]";
}

}  // namespace

std::string NoTemplateOpeners(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        out += utf8[i];
        if (utf8[i] == '{' && i + 1 < utf8.size() &&
            (utf8[i + 1] == '{' || utf8[i + 1] == '%' || utf8[i + 1] == '#')) {
            out += ' ';
        }
    }
    return out;
}

std::vector<InventoryHost> HostsFromFound(const std::vector<FoundDevice>& found) {
    std::vector<InventoryHost> hosts;
    const std::vector<FoundDevice> claimed = ClaimedDevices(found);
    for (const IdentityClaims& identity : ClaimsByIdentity(claimed)) {
        const FoundDevice& device = *identity.claims.front();
        const DeviceInfo& r = device.record;
        InventoryHost host{identity.identity,
                           text::ToUtf8(ShownMac(r)),
                           text::ToUtf8(r.ip),
                           text::ToUtf8(r.device_name),
                           text::ToUtf8(r.model),
                           text::ToUtf8(r.master_version),
                           std::string(StatusWord(device.verdict.status)),
                           std::nullopt,
                           {},
                           {}};
        if (device.verdict.status == ReachStatus::kConflict) {
            for (const FoundDevice* claim : identity.claims) {
                host.claimed_ips.push_back(text::ToUtf8(claim->record.ip));
            }
        }
        hosts.push_back(std::move(host));
    }
    return hosts;
}

std::vector<InventoryHost> HostsFromSite(const Site& site) {
    std::vector<InventoryHost> hosts;
    for (const SiteDevice& d : site.devices) {
        hosts.push_back(
            {d.identity, d.mac, d.ip, d.name, d.model, d.firmware, "saved", d.label, d.tags, {}});
    }
    return hosts;
}

std::string InventoryHostName(const std::string& identity) {
    std::string out = "orvandel_";
    std::string_view rest = identity;
    if (rest.starts_with("ip:")) {
        out += "ip_";
        rest.remove_prefix(3);
    }
    for (const char c : rest) {
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')) {
            out += c;
        } else if (c >= 'A' && c <= 'Z') {
            out += static_cast<char>(c - 'A' + 'a');
        } else if (c == '.' || c == '-') {
            out += '_';
        }
    }
    return out;
}

std::string InventoryGroupName(std::string_view prefix, std::string_view value) {
    std::string out = std::string(prefix) + "_";
    if (value.empty()) {
        return out + "unknown";
    }
    for (const char c : value) {
        if (out.size() >= kMaxGroupName) {
            break;
        }
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')) {
            out += c;
        } else if (c >= 'A' && c <= 'Z') {
            out += static_cast<char>(c - 'A' + 'a');
        } else {
            out += '_';
        }
    }
    return out;
}

std::string FormatInventoryList(const std::vector<InventoryHost>& hosts) {
    std::map<std::string, std::set<std::string>> groups;
    std::set<std::string> all;
    // Written straight into the document: a large site is not copied whole again.
    std::string out = "{\n  \"_meta\": {\n    \"hostvars\": {";
    std::set<std::string> named;
    for (const InventoryHost& host : hosts) {
        const std::string name = InventoryHostName(host.identity);
        if (!named.insert(name).second) {
            continue;  // two identities that differ only in punctuation: the first stays
        }
        all.insert(name);
        groups[InventoryGroupName("model", host.model)].insert(name);
        groups[InventoryGroupName("firmware", host.firmware)].insert(name);
        groups[InventoryGroupName("status", host.status)].insert(name);
        for (const std::string& tag : host.tags) {
            groups[InventoryGroupName("tag", tag)].insert(name);
        }
        out += std::string(all.size() > 1 ? ",\n" : "\n") + "      " +
               JsonString(std::string_view(name)) + ": " + HostVars(host);
    }
    out += std::string(all.empty() ? "" : "\n    ") + "}\n  },\n";
    std::set<std::string> children;
    for (const auto& [group, members] : groups) {
        children.insert(group);
        out += "  " + JsonString(std::string_view(group)) + ": {\"hosts\": " + NameList(members) +
               "},\n";
    }
    out += "  \"orvandel\": {\"hosts\": " + NameList(all) +
           ", \"children\": " + NameList(children) + "}\n}\n";
    return out;
}

std::string FormatInventoryHost(const std::vector<InventoryHost>& hosts, const std::string& name) {
    for (const InventoryHost& host : hosts) {
        if (InventoryHostName(host.identity) == name) {
            return HostVars(host) + "\n";
        }
    }
    return "{}\n";
}

}  // namespace orvandel::cli
