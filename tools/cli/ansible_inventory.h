// The Ansible inventory script's documents: `--list` (groups by model, firmware,
// status and tag, with every host's variables under _meta) and `--host NAME`.
// Pure formatting. Device texts reach Ansible marked unsafe and without template
// openers, so that a device name holding "{{ ... }}" is never evaluated as a
// template, not even after an export that drops the mark.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/found_device.h"
#include "tools/cli/site_file.h"

namespace orvandel::cli {

struct InventoryHost {
    std::string identity, mac, ip, name, model, firmware, status;  // UTF-8
    std::optional<std::string> label;
    std::vector<std::string> tags;
    // A conflict's claims (every ip that claimed the identity); such a host has no
    // ansible_host, since the address to connect to is disputed.
    std::vector<std::string> claimed_ips;
};

// "{{", "{%" and "{#" with a space between the two characters; any other text as it is.
std::string NoTemplateOpeners(std::string_view utf8);

// One host per identity (ClaimsByIdentity), from its first claim.
std::vector<InventoryHost> HostsFromFound(const std::vector<FoundDevice>& found);
// A site file's devices; their status is "saved" (no search ran).
std::vector<InventoryHost> HostsFromSite(const Site& site);

// The host's inventory name, made of its identity's letters and digits only:
// "orvandel_020000000001" for a MAC, "orvandel_ip_10_0_0_5" for an ip.
std::string InventoryHostName(const std::string& identity);
// A group name: the prefix and the value in lower case, every character other than
// a-z and 0-9 as "_", at most 64 characters ("model_tr9100", "firmware_1_2_3").
std::string InventoryGroupName(std::string_view prefix, std::string_view value);

std::string FormatInventoryList(const std::vector<InventoryHost>& hosts);
// The variables of the host called `name`; "{}" when there is none, as Ansible expects.
std::string FormatInventoryHost(const std::vector<InventoryHost>& hosts, const std::string& name);

}  // namespace orvandel::cli
