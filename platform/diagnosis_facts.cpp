#include "platform/diagnosis_facts.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/mini_json.h"
#include "platform/unique_fd.h"

extern char** environ;

namespace orvandel {

namespace {

// Files of /proc and /sys report no size; read up to `limit` bytes.
std::string ReadSmallFile(const std::string& path, std::size_t limit = 1 << 20) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    // Read a piece at a time: most of these files are a few hundred bytes, and a
    // buffer of the whole limit would be a megabyte of fresh pages each time.
    constexpr std::size_t kPiece = 4096;
    std::string text;
    while (text.size() < limit && in) {
        const std::size_t have = text.size();
        text.resize(have + std::min(kPiece, limit - have));
        in.read(text.data() + have, static_cast<std::streamsize>(text.size() - have));
        text.resize(have + static_cast<std::size_t>(in.gcount()));
    }
    return text;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Interface names come from the system, but they still end up in paths.
bool SafeName(const std::string& name) {
    return !name.empty() && name.size() < IFNAMSIZ && name.find('/') == std::string::npos &&
           name != "." && name != "..";
}

int ReadInt(const std::string& path, int fallback) {
    const std::string text = ReadSmallFile(path, 64);
    if (text.empty()) {
        return fallback;
    }
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 0);
    return end == text.c_str() ? fallback : static_cast<int>(value);
}

std::uint32_t Hex32(std::string_view text) {
    return static_cast<std::uint32_t>(std::strtoul(std::string(text).c_str(), nullptr, 16));
}

// /proc/net/route stores addresses in network order printed as a host-order word.
std::uint32_t FromRouteWord(std::uint32_t word) {
    std::uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
        out = (out << 8) | ((word >> (8 * i)) & 0xFF);
    }
    return out;
}

std::vector<std::string> Fields(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    std::string field;
    while (in >> field) {
        out.push_back(field);
    }
    return out;
}

InterfaceFacts ReadInterface(const std::string& name, int rp_all) {
    InterfaceFacts facts;
    facts.name = name;
    int link_type = -1;
    std::string driver;
    UniqueFd probe(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (probe.Valid() && name.size() < IFNAMSIZ) {
        ifreq request{};
        std::memcpy(request.ifr_name, name.c_str(), name.size());
        if (::ioctl(probe.Get(), SIOCGIFFLAGS, &request) == 0) {
            facts.multicast = (request.ifr_flags & IFF_MULTICAST) != 0;
        }
        if (::ioctl(probe.Get(), SIOCGIFHWADDR, &request) == 0) {
            link_type = request.ifr_hwaddr.sa_family;
        }
        ethtool_drvinfo info{};
        info.cmd = ETHTOOL_GDRVINFO;
        request.ifr_data = reinterpret_cast<char*>(&info);
        if (::ioctl(probe.Get(), SIOCETHTOOL, &request) == 0) {
            driver.assign(info.driver, strnlen(info.driver, sizeof info.driver));
        }
    }
    if (SafeName(name)) {
        const std::string sys = "/sys/class/net/" + name;
        facts.kind = ClassifyLink(driver, link_type, ReadSmallFile(sys + "/uevent", 4096),
                                  Exists(sys + "/wireless") || Exists(sys + "/phy80211"),
                                  Exists(sys + "/tun_flags"), name);
        const int own = ReadInt("/proc/sys/net/ipv4/conf/" + name + "/rp_filter", -1);
        facts.rp_filter = own < 0 || rp_all < 0 ? -1 : std::max(own, rp_all);
    }
    return facts;
}

// `nft -j list ruleset`, from the first of the usual places that has it.
ToolOutput RunNft() {
    for (const char* path : {"/usr/sbin/nft", "/sbin/nft", "/usr/bin/nft"}) {
        if (::access(path, X_OK) == 0) {
            return RunBoundedTool({path, "-j", "list", "ruleset"}, kNftOutputLimit,
                                  kNftTimeLimitMs);
        }
    }
    return {};
}

bool FirewalldRunning() {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return false;
    }
    bool found = false;
    while (dirent* entry = ::readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) {
            continue;
        }
        std::string comm = ReadSmallFile(std::string("/proc/") + entry->d_name + "/comm", 64);
        if (comm == "firewalld\n") {
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

FirewallFacts ReadFirewall(std::uint16_t port) {
    FirewallFacts facts;
    facts.root = ::geteuid() == 0;
    const std::string conf = ReadSmallFile("/etc/ufw/ufw.conf", 64 * 1024);
    facts.ufw_enabled = ParseUfwEnabled(conf) ? Known::kYes : Known::kNo;
    if (facts.ufw_enabled == Known::kYes) {
        std::ifstream rules("/etc/ufw/user.rules");
        if (rules) {
            facts.ufw_allows = ParseUfwAllows(ReadSmallFile("/etc/ufw/user.rules"), port)
                                   ? Known::kYes
                                   : Known::kNo;
        }
    }
    facts.firewalld_running = FirewalldRunning() ? Known::kYes : Known::kNo;
    const std::string modules = ReadSmallFile("/proc/modules");
    facts.netfilter_loaded = Exists("/sys/module/nf_tables") || Exists("/sys/module/ip_tables") ||
                             modules.find("nf_tables ") != std::string::npos ||
                             modules.find("ip_tables ") != std::string::npos;
    if (facts.root) {
        ToolOutput nft = RunNft();
        facts.nft_result = nft.result;
        facts.nft_bytes_read = nft.bytes_read;
        if (nft.result == RulesetRead::kRead) {
            if (const auto drop = ParseNftDrop(nft.text, port)) {
                facts.nft_read = true;
                facts.nft_drop_rule = *drop;
            } else {
                facts.nft_result = RulesetRead::kFailed;
            }
        }
    }
    return facts;
}

}  // namespace

ToolOutput RunBoundedTool(const std::vector<std::string>& argv, std::size_t limit, int time_ms) {
    ToolOutput out;
    if (argv.empty()) {
        return out;
    }
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
        return out;
    }
    UniqueFd read_end(pipe_fds[0]);
    UniqueFd write_end(pipe_fds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, write_end.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> words = argv;
    std::vector<char*> args;
    for (std::string& word : words) {
        args.push_back(word.data());
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    write_end.Reset();
    if (spawned != 0) {
        return out;
    }
    // One deadline for the whole read: a tool that trickles must not hold the
    // search's result any longer than one that hangs.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(time_ms);
    RulesetRead ended = RulesetRead::kRead;
    char buffer[8192];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{read_end.Get(), POLLIN, 0};
        const int rc = left > 0 ? ::poll(&p, 1, static_cast<int>(left)) : 0;
        if (rc < 0 && errno == EINTR) {
            continue;
        }
        if (rc <= 0) {
            ended = rc == 0 ? RulesetRead::kTooSlow : RulesetRead::kFailed;
            break;
        }
        const ssize_t n = ::read(read_end.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        out.bytes_read += static_cast<std::size_t>(n);
        if (out.text.size() + static_cast<std::size_t>(n) > limit) {
            ended = RulesetRead::kTooLarge;
            break;
        }
        out.text.append(buffer, static_cast<std::size_t>(n));
    }
    if (ended != RulesetRead::kRead) {
        ::kill(pid, SIGKILL);
        out.text.clear();
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (ended == RulesetRead::kRead &&
        (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || out.text.empty())) {
        ended = RulesetRead::kFailed;
        out.text.clear();
    }
    out.result = ended;
    return out;
}

bool IsVpnKind(LinkKind kind) {
    return kind == LinkKind::kTun || kind == LinkKind::kWireGuard || kind == LinkKind::kPpp ||
           kind == LinkKind::kTunnel;
}

std::string_view LinkKindName(LinkKind kind) {
    switch (kind) {
        case LinkKind::kEthernet:
            return "ethernet";
        case LinkKind::kWireless:
            return "wireless";
        case LinkKind::kTun:
            return "tun";
        case LinkKind::kWireGuard:
            return "wireguard";
        case LinkKind::kPpp:
            return "ppp";
        case LinkKind::kTunnel:
            return "tunnel";
        case LinkKind::kOther:
            return "other";
    }
    return "other";
}

LinkKind ClassifyLink(std::string_view driver, int arphrd_type, std::string_view uevent,
                      bool wireless, bool tun, std::string_view name) {
    if (driver == "wireguard" || uevent.find("DEVTYPE=wireguard") != std::string_view::npos ||
        name.starts_with("wg")) {
        return LinkKind::kWireGuard;
    }
    if (wireless || uevent.find("DEVTYPE=wlan") != std::string_view::npos) {
        return LinkKind::kWireless;
    }
    if (driver == "tun" || tun || name.starts_with("tun") || name.starts_with("tap")) {
        return LinkKind::kTun;
    }
    if (arphrd_type == ARPHRD_PPP || name.starts_with("ppp")) {
        return LinkKind::kPpp;
    }
    if (arphrd_type == ARPHRD_TUNNEL || arphrd_type == ARPHRD_SIT || arphrd_type == ARPHRD_IPGRE ||
        arphrd_type == ARPHRD_NONE || name.starts_with("ipsec") || name.starts_with("vti") ||
        name.starts_with("xfrm")) {
        return LinkKind::kTunnel;
    }
    if (arphrd_type == ARPHRD_ETHER) {
        return LinkKind::kEthernet;
    }
    return LinkKind::kOther;
}

std::vector<RouteRow> ParseRouteTable(std::string_view text) {
    std::vector<RouteRow> rows;
    std::istringstream in{std::string(text)};
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        const auto f = Fields(line);
        // Iface Destination Gateway Flags RefCnt Use Metric Mask ...
        if (f.size() < 8) {
            continue;
        }
        const std::uint32_t flags = Hex32(f[3]);
        if ((flags & 0x1) == 0) {  // RTF_UP
            continue;
        }
        RouteRow row;
        row.interface_name = f[0];
        row.destination = FromRouteWord(Hex32(f[1]));
        row.gateway = FromRouteWord(Hex32(f[2]));
        row.metric = std::atoi(f[6].c_str());
        row.mask = FromRouteWord(Hex32(f[7]));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string DefaultRouteInterface(const std::vector<RouteRow>& routes) {
    const RouteRow* best = nullptr;
    for (const RouteRow& row : routes) {
        if (row.mask == 0 && row.destination == 0 &&
            (best == nullptr || row.metric < best->metric)) {
            best = &row;
        }
    }
    return best != nullptr ? best->interface_name : std::string();
}

std::string RouteInterface(const std::vector<RouteRow>& routes, std::uint32_t address) {
    const RouteRow* best = nullptr;
    for (const RouteRow& row : routes) {
        if ((address & row.mask) != (row.destination & row.mask)) {
            continue;
        }
        if (best == nullptr || row.mask > best->mask ||
            (row.mask == best->mask && row.metric < best->metric)) {
            best = &row;
        }
    }
    return best != nullptr ? best->interface_name : std::string();
}

std::optional<std::uint64_t> ParseUdpReceiveErrors(std::string_view snmp) {
    std::istringstream in{std::string(snmp)};
    std::string names;
    std::string values;
    while (std::getline(in, names)) {
        if (!names.starts_with("Udp: ") || !std::getline(in, values)) {
            continue;
        }
        const auto n = Fields(names);
        const auto v = Fields(values);
        for (std::size_t i = 1; i < n.size() && i < v.size(); ++i) {
            if (n[i] == "RcvbufErrors") {
                return std::strtoull(v[i].c_str(), nullptr, 10);
            }
        }
    }
    return std::nullopt;
}

std::vector<std::uint64_t> ParseUdpInodes(std::string_view text, std::uint16_t port) {
    std::vector<std::uint64_t> inodes;
    std::istringstream in{std::string(text)};
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode
        const auto f = Fields(line);
        if (f.size() < 10) {
            continue;
        }
        const std::size_t colon = f[1].find(':');
        if (colon == std::string::npos || Hex32(f[1].substr(colon + 1)) != port) {
            continue;
        }
        const std::uint64_t inode = std::strtoull(f[9].c_str(), nullptr, 10);
        if (inode != 0) {
            inodes.push_back(inode);
        }
    }
    return inodes;
}

bool ParseUfwEnabled(std::string_view conf) {
    std::istringstream in{std::string(conf)};
    std::string line;
    while (std::getline(in, line)) {
        line.erase(std::remove(line.begin(), line.end(), ' '), line.end());
        if (line == "ENABLED=yes" || line == "ENABLED=\"yes\"") {
            return true;
        }
    }
    return false;
}

bool ParseUfwAllows(std::string_view rules, std::uint16_t port) {
    // "### tuple ### allow udp 8888 0.0.0.0/0 any 0.0.0.0/0 in"
    std::istringstream in{std::string(rules)};
    std::string line;
    const std::string wanted = std::to_string(port);
    while (std::getline(in, line)) {
        if (!line.starts_with("### tuple ###")) {
            continue;
        }
        const auto f = Fields(line.substr(13));
        if (f.size() >= 3 && f[0] == "allow" && (f[1] == "udp" || f[1] == "any") &&
            (f[2] == wanted || f[2] == "any")) {
            return true;
        }
    }
    return false;
}

namespace {

// A number, set or range on the right of a match covers `port`.
bool CoversPort(const JsonValue& right, std::uint16_t port) {
    if (right.type == JsonValue::Type::kNumber) {
        return right.number == port;
    }
    if (const JsonValue* set = right.Get("set")) {
        return std::any_of(set->items.begin(), set->items.end(),
                           [port](const JsonValue& item) { return CoversPort(item, port); });
    }
    if (right.type == JsonValue::Type::kArray) {
        return std::any_of(right.items.begin(), right.items.end(),
                           [port](const JsonValue& item) { return CoversPort(item, port); });
    }
    if (const JsonValue* range = right.Get("range")) {
        return range->items.size() == 2 && range->items[0].number <= port &&
               range->items[1].number >= port;
    }
    return false;
}

enum class RuleVerdict { kNone, kDrop, kAccept };

// What a rule does to a new UDP datagram to `port` arriving from a device: a rule
// whose matches that datagram meets for certain, and that ends in a verdict.
// Matches on anything else (source, interface) make the rule uncertain: ignored.
RuleVerdict JudgeRule(const JsonValue& rule, std::uint16_t port) {
    const JsonValue* expr = rule.Get("expr");
    if (expr == nullptr) {
        return RuleVerdict::kNone;
    }
    RuleVerdict verdict = RuleVerdict::kNone;
    for (const JsonValue& e : expr->items) {
        if (const JsonValue* match = e.Get("match")) {
            const JsonValue* left = match->Get("left");
            const JsonValue* right = match->Get("right");
            const JsonValue* op = match->Get("op");
            if (left == nullptr || right == nullptr) {
                return RuleVerdict::kNone;
            }
            const bool equal = op == nullptr || op->IsString("==") || op->IsString("in");
            const JsonValue* payload = left->Get("payload");
            const JsonValue* meta = left->Get("meta");
            const JsonValue* ct = left->Get("ct");
            if (payload != nullptr && payload->Get("field") != nullptr &&
                payload->Get("field")->IsString("dport") && payload->Get("protocol") != nullptr &&
                (payload->Get("protocol")->IsString("udp") ||
                 payload->Get("protocol")->IsString("th"))) {
                if (!equal || !CoversPort(*right, port)) {
                    return RuleVerdict::kNone;
                }
            } else if (meta != nullptr && meta->Get("key") != nullptr &&
                       (meta->Get("key")->IsString("l4proto") ||
                        meta->Get("key")->IsString("protocol"))) {
                if (!equal || !(right->IsString("udp") || right->number == 17)) {
                    return RuleVerdict::kNone;
                }
            } else if (payload != nullptr && payload->Get("field") != nullptr &&
                       payload->Get("field")->IsString("protocol")) {
                if (!equal || !(right->IsString("udp") || right->number == 17)) {
                    return RuleVerdict::kNone;
                }
            } else if (ct != nullptr && ct->Get("key") != nullptr &&
                       ct->Get("key")->IsString("state")) {
                // A reply to a multicast browse is not tracked as part of it: "new".
                const bool has_new =
                    right->IsString("new") ||
                    (right->type == JsonValue::Type::kArray &&
                     std::any_of(right->items.begin(), right->items.end(),
                                 [](const JsonValue& v) { return v.IsString("new"); })) ||
                    (right->Get("set") != nullptr &&
                     std::any_of(right->Get("set")->items.begin(), right->Get("set")->items.end(),
                                 [](const JsonValue& v) { return v.IsString("new"); }));
                if (equal != has_new) {
                    return RuleVerdict::kNone;
                }
            } else {
                return RuleVerdict::kNone;
            }
        } else if (e.Get("drop") != nullptr || e.Get("reject") != nullptr) {
            verdict = RuleVerdict::kDrop;
        } else if (e.Get("accept") != nullptr) {
            verdict = RuleVerdict::kAccept;
        }
    }
    return verdict;
}

}  // namespace

std::optional<std::string> ParseNftDrop(std::string_view json, std::uint16_t port) {
    const auto document = ParseJson(json);
    const JsonValue* list = document ? document->Get("nftables") : nullptr;
    if (list == nullptr || list->type != JsonValue::Type::kArray) {
        return std::nullopt;
    }
    // Input-hook chains by "family/table/chain", with their policy.
    struct Chain {
        std::string key;
        bool policy_drop = false;
        RuleVerdict first = RuleVerdict::kNone;  // the first rule with a verdict for us
    };
    std::vector<Chain> chains;
    auto key_of = [](const JsonValue& v, const char* chain_field) {
        const JsonValue* family = v.Get("family");
        const JsonValue* table = v.Get("table");
        const JsonValue* chain = v.Get(chain_field);
        if (family == nullptr || table == nullptr || chain == nullptr) {
            return std::string();
        }
        return family->text + "/" + table->text + "/" + chain->text;
    };
    for (const JsonValue& item : list->items) {
        if (const JsonValue* chain = item.Get("chain")) {
            const JsonValue* hook = chain->Get("hook");
            if (hook != nullptr && hook->IsString("input")) {
                const JsonValue* policy = chain->Get("policy");
                chains.push_back(
                    {key_of(*chain, "name"), policy != nullptr && policy->IsString("drop")});
            }
        } else if (const JsonValue* rule = item.Get("rule")) {
            const std::string key = key_of(*rule, "chain");
            auto it = std::find_if(chains.begin(), chains.end(),
                                   [&](const Chain& c) { return c.key == key; });
            if (it != chains.end() && it->first == RuleVerdict::kNone) {
                it->first = JudgeRule(*rule, port);
            }
        }
    }
    for (const Chain& chain : chains) {
        if (chain.first == RuleVerdict::kDrop ||
            (chain.first == RuleVerdict::kNone && chain.policy_drop)) {
            // "inet/filter/input" -> "inet filter input"
            std::string shown = chain.key;
            std::replace(shown.begin(), shown.end(), '/', ' ');
            return shown;
        }
    }
    return std::string();
}

SystemFacts GatherSystemFacts(std::vector<AdapterRecord> adapters, std::uint16_t port) {
    SystemFacts facts;
    facts.verdicts = JudgeAdapters(adapters);
    const int rp_all = ReadInt("/proc/sys/net/ipv4/conf/all/rp_filter", -1);
    for (const AdapterRecord& record : adapters) {
        facts.interfaces.push_back(ReadInterface(record.name, rp_all));
    }
    facts.adapters = std::move(adapters);
    facts.routes = ParseRouteTable(ReadSmallFile("/proc/thread-self/net/route"));
    facts.firewall = ReadFirewall(port);
    return facts;
}

std::optional<std::uint64_t> ReadUdpReceiveErrors() {
    return ParseUdpReceiveErrors(ReadSmallFile("/proc/thread-self/net/snmp"));
}

PortHolders FindPortHolders(std::uint16_t port) {
    PortHolders result;
    const auto inodes = ParseUdpInodes(ReadSmallFile("/proc/thread-self/net/udp"), port);
    if (inodes.empty()) {
        return result;
    }
    std::vector<std::string> wanted;
    for (std::uint64_t inode : inodes) {
        wanted.push_back("socket:[" + std::to_string(inode) + "]");
    }
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        result.complete = false;
        return result;
    }
    while (dirent* entry = ::readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) {
            continue;
        }
        const std::string base = std::string("/proc/") + entry->d_name;
        DIR* fds = ::opendir((base + "/fd").c_str());
        if (fds == nullptr) {
            result.complete = false;  // another user's process
            continue;
        }
        bool holds = false;
        while (dirent* fd = ::readdir(fds)) {
            char target[64] = {};
            const std::string link = base + "/fd/" + fd->d_name;
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            if (n > 0 &&
                std::find(wanted.begin(), wanted.end(),
                          std::string(target, static_cast<std::size_t>(n))) != wanted.end()) {
                holds = true;
                break;
            }
        }
        ::closedir(fds);
        if (holds) {
            std::string comm = ReadSmallFile(base + "/comm", 64);
            while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0')) {
                comm.pop_back();
            }
            result.holders.push_back({std::atoi(entry->d_name), comm});
        }
    }
    ::closedir(proc);
    return result;
}

}  // namespace orvandel
