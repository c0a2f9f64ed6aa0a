// What this computer's side of a search looks like to the diagnosis that runs when
// nothing answered: interface kinds and flags, routes, reverse-path filter
// settings, the holder of the discovery port, the kernel's UDP drop counter and
// the host firewall. Every reader works on the calling thread's network namespace
// where the system allows it (/proc/thread-self/net, /proc/sys/net). Facts that
// need rights this process lacks are recorded as unknown, never guessed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/adapters.h"

namespace orvandel {

enum class Known { kNo, kYes, kUnknown };

// What kind of link an interface is; the VPN kinds carry traffic into a tunnel.
enum class LinkKind { kEthernet, kWireless, kTun, kWireGuard, kPpp, kTunnel, kOther };
bool IsVpnKind(LinkKind kind);
std::string_view LinkKindName(LinkKind kind);

struct InterfaceFacts {
    std::string name;
    LinkKind kind = LinkKind::kOther;
    bool multicast = true;  // IFF_MULTICAST
    // The filter in force on the interface: the larger of conf/all and
    // conf/<name> (0 off, 1 strict, 2 loose); -1 when it could not be read.
    int rp_filter = -1;
};

// One row of the main routing table (/proc/net/route), host byte order.
struct RouteRow {
    std::string interface_name;
    std::uint32_t destination = 0;
    std::uint32_t mask = 0;
    std::uint32_t gateway = 0;
    int metric = 0;
};

// How the attempt to read the nftables ruleset went.
enum class RulesetRead {
    kNotTried,  // no rights to read it
    kRead,
    kTooLarge,  // the tool printed more than kNftOutputLimit
    kTooSlow,   // the tool had not finished after kNftTimeLimitMs
    kFailed,    // no tool, a failed tool, or output that is no ruleset
};
inline constexpr std::size_t kNftOutputLimit = 8u << 20;
inline constexpr int kNftTimeLimitMs = 3000;

struct FirewallFacts {
    bool root = false;                   // rights to read the nftables ruleset
    Known ufw_enabled = Known::kNo;      // /etc/ufw/ufw.conf, world-readable
    Known ufw_allows = Known::kUnknown;  // the user rules allow the port (root-only file)
    Known firewalld_running = Known::kNo;
    // Whether the port is open in firewalld's zone: only its D-Bus service can say,
    // and it is not asked at run time.
    Known firewalld_allows = Known::kUnknown;
    bool nft_read = false;  // the ruleset was read (as root)
    RulesetRead nft_result = RulesetRead::kNotTried;
    std::size_t nft_bytes_read = 0;  // of the tool's output, also when it was cut off
    std::string nft_drop_rule;       // "table/chain" of an input rule dropping the port
    bool netfilter_loaded = false;   // nf_tables or ip_tables is in the kernel's module list
};

struct PortHolder {
    int pid = 0;
    std::string program;  // the process's command name
};

struct PortHolders {
    std::vector<PortHolder> holders;
    bool complete = true;  // false when some processes' descriptors could not be read
};

struct SystemFacts {
    std::vector<AdapterRecord> adapters;
    std::vector<AdapterVerdict> verdicts;    // JudgeAdapters(adapters), same order
    std::vector<InterfaceFacts> interfaces;  // same order as adapters
    std::vector<RouteRow> routes;
    FirewallFacts firewall;
};

// Everything above for these adapters (as the search saw them) and the port.
SystemFacts GatherSystemFacts(std::vector<AdapterRecord> adapters, std::uint16_t port);

// Udp RcvbufErrors of /proc/net/snmp in this thread's namespace.
std::optional<std::uint64_t> ReadUdpReceiveErrors();

// The processes that hold a UDP socket on `port` (any local address), from the
// socket inodes of /proc/net/udp and the descriptors of /proc/<pid>/fd.
PortHolders FindPortHolders(std::uint16_t port);

struct ToolOutput {
    RulesetRead result = RulesetRead::kFailed;
    std::string text;  // empty unless kRead
    std::size_t bytes_read = 0;
};

// Runs argv[0] (a full path) without a shell, stderr to /dev/null, and reads its
// output: at most `limit` bytes, for at most `time_ms` in all; a tool past either
// is killed. kRead only for a tool that exited 0 and printed something.
ToolOutput RunBoundedTool(const std::vector<std::string>& argv, std::size_t limit, int time_ms);

// --- The readers' pure parts, over the files' text.

std::vector<RouteRow> ParseRouteTable(std::string_view text);
// The interface of the default route with the lowest metric; empty when none.
std::string DefaultRouteInterface(const std::vector<RouteRow>& routes);
// The interface of the most specific route covering `address` (host order).
std::string RouteInterface(const std::vector<RouteRow>& routes, std::uint32_t address);
std::optional<std::uint64_t> ParseUdpReceiveErrors(std::string_view snmp);
// Socket inodes of /proc/net/udp rows whose local port is `port`.
std::vector<std::uint64_t> ParseUdpInodes(std::string_view text, std::uint16_t port);
// /etc/ufw/ufw.conf: ENABLED=yes.
bool ParseUfwEnabled(std::string_view conf);
// ufw's user rules: an "allow" tuple for the port over udp (or any protocol).
bool ParseUfwAllows(std::string_view rules, std::uint16_t port);
// `nft -j list ruleset`: "table/chain" of the first rule on an input-hook chain
// that drops or rejects UDP to `port`, or of an input chain whose policy is drop
// and that has no rule accepting it. Empty when nothing drops it; nullopt when the
// text is not a ruleset.
std::optional<std::string> ParseNftDrop(std::string_view json, std::uint16_t port);
// The link's kind from its driver's name (ethtool's, asked over a socket, so it
// follows the thread's namespace: "tun", "wireguard"), its ARPHRD type number,
// its /sys/class/net/<if>/uevent text, whether it has a wireless or tun folder
// there (sysfs shows the namespace it was mounted in), and its name.
LinkKind ClassifyLink(std::string_view driver, int arphrd_type, std::string_view uevent,
                      bool wireless, bool tun, std::string_view name);

}  // namespace orvandel
