// The diagnosis of a search that found nothing, over recorded facts: each rule
// with the case that raises it and its near miss, the order of several verdicts,
// the readers of the system's files and of the nftables ruleset, and the texts of
// every verdict in the four languages.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <ostream>

#include "discovery/diagnosis.h"
#include "localization/diagnosis_text.h"
#include "localization/ui_strings.h"
#include "platform/mini_json.h"
#include "text/utf.h"

namespace orvandel {
namespace {

AdapterRecord Adapter(std::string name, std::string ip, int hw_addr_len = 6) {
    AdapterRecord r;
    r.name = std::move(name);
    r.description = r.name;
    r.hw_addr_len = hw_addr_len;
    r.ipv4 = {std::move(ip)};
    r.prefix_length = {24};
    r.up = true;
    r.running = true;
    return r;
}

RouteRow DefaultVia(std::string name) {
    return RouteRow{std::move(name), 0, 0, 0x0A000001, 0};
}

// A desktop on one wired adapter with its default route, a firewall read as root
// and empty, and a search whose command came back: nothing to report.
DiagnosisInput Healthy() {
    DiagnosisInput in;
    in.system.adapters = {Adapter("eth0", "10.0.0.5")};
    in.system.interfaces = {{"eth0", LinkKind::kEthernet, true, 0}};
    in.system.routes = {DefaultVia("eth0"), {"eth0", 0x0A000000, 0xFFFFFF00, 0, 0}};
    in.system.firewall.root = true;
    in.system.firewall.nft_read = true;
    in.system.firewall.netfilter_loaded = true;
    AdapterObservation seen;
    seen.address = "10.0.0.5";
    seen.interface_name = "eth0";
    seen.group_socket = true;
    seen.sends = 5;
    seen.own_browse_seen = true;
    in.search.adapters = {seen};
    in.receive_errors_before = 100;
    in.receive_errors_after = 100;
    return in;
}

// Adds an adapter to the system, searched when the filter keeps it.
void AddAdapter(DiagnosisInput& in, AdapterRecord record, LinkKind kind, bool searched) {
    in.system.interfaces.push_back({record.name, kind, true, 0});
    if (searched) {
        AdapterObservation seen;
        seen.address = record.ipv4.front();
        seen.interface_name = record.name;
        seen.group_socket = true;
        seen.sends = 5;
        seen.own_browse_seen = true;
        in.search.adapters.push_back(seen);
    }
    in.system.adapters.push_back(std::move(record));
}

struct RuleRow {
    const char* label;
    std::function<void(DiagnosisInput&)> change;
    std::vector<std::string> codes;  // expected, in order
    // A value the first verdict must carry ("name=value"); empty: none checked.
    std::string value = {};
};

void PrintTo(const RuleRow& row, std::ostream* os) {
    *os << row.label;
}

std::vector<std::string> Codes(const std::vector<Verdict>& verdicts) {
    std::vector<std::string> out;
    for (const Verdict& v : verdicts) {
        out.emplace_back(VerdictCodeName(v.code));
    }
    return out;
}

DiagnosisInput Apply(const RuleRow& row) {
    DiagnosisInput in = Healthy();
    row.change(in);
    in.system.verdicts = JudgeAdapters(in.system.adapters);
    return in;
}

class Rules : public ::testing::TestWithParam<RuleRow> {};

TEST_P(Rules, GiveTheExpectedVerdictsInOrder) {
    const RuleRow& row = GetParam();
    const auto verdicts = Diagnose(Apply(row));
    EXPECT_EQ(Codes(verdicts), row.codes);
    if (!row.value.empty() && !verdicts.empty()) {
        const std::size_t eq = row.value.find('=');
        EXPECT_EQ(verdicts.front().Value(row.value.substr(0, eq)), row.value.substr(eq + 1));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Rules,
    ::testing::Values(
        RuleRow{"Healthy", [](DiagnosisInput&) {}, {}},
        // --- no-adapter / adapter-skipped
        RuleRow{"NoAdapterSearchedAndTheMainOneSkipped",
                [](DiagnosisInput& in) {
                    in.system.adapters[0].hw_addr_len = 0;
                    in.search.adapters.clear();
                },
                {"no-adapter", "adapter-skipped"},
                "skipped=eth0: no hardware address"},
        RuleRow{"VirtualNamedAdapterHoldsTheDefaultRoute",
                [](DiagnosisInput& in) {
                    AddAdapter(in, Adapter("VirtualBr0", "192.168.1.7"), LinkKind::kEthernet,
                               false);
                    in.system.routes[0] = DefaultVia("VirtualBr0");
                },
                {"adapter-skipped"},
                "reason=name contains \"Virtual\""},
        RuleRow{"OnlyWiredAdapterSkippedWithoutDefaultRoute",
                [](DiagnosisInput& in) {
                    in.system.routes.clear();
                    in.system.adapters[0].hw_addr_len = 0;
                    in.search.adapters.clear();
                    // A down adapter is no candidate for "the" adapter.
                    AddAdapter(in, Adapter("eth1", "192.168.1.7"), LinkKind::kEthernet, false);
                    in.system.adapters[1].up = false;
                },
                {"no-adapter", "adapter-skipped"},
                "skipped=eth0: no hardware address; eth1: interface is down"},
        RuleRow{"SkippedAdapterWithoutTheRouteIsNoCause",
                [](DiagnosisInput& in) {
                    AddAdapter(in, Adapter("VirtualBox0", "192.168.56.1"), LinkKind::kEthernet,
                               false);
                },
                {}},
        // --- port-busy
        RuleRow{"PortHeldByANamedProgram",
                [](DiagnosisInput& in) {
                    in.search.adapters[0].group_socket = false;
                    in.search.adapters[0].group_bind_error = EADDRINUSE;
                    in.search.adapters[0].adapter_bind_error = EADDRINUSE;
                    in.holders.holders = {{4242, "holder"}};
                },
                {"port-busy"},
                "program=holder"},
        RuleRow{"PortHeldByAProgramProcDoesNotShow",
                [](DiagnosisInput& in) {
                    in.search.adapters[0].group_socket = false;
                    in.search.adapters[0].group_bind_error = EADDRINUSE;
                    in.holders.complete = false;
                },
                {"port-busy"},
                "port=8888"},
        RuleRow{
            "OtherBindErrorIsNotPortBusy",
            [](DiagnosisInput& in) { in.search.adapters[0].adapter_bind_error = EADDRNOTAVAIL; },
            {}},
        // --- send-failed
        RuleRow{"SendsRefused",
                [](DiagnosisInput& in) {
                    in.search.adapters[0].send_errors = 5;
                    in.search.adapters[0].last_send_error = EPERM;
                    in.search.adapters[0].own_browse_seen = false;
                    in.system.interfaces[0].multicast = false;
                },
                {"send-failed"},
                "error=EPERM"},
        RuleRow{"CommandDidNotComeBack",
                [](DiagnosisInput& in) { in.search.adapters[0].own_browse_seen = false; },
                {"send-failed"},
                "multicast=on"},
        // Sends to targets that never answer ARP wait for room: no refusal.
        RuleRow{"SendsLeftOutForWantOfRoom",
                [](DiagnosisInput& in) { in.search.adapters[0].sends_skipped = 400; },
                {}},
        RuleRow{"NothingSentNothingExpectedBack",
                [](DiagnosisInput& in) {
                    in.search.adapters[0].own_browse_seen = false;
                    in.search.adapters[0].sends = 0;
                },
                {}},
        RuleRow{"InputRuleExplainsTheMissingCommand",
                [](DiagnosisInput& in) {
                    in.search.adapters[0].own_browse_seen = false;
                    in.system.firewall.nft_drop_rule = "inet filter input";
                },
                {"firewall"},
                "rule=inet filter input"},
        // --- vpn-route
        RuleRow{"DefaultRouteThroughTun",
                [](DiagnosisInput& in) {
                    AddAdapter(in, Adapter("tun0", "10.8.0.2", 0), LinkKind::kTun, false);
                    in.system.routes[0] = DefaultVia("tun0");
                },
                {"vpn-route"},
                "interface=tun0"},
        RuleRow{"GroupRouteThroughWireGuard",
                [](DiagnosisInput& in) {
                    AddAdapter(in, Adapter("wg0", "10.9.0.2", 0), LinkKind::kWireGuard, false);
                    in.system.routes.push_back({"wg0", 0xE0000000, 0xF0000000, 0, 0});
                },
                {"vpn-route"},
                "kind=wireguard"},
        RuleRow{"VpnUpButDevicesFound",
                [](DiagnosisInput& in) {
                    AddAdapter(in, Adapter("tun0", "10.8.0.2", 0), LinkKind::kTun, false);
                    in.system.routes[0] = DefaultVia("tun0");
                    in.devices_found = 2;
                },
                {}},
        // --- rp-filter
        RuleRow{"StrictFilterWithoutDefaultRoute",
                [](DiagnosisInput& in) {
                    in.system.routes.erase(in.system.routes.begin());
                    in.system.interfaces[0].rp_filter = 1;
                },
                {"rp-filter"},
                "sysctl=net.ipv4.conf.eth0.rp_filter"},
        RuleRow{"LooseFilterOnTheDefaultRouteAdapter",
                [](DiagnosisInput& in) { in.system.interfaces[0].rp_filter = 2; },
                {}},
        RuleRow{"FilterUnknown",
                [](DiagnosisInput& in) {
                    in.system.routes.erase(in.system.routes.begin());
                    in.system.interfaces[0].rp_filter = -1;
                },
                {}},
        // --- firewall
        RuleRow{"NftablesDropsThePort",
                [](DiagnosisInput& in) { in.system.firewall.nft_drop_rule = "inet filter input"; },
                {"firewall"},
                "command=nft -a list chain inet filter input"},
        RuleRow{"UfwEnabledWithoutAllowRule",
                [](DiagnosisInput& in) {
                    in.system.firewall.ufw_enabled = Known::kYes;
                    in.system.firewall.ufw_allows = Known::kUnknown;
                },
                {"firewall"},
                "command=sudo ufw allow 8888/udp"},
        RuleRow{"UfwAllowsThePort",
                [](DiagnosisInput& in) {
                    in.system.firewall.ufw_enabled = Known::kYes;
                    in.system.firewall.ufw_allows = Known::kYes;
                },
                {}},
        RuleRow{"FirewalldRunningZoneNotAsked",
                [](DiagnosisInput& in) { in.system.firewall.firewalld_running = Known::kYes; },
                {"firewall"},
                "command=sudo firewall-cmd --list-all"},
        RuleRow{"FirewalldSaysThePortIsOpen",
                [](DiagnosisInput& in) {
                    in.system.firewall.firewalld_running = Known::kYes;
                    in.system.firewall.firewalld_allows = Known::kYes;
                },
                {}},
        RuleRow{"WithoutRootCannotTell",
                [](DiagnosisInput& in) {
                    in.system.firewall.root = false;
                    in.system.firewall.nft_read = false;
                },
                {"firewall"},
                "command=sudo nft list ruleset"},
        // Past the reader's bounds the ruleset may hold the rule that also drops the
        // looped-back command: the firewall is named, not the send.
        RuleRow{"RulesetTooLargeToRead",
                [](DiagnosisInput& in) {
                    in.system.firewall.nft_read = false;
                    in.system.firewall.nft_result = RulesetRead::kTooLarge;
                    in.system.firewall.nft_bytes_read = kNftOutputLimit + 8192;
                    in.search.adapters[0].own_browse_seen = false;
                },
                {"firewall"},
                "limit=8 MiB"},
        RuleRow{"RulesetTooSlowToRead",
                [](DiagnosisInput& in) {
                    in.system.firewall.nft_read = false;
                    in.system.firewall.nft_result = RulesetRead::kTooSlow;
                    in.system.firewall.nft_bytes_read = 123456;
                    in.search.adapters[0].own_browse_seen = false;
                },
                {"firewall"},
                "read=123456"},
        RuleRow{"RootWithoutTheNftToolSaysNothing",
                [](DiagnosisInput& in) { in.system.firewall.nft_read = false; },
                {}},
        RuleRow{"WithoutRootAndNoNetfilterNothingToSay",
                [](DiagnosisInput& in) {
                    in.system.firewall.root = false;
                    in.system.firewall.nft_read = false;
                    in.system.firewall.netfilter_loaded = false;
                },
                {}},
        RuleRow{"FirewallRuleButDevicesFound",
                [](DiagnosisInput& in) {
                    in.system.firewall.nft_drop_rule = "inet filter input";
                    in.devices_found = 1;
                },
                {}},
        // --- wireless-isolation
        RuleRow{"OnlyWirelessSearched",
                [](DiagnosisInput& in) { in.system.interfaces[0].kind = LinkKind::kWireless; },
                {"wireless-isolation"},
                "interface=eth0"},
        RuleRow{"WirelessAndWiredSearched",
                [](DiagnosisInput& in) {
                    AddAdapter(in, Adapter("wlan0", "192.168.1.9"), LinkKind::kWireless, true);
                },
                {}},
        // --- dropped-by-kernel
        RuleRow{"ReceiveErrorsRose",
                [](DiagnosisInput& in) { in.receive_errors_after = 137; },
                {"dropped-by-kernel"},
                "count=37"},
        RuleRow{"ReceiveErrorsRoseButUnreadable",
                [](DiagnosisInput& in) { in.receive_errors_before.reset(); },
                {}},
        // --- not-devices
        RuleRow{"OtherDatagramsArrived",
                [](DiagnosisInput& in) {
                    in.search.adapters[0].not_device_count = 3;
                    in.search.adapters[0].not_device_senders = {"10.0.0.9", "10.0.0.10"};
                },
                {"not-devices"},
                "source=10.0.0.9, 10.0.0.10"},
        // --- order: certain faults before likely causes, "cannot tell" last
        RuleRow{"SeveralCausesMostCertainFirst",
                [](DiagnosisInput& in) {
                    in.system.interfaces[0].kind = LinkKind::kWireless;
                    in.system.firewall.root = false;
                    in.system.firewall.nft_read = false;
                    in.receive_errors_after = 101;
                    in.search.adapters[0].group_socket = false;
                    in.search.adapters[0].group_bind_error = EADDRINUSE;
                },
                {"port-busy", "dropped-by-kernel", "wireless-isolation", "firewall"}}));

// --- Readers of the system's files.

TEST(FactReaders, RouteTableGivesDefaultAndGroupRoutes) {
    const auto rows = ParseRouteTable(
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        "tun0\t00000000\t00000000\t0001\t0\t0\t50\t00000000\t0\t0\t0\n"
        "eth0\t0001A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
        "wg0\t000000E0\t00000000\t0001\t0\t0\t0\t000000F0\t0\t0\t0\n"
        "down\t00000000\t00000000\t0000\t0\t0\t0\t00000000\t0\t0\t0\n");
    ASSERT_EQ(rows.size(), 4u);  // the row without RTF_UP is left out
    EXPECT_EQ(rows[0].gateway, 0xC0A80101u);
    EXPECT_EQ(rows[2].destination, 0xC0A80100u);
    EXPECT_EQ(rows[2].mask, 0xFFFFFF00u);
    EXPECT_EQ(DefaultRouteInterface(rows), "tun0");      // the lower metric
    EXPECT_EQ(RouteInterface(rows, 0xEA080808), "wg0");  // 234.8.8.8
    EXPECT_EQ(RouteInterface(rows, 0xC0A80107), "eth0");
    EXPECT_EQ(DefaultRouteInterface(ParseRouteTable("")), "");
}

TEST(FactReaders, SnmpCounterAndUdpInodes) {
    EXPECT_EQ(ParseUdpReceiveErrors("Ip: Forwarding\nIp: 1\n"
                                    "Udp: InDatagrams NoPorts InErrors OutDatagrams RcvbufErrors\n"
                                    "Udp: 10 0 3 9 42\n"
                                    "UdpLite: InDatagrams RcvbufErrors\nUdpLite: 0 7\n"),
              42u);
    EXPECT_FALSE(ParseUdpReceiveErrors("Udp: InDatagrams\nUdp: 1\n").has_value());
    const std::string udp =
        "   sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
        "timeout inode ref pointer drops\n"
        "  1: 00000000:22B8 00000000:0000 07 00000000:00000000 00:00000000 00000000     0  "
        "      0 5555 2 0000000000000000 0\n"
        "  2: 0101A8C0:22B9 00000000:0000 07 00000000:00000000 00:00000000 00000000     0  "
        "      0 6666 2 0000000000000000 0\n"
        "  3: 080808EA:22B8 00000000:0000 07 00000000:00000000 00:00000000 00000000  1000  "
        "      0 7777 2 0000000000000000 0\n";
    EXPECT_EQ(ParseUdpInodes(udp, 8888), (std::vector<std::uint64_t>{5555, 7777}));
    EXPECT_TRUE(ParseUdpInodes(udp, 53).empty());
}

TEST(FactReaders, UfwConfigurationAndRules) {
    EXPECT_TRUE(ParseUfwEnabled("# comment\nENABLED=yes\nLOGLEVEL=low\n"));
    EXPECT_FALSE(ParseUfwEnabled("ENABLED=no\n"));
    EXPECT_FALSE(ParseUfwEnabled("#ENABLED=yes\n"));
    EXPECT_TRUE(ParseUfwAllows("### tuple ### allow udp 8888 0.0.0.0/0 any 0.0.0.0/0 in\n", 8888));
    EXPECT_TRUE(ParseUfwAllows("### tuple ### allow any 8888 0.0.0.0/0 any 0.0.0.0/0 in\n", 8888));
    EXPECT_FALSE(ParseUfwAllows("### tuple ### allow tcp 8888 0.0.0.0/0 any 0.0.0.0/0 in\n", 8888));
    EXPECT_FALSE(ParseUfwAllows("### tuple ### deny udp 8888 0.0.0.0/0 any 0.0.0.0/0 in\n", 8888));
    EXPECT_FALSE(ParseUfwAllows("-A ufw-user-input -p udp --dport 8888 -j ACCEPT\n", 8888));
}

TEST(FactReaders, LinkKinds) {
    EXPECT_EQ(ClassifyLink("e1000e", 1, "", false, false, "eth0"), LinkKind::kEthernet);
    EXPECT_EQ(ClassifyLink("", 1, "DEVTYPE=wlan\n", false, false, "wlp2s0"), LinkKind::kWireless);
    EXPECT_EQ(ClassifyLink("iwlwifi", 1, "", true, false, "wlp2s0"), LinkKind::kWireless);
    EXPECT_EQ(ClassifyLink("", 65534, "", false, true, "myvpn"), LinkKind::kTun);
    // In another namespace sysfs may not show the interface: the driver still does.
    EXPECT_EQ(ClassifyLink("tun", 65534, "", false, false, "office"), LinkKind::kTun);
    EXPECT_EQ(ClassifyLink("wireguard", 65534, "", false, false, "office"), LinkKind::kWireGuard);
    EXPECT_EQ(ClassifyLink("", 65534, "DEVTYPE=wireguard\n", false, false, "office"),
              LinkKind::kWireGuard);
    EXPECT_EQ(ClassifyLink("", 512, "", false, false, "dsl0"), LinkKind::kPpp);
    EXPECT_EQ(ClassifyLink("", 768, "", false, false, "ipip0"), LinkKind::kTunnel);
    EXPECT_EQ(ClassifyLink("", 772, "", false, false, "lo"), LinkKind::kOther);
    EXPECT_TRUE(IsVpnKind(LinkKind::kPpp));
    EXPECT_FALSE(IsVpnKind(LinkKind::kWireless));
}

// The ruleset's tool, bounded in size and in time over the whole read: a tool that
// trickles is as late as one that hangs.
TEST(FactReaders, BoundedToolGivesWhatWasSeen) {
    const auto run = [](const char* script, std::size_t limit, int ms) {
        return RunBoundedTool({"/bin/sh", "-c", script}, limit, ms);
    };
    const ToolOutput fine = run("echo '{}'", 1 << 20, 3000);
    EXPECT_EQ(fine.result, RulesetRead::kRead);
    EXPECT_EQ(fine.text, "{}\n");
    EXPECT_EQ(run("exit 1", 1 << 20, 3000).result, RulesetRead::kFailed);
    EXPECT_EQ(RunBoundedTool({"/nonexistent/nft"}, 1 << 20, 3000).result, RulesetRead::kFailed);

    const ToolOutput large = run("head -c 3000000 /dev/zero", 1 << 20, 3000);
    EXPECT_EQ(large.result, RulesetRead::kTooLarge);
    EXPECT_GT(large.bytes_read, std::size_t{1} << 20);
    EXPECT_TRUE(large.text.empty());

    for (const char* slow : {"echo x; exec sleep 10", "while :; do echo x; sleep 0.05; done"}) {
        const auto start = std::chrono::steady_clock::now();
        const ToolOutput late = run(slow, 1 << 20, 400);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        EXPECT_EQ(late.result, RulesetRead::kTooSlow) << slow;
        EXPECT_GE(late.bytes_read, 2u) << slow;
        EXPECT_LT(ms, 1500) << slow;
    }
}

// --- The nftables ruleset as `nft -j list ruleset` prints it.

std::string Ruleset(const std::string& policy, const std::string& rules,
                    const std::string& hook = "input") {
    return R"({"nftables": [{"metainfo": {"version": "1.0.6"}},
      {"table": {"family": "inet", "name": "filter", "handle": 1}},
      {"chain": {"family": "inet", "table": "filter", "name": "in", "handle": 1,
                 "type": "filter", "hook": ")" +
           hook + R"(", "prio": 0, "policy": ")" + policy + R"("}})" + rules + "]}";
}

std::string Rule(const std::string& expressions) {
    return R"(, {"rule": {"family": "inet", "table": "filter", "chain": "in", "expr": [)" +
           expressions + "]}}";
}

const std::string kUdp8888 =
    R"({"match": {"op": "==", "left": {"payload": {"protocol": "udp", "field": "dport"}}, "right": 8888}})";

struct NftRow {
    const char* label;
    std::string json;
    std::optional<std::string> expected;
};

void PrintTo(const NftRow& row, std::ostream* os) {
    *os << row.label;
}

class Nft : public ::testing::TestWithParam<NftRow> {};

TEST_P(Nft, FindsTheChainThatDropsThePort) {
    EXPECT_EQ(ParseNftDrop(GetParam().json, 8888), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Nft,
    ::testing::Values(
        NftRow{"EmptyRuleset", R"({"nftables": [{"metainfo": {"version": "1.0.6"}}]})", ""},
        NftRow{"DropRule", Ruleset("accept", Rule(kUdp8888 + R"(, {"drop": null})")),
               "inet filter in"},
        NftRow{"RejectRule", Ruleset("accept", Rule(kUdp8888 + R"(, {"reject": null})")),
               "inet filter in"},
        NftRow{"OtherPort",
               Ruleset("accept", Rule(R"({"match": {"op": "==", "left": {"payload": {"protocol":
                 "udp", "field": "dport"}}, "right": 53}}, {"drop": null})")),
               ""},
        NftRow{"PortInASet",
               Ruleset("accept", Rule(R"({"match": {"op": "==", "left": {"payload": {"protocol":
                 "udp", "field": "dport"}}, "right": {"set": [53, 8888]}}}, {"drop": null})")),
               "inet filter in"},
        NftRow{"PortInARange",
               Ruleset("accept", Rule(R"({"match": {"op": "==", "left": {"payload": {"protocol":
                 "udp", "field": "dport"}}, "right": {"range": [8000, 9000]}}}, {"drop": null})")),
               "inet filter in"},
        NftRow{"AllUdpDropped",
               Ruleset("accept", Rule(R"({"match": {"op": "==", "left": {"meta": {"key":
                 "l4proto"}}, "right": "udp"}}, {"drop": null})")),
               "inet filter in"},
        NftRow{"NewConnectionsDropped",
               Ruleset("accept", Rule(R"({"match": {"op": "in", "left": {"ct": {"key": "state"}},
                 "right": "new"}}, {"drop": null})")),
               "inet filter in"},
        NftRow{"EstablishedAcceptedIsNoAnswer",
               Ruleset("drop", Rule(R"({"match": {"op": "in", "left": {"ct": {"key": "state"}},
                 "right": ["established", "related"]}}, {"accept": null})")),
               "inet filter in"},
        NftRow{"DropOnlyFromOneSourceIsUncertain",
               Ruleset("accept", Rule(R"({"match": {"op": "==", "left": {"payload": {"protocol":
                 "ip", "field": "saddr"}}, "right": "10.1.1.1"}}, )" +
                                      kUdp8888 + R"(, {"drop": null})")),
               ""},
        NftRow{"AcceptBeforeDrop",
               Ruleset("accept", Rule(kUdp8888 + R"(, {"accept": null})") +
                                     Rule(kUdp8888 + R"(, {"drop": null})")),
               ""},
        NftRow{"PolicyDropWithoutAccept", Ruleset("drop", ""), "inet filter in"},
        NftRow{"PolicyDropWithAccept", Ruleset("drop", Rule(kUdp8888 + R"(, {"accept": null})")),
               ""},
        NftRow{"OutputChainIsNotInput",
               Ruleset("accept", Rule(kUdp8888 + R"(, {"drop": null})"), "output"), ""},
        NftRow{"NotJson", "table inet filter {", std::nullopt},
        NftRow{"JsonButNotARuleset", R"({"other": []})", std::nullopt}));

TEST(MiniJson, ReadsValuesAndRefusesBrokenOnes) {
    const auto doc = ParseJson(R"( {"a": [1, -2.5e1, true, null, "x\u00e9\n\ud83d\ude00"]} )");
    ASSERT_TRUE(doc.has_value());
    const JsonValue* a = doc->Get("a");
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->items.size(), 5u);
    EXPECT_EQ(a->items[1].number, -25);
    EXPECT_TRUE(a->items[2].boolean);
    EXPECT_EQ(a->items[4].text, "x\xC3\xA9\n\xF0\x9F\x98\x80");
    for (const char* broken : {"", "{", "[1,]", "{\"a\" 1}", "\"\x01\"", "01x", "[1] 2", "nul"}) {
        EXPECT_FALSE(ParseJson(broken).has_value()) << broken;
    }
    EXPECT_FALSE(
        ParseJson(std::string(kMaxJsonDepth + 2, '[') + std::string(kMaxJsonDepth + 2, ']'))
            .has_value());
    EXPECT_TRUE(
        ParseJson(std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']')).has_value());
}

// --- Texts: every verdict of the rows above, in every language.

TEST(DiagnosisTexts, EveryVerdictHasFilledTextsInEveryLanguage) {
    std::vector<Verdict> verdicts;
    // One input that raises every code and variant at once.
    std::vector<std::function<void(DiagnosisInput&)>> causes = {
        [](DiagnosisInput& in) {
            in.search.adapters[0].group_socket = false;
            in.search.adapters[0].group_bind_error = EADDRINUSE;
            in.holders.holders = {{7, "holder"}};
        },
        [](DiagnosisInput& in) { in.search.adapters[0].group_bind_error = EADDRINUSE; },
        [](DiagnosisInput& in) {
            in.search.adapters[0].send_errors = 1;
            in.search.adapters[0].last_send_error = EPERM;
        },
        [](DiagnosisInput& in) { in.search.adapters[0].own_browse_seen = false; },
        [](DiagnosisInput& in) {
            in.system.adapters[0].hw_addr_len = 0;
            in.search.adapters.clear();
        },
        [](DiagnosisInput& in) {
            in.system.adapters.clear();
            in.search.adapters.clear();
        },
        [](DiagnosisInput& in) {
            AddAdapter(in, Adapter("tun0", "10.8.0.2", 0), LinkKind::kTun, false);
            in.system.routes[0] = DefaultVia("tun0");
        },
        [](DiagnosisInput& in) {
            in.system.routes.erase(in.system.routes.begin());
            in.system.interfaces[0].rp_filter = 1;
        },
        [](DiagnosisInput& in) { in.system.firewall.nft_drop_rule = "inet filter input"; },
        [](DiagnosisInput& in) { in.system.firewall.ufw_enabled = Known::kYes; },
        [](DiagnosisInput& in) { in.system.firewall.firewalld_running = Known::kYes; },
        [](DiagnosisInput& in) {
            in.system.firewall.root = false;
            in.system.firewall.nft_read = false;
        },
        [](DiagnosisInput& in) { in.system.firewall.nft_result = RulesetRead::kTooLarge; },
        [](DiagnosisInput& in) { in.system.firewall.nft_result = RulesetRead::kTooSlow; },
        [](DiagnosisInput& in) { in.system.interfaces[0].kind = LinkKind::kWireless; },
        [](DiagnosisInput& in) { in.receive_errors_after = 200; },
        [](DiagnosisInput& in) {
            in.search.adapters[0].not_device_count = 1;
            in.search.adapters[0].not_device_senders = {"10.0.0.9"};
        },
    };
    std::vector<bool> seen(kDiagnosisTextCount, false);
    for (const auto& cause : causes) {
        DiagnosisInput in = Healthy();
        cause(in);
        in.system.verdicts = JudgeAdapters(in.system.adapters);
        for (Verdict& v : Diagnose(in)) {
            seen[static_cast<std::size_t>(TextIdOf(v))] = true;
            verdicts.push_back(std::move(v));
        }
    }
    for (std::size_t id = 0; id < kDiagnosisTextCount; ++id) {
        EXPECT_TRUE(seen[id]) << "no cause above raises text " << id;
    }
    UiStrings strings("/nonexistent/setting.cfg");
    std::vector<std::u16string> english_lines;
    for (const LanguageId language :
         {kEnglish, kTraditionalChinese, kSimplifiedChinese, kJapanese}) {
        strings.BuildLanguage(language);
        EXPECT_FALSE(strings.Diagnosis.why_label.empty());
        EXPECT_FALSE(strings.Diagnosis.box_title.empty());
        for (const Verdict& v : verdicts) {
            const std::string where =
                std::string(VerdictCodeName(v.code)) + " in language " + std::to_string(language);
            const std::u16string line = DiagnosisLine(strings, v);
            const std::u16string summary = DiagnosisSummary(strings, v);
            const std::u16string fix = DiagnosisFix(strings, v);
            EXPECT_FALSE(line.empty()) << where;
            EXPECT_EQ(line.find(u'{'), std::u16string::npos) << where;
            EXPECT_EQ(summary.find(u'{'), std::u16string::npos) << text::ToUtf8(summary);
            EXPECT_EQ(fix.find(u'{'), std::u16string::npos) << text::ToUtf8(fix);
            // No placeholder filled with an empty list.
            for (const std::u16string_view empty : {u": .", u"：。", u": ;", u"()"}) {
                EXPECT_EQ(summary.find(empty), std::u16string::npos) << text::ToUtf8(summary);
            }
            // The port's holder is named by its program, not by the adapter.
            const std::string iface =
                v.code == VerdictCode::kPortBusy ? std::string() : v.Value("interface");
            if (!iface.empty()) {
                EXPECT_NE(text::ToUtf8(summary).find(iface), std::string::npos) << where;
            }
            if (language == kEnglish) {
                english_lines.push_back(line);
            } else {
                EXPECT_EQ(std::count(english_lines.begin(), english_lines.end(), line), 0)
                    << "untranslated: " << where;
            }
        }
    }
}

TEST(DiagnosisTexts, ValuesFromTheSystemCannotBreakTheText) {
    Verdict v{VerdictCode::kPortBusy,
              VerdictVariant::kPlain,
              {{"port", "8888"}, {"program", "evil\n<b>\u202e{pid}"}, {"pid", "1"}}};
    UiStrings strings("/nonexistent/setting.cfg");
    const std::string summary = text::ToUtf8(DiagnosisSummary(strings, v));
    EXPECT_EQ(summary.find('\n'), std::string::npos) << summary;
    EXPECT_EQ(summary.find('<'), std::string::npos) << summary;
    EXPECT_EQ(summary.find("\u202e"), std::string::npos) << summary;
    // A value reading "{pid}" stays as it is: one pass.
    EXPECT_NE(summary.find("{pid}"), std::string::npos) << summary;
}

}  // namespace
}  // namespace orvandel
