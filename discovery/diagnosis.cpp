#include "discovery/diagnosis.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "discovery/ipv4.h"
#include "text/join.h"

namespace orvandel {

namespace {

// Lower ranks come first: a fault seen for certain before a likely cause, and a
// cause this computer cannot confirm last.
enum Rank {
    kRankNoAdapter,
    kRankPortBusy,
    kRankSendFailed,
    kRankFirewallRule,
    kRankAdapterSkipped,
    kRankDropped,
    kRankVpn,
    kRankRpFilter,
    kRankFirewallLikely,
    kRankNotDevices,
    kRankWireless,
    kRankFirewallUnknown,
};

struct Ranked {
    Rank rank;
    Verdict verdict;
};

const InterfaceFacts* FactsOf(const SystemFacts& system, const std::string& name) {
    for (const InterfaceFacts& facts : system.interfaces) {
        if (facts.name == name) {
            return &facts;
        }
    }
    return nullptr;
}

std::string ErrorName(int error) {
    switch (error) {
        case EADDRINUSE:
            return "EADDRINUSE";
        case ENETUNREACH:
            return "ENETUNREACH";
        case EHOSTUNREACH:
            return "EHOSTUNREACH";
        case EPERM:
            return "EPERM";
        case EACCES:
            return "EACCES";
        case ENODEV:
            return "ENODEV";
        case EADDRNOTAVAIL:
            return "EADDRNOTAVAIL";
        case ENOBUFS:
            return "ENOBUFS";
        case EINVAL:
            return "EINVAL";
        default:
            return "errno " + std::to_string(error);
    }
}

void NoAdapter(const DiagnosisInput& in, std::vector<Ranked>& out) {
    if (!in.search.adapters.empty()) {
        return;
    }
    std::vector<std::string> skipped;
    for (const AdapterVerdict& v : in.system.verdicts) {
        if (v.reason != "loopback" && !v.reason.empty()) {
            skipped.push_back(v.name + ": " + v.reason);
        }
    }
    Verdict verdict{VerdictCode::kNoAdapter,
                    skipped.empty() ? VerdictVariant::kNoneToSkip : VerdictVariant::kPlain,
                    {{"count", std::to_string(skipped.size())}}};
    if (!skipped.empty()) {
        verdict.values.push_back({"skipped", text::Joined(skipped, "; ")});
    }
    out.push_back({kRankNoAdapter, std::move(verdict)});
}

void PortBusy(const DiagnosisInput& in, std::vector<Ranked>& out) {
    std::vector<std::string> interfaces;
    for (const AdapterObservation& seen : in.search.adapters) {
        if (seen.group_bind_error == EADDRINUSE || seen.adapter_bind_error == EADDRINUSE) {
            interfaces.push_back(seen.interface_name);
        }
    }
    if (interfaces.empty()) {
        return;
    }
    Verdict v{VerdictCode::kPortBusy,
              VerdictVariant::kUnknownHolder,
              {{"port", std::to_string(in.port)}, {"interface", text::Joined(interfaces, ", ")}}};
    if (!in.holders.holders.empty()) {
        v.variant = VerdictVariant::kPlain;
        v.values.push_back({"program", in.holders.holders.front().program});
        v.values.push_back({"pid", std::to_string(in.holders.holders.front().pid)});
    }
    v.values.push_back({"command", "ss -ulpn 'sport = :" + std::to_string(in.port) + "'"});
    out.push_back({kRankPortBusy, std::move(v)});
}

// As root, the ruleset was there but past the reader's bounds.
bool RulesetUnreadable(const FirewallFacts& f) {
    return f.nft_result == RulesetRead::kTooLarge || f.nft_result == RulesetRead::kTooSlow;
}

void SendFailed(const DiagnosisInput& in, std::vector<Ranked>& out) {
    for (const AdapterObservation& seen : in.search.adapters) {
        const InterfaceFacts* facts = FactsOf(in.system, seen.interface_name);
        const std::string multicast = facts == nullptr ? "?" : facts->multicast ? "on" : "off";
        if (seen.send_errors > 0) {
            out.push_back({kRankSendFailed,
                           {VerdictCode::kSendFailed,
                            VerdictVariant::kPlain,
                            {{"interface", seen.interface_name},
                             {"error", ErrorName(seen.last_send_error)},
                             {"count", std::to_string(seen.send_errors)},
                             {"multicast", multicast}}}});
        } else if (seen.group_socket && seen.sends > 0 && !seen.own_browse_seen &&
                   in.system.firewall.nft_drop_rule.empty() &&
                   !RulesetUnreadable(in.system.firewall)) {
            // An input rule that drops the port drops the looped-back command too:
            // then the firewall's verdict says it all, and a ruleset that could not
            // be read may hold such a rule.
            out.push_back({kRankSendFailed,
                           {VerdictCode::kSendFailed,
                            VerdictVariant::kNoLoop,
                            {{"interface", seen.interface_name}, {"multicast", multicast}}}});
        }
    }
}

// The interface of the default route, or failing that the only up wired or
// wireless interface: the one the user means by "my network".
std::string MainInterface(const SystemFacts& system) {
    std::string main = DefaultRouteInterface(system.routes);
    if (!main.empty()) {
        return main;
    }
    std::vector<std::string> candidates;
    for (std::size_t i = 0; i < system.adapters.size() && i < system.interfaces.size(); ++i) {
        const LinkKind kind = system.interfaces[i].kind;
        if (system.adapters[i].up && !system.adapters[i].loopback &&
            (kind == LinkKind::kEthernet || kind == LinkKind::kWireless)) {
            candidates.push_back(system.adapters[i].name);
        }
    }
    return candidates.size() == 1 ? candidates.front() : std::string();
}

void AdapterSkipped(const DiagnosisInput& in, std::vector<Ranked>& out) {
    const std::string main = MainInterface(in.system);
    if (main.empty()) {
        return;
    }
    const InterfaceFacts* facts = FactsOf(in.system, main);
    if (facts != nullptr && IsVpnKind(facts->kind)) {
        return;  // a tunnel holding the route is the VPN's verdict
    }
    for (const AdapterVerdict& v : in.system.verdicts) {
        if (v.name == main && v.address.empty() && !v.reason.empty() && v.reason != "loopback") {
            out.push_back({kRankAdapterSkipped,
                           {VerdictCode::kAdapterSkipped,
                            VerdictVariant::kPlain,
                            {{"interface", v.name}, {"reason", v.reason}}}});
        }
    }
}

void Dropped(const DiagnosisInput& in, std::vector<Ranked>& out) {
    if (!in.receive_errors_before || !in.receive_errors_after ||
        *in.receive_errors_after <= *in.receive_errors_before) {
        return;
    }
    out.push_back(
        {kRankDropped,
         {VerdictCode::kDroppedByKernel,
          VerdictVariant::kPlain,
          {{"count", std::to_string(*in.receive_errors_after - *in.receive_errors_before)}}}});
}

void Firewall(const DiagnosisInput& in, std::vector<Ranked>& out) {
    const FirewallFacts& f = in.system.firewall;
    const std::string port = std::to_string(in.port);
    if (f.nft_read && !f.nft_drop_rule.empty()) {
        out.push_back({kRankFirewallRule,
                       {VerdictCode::kFirewall,
                        VerdictVariant::kNftables,
                        {{"port", port},
                         {"rule", f.nft_drop_rule},
                         {"command", "nft -a list chain " + f.nft_drop_rule}}}});
        return;
    }
    if (RulesetUnreadable(f)) {
        const bool large = f.nft_result == RulesetRead::kTooLarge;
        out.push_back({kRankFirewallLikely,
                       {VerdictCode::kFirewall,
                        large ? VerdictVariant::kRulesTooLarge : VerdictVariant::kRulesTooSlow,
                        {{"port", port},
                         {"limit", large ? std::to_string(kNftOutputLimit >> 20) + " MiB"
                                         : std::to_string(kNftTimeLimitMs / 1000) + " s"},
                         {"read", std::to_string(f.nft_bytes_read)},
                         {"command", "nft list ruleset"}}}});
        return;
    }
    if (f.ufw_enabled == Known::kYes && f.ufw_allows != Known::kYes) {
        out.push_back({kRankFirewallLikely,
                       {VerdictCode::kFirewall,
                        VerdictVariant::kUfw,
                        {{"port", port}, {"command", "sudo ufw allow " + port + "/udp"}}}});
        return;
    }
    if (f.firewalld_running == Known::kYes && f.firewalld_allows != Known::kYes) {
        out.push_back({kRankFirewallLikely,
                       {VerdictCode::kFirewall,
                        VerdictVariant::kFirewalld,
                        {{"port", port}, {"command", "sudo firewall-cmd --list-all"}}}});
        return;
    }
    // Only rights are missing: as root an unreadable ruleset (no nft tool) says nothing.
    if (!f.root && !f.nft_read && f.netfilter_loaded) {
        out.push_back({kRankFirewallUnknown,
                       {VerdictCode::kFirewall,
                        VerdictVariant::kCannotTell,
                        {{"port", port}, {"command", "sudo nft list ruleset"}}}});
    }
}

void VpnRoute(const DiagnosisInput& in, std::vector<Ranked>& out) {
    const std::string by_default = DefaultRouteInterface(in.system.routes);
    std::string by_group;
    if (const auto group = ipv4::Parse(in.group)) {
        by_group = RouteInterface(in.system.routes, *group);
    }
    for (const std::string& name : {by_group, by_default}) {
        const InterfaceFacts* facts = name.empty() ? nullptr : FactsOf(in.system, name);
        if (facts != nullptr && IsVpnKind(facts->kind)) {
            out.push_back(
                {kRankVpn,
                 {VerdictCode::kVpnRoute,
                  VerdictVariant::kPlain,
                  {{"interface", name}, {"kind", std::string(LinkKindName(facts->kind))}}}});
            return;
        }
    }
}

void RpFilter(const DiagnosisInput& in, std::vector<Ranked>& out) {
    const std::string by_default = DefaultRouteInterface(in.system.routes);
    for (const AdapterObservation& seen : in.search.adapters) {
        const InterfaceFacts* facts = FactsOf(in.system, seen.interface_name);
        if (facts == nullptr || facts->rp_filter <= 0 || seen.interface_name == by_default) {
            continue;
        }
        const std::string& name = seen.interface_name;
        out.push_back({kRankRpFilter,
                       {VerdictCode::kRpFilter,
                        VerdictVariant::kPlain,
                        {{"interface", name},
                         {"value", std::to_string(facts->rp_filter)},
                         {"sysctl", "net.ipv4.conf." + name + ".rp_filter"},
                         {"command", "sudo ip route add default dev " + name + " metric 1000"}}}});
    }
}

void WirelessOnly(const DiagnosisInput& in, std::vector<Ranked>& out) {
    if (in.search.adapters.empty()) {
        return;
    }
    std::vector<std::string> names;
    for (const AdapterObservation& seen : in.search.adapters) {
        const InterfaceFacts* facts = FactsOf(in.system, seen.interface_name);
        if (facts == nullptr || facts->kind != LinkKind::kWireless) {
            return;
        }
        names.push_back(seen.interface_name);
    }
    out.push_back({kRankWireless,
                   {VerdictCode::kWirelessIsolation,
                    VerdictVariant::kPlain,
                    {{"interface", text::Joined(names, ", ")}}}});
}

void NotDevices(const DiagnosisInput& in, std::vector<Ranked>& out) {
    std::size_t count = 0;
    std::vector<std::string> senders;
    for (const AdapterObservation& seen : in.search.adapters) {
        count += seen.not_device_count;
        for (const std::string& sender : seen.not_device_senders) {
            if (senders.size() < kMaxNotDeviceSenders &&
                std::find(senders.begin(), senders.end(), sender) == senders.end()) {
                senders.push_back(sender);
            }
        }
    }
    if (count == 0) {
        return;
    }
    out.push_back({kRankNotDevices,
                   {VerdictCode::kNotDevices,
                    VerdictVariant::kPlain,
                    {{"count", std::to_string(count)}, {"source", text::Joined(senders, ", ")}}}});
}

}  // namespace

std::string_view VerdictCodeName(VerdictCode code) {
    switch (code) {
        case VerdictCode::kNoAdapter:
            return "no-adapter";
        case VerdictCode::kAdapterSkipped:
            return "adapter-skipped";
        case VerdictCode::kSendFailed:
            return "send-failed";
        case VerdictCode::kPortBusy:
            return "port-busy";
        case VerdictCode::kVpnRoute:
            return "vpn-route";
        case VerdictCode::kRpFilter:
            return "rp-filter";
        case VerdictCode::kFirewall:
            return "firewall";
        case VerdictCode::kWirelessIsolation:
            return "wireless-isolation";
        case VerdictCode::kDroppedByKernel:
            return "dropped-by-kernel";
        case VerdictCode::kNotDevices:
            return "not-devices";
    }
    return "unknown";
}

std::string Verdict::Value(std::string_view name) const {
    for (const VerdictValue& v : values) {
        if (v.name == name) {
            return v.value;
        }
    }
    return {};
}

std::vector<Verdict> Diagnose(const DiagnosisInput& input) {
    std::vector<Ranked> ranked;
    NoAdapter(input, ranked);
    PortBusy(input, ranked);
    SendFailed(input, ranked);
    AdapterSkipped(input, ranked);
    Dropped(input, ranked);
    if (input.devices_found == 0) {
        Firewall(input, ranked);
        VpnRoute(input, ranked);
        RpFilter(input, ranked);
        WirelessOnly(input, ranked);
        NotDevices(input, ranked);
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const Ranked& a, const Ranked& b) { return a.rank < b.rank; });
    std::vector<Verdict> out;
    for (Ranked& r : ranked) {
        out.push_back(std::move(r.verdict));
    }
    return out;
}

DiagnosisInput GatherDiagnosis(std::vector<AdapterRecord> adapters, SearchObservations search,
                               std::optional<std::uint64_t> receive_errors_before,
                               std::size_t devices_found, std::uint16_t port) {
    DiagnosisInput input;
    input.receive_errors_after = ReadUdpReceiveErrors();
    input.receive_errors_before = receive_errors_before;
    input.system = GatherSystemFacts(std::move(adapters), port);
    input.search = std::move(search);
    input.devices_found = devices_found;
    input.port = port;
    const bool busy =
        std::any_of(input.search.adapters.begin(), input.search.adapters.end(), [](const auto& s) {
            return s.group_bind_error == EADDRINUSE || s.adapter_bind_error == EADDRINUSE;
        });
    if (busy) {
        input.holders = FindPortHolders(port);
    }
    return input;
}

}  // namespace orvandel
