// The diagnosis of a search that found nothing, each cause made for real in
// network namespaces that the test creates and removes (root only; SKIPPED
// otherwise). Every case has its control row: the same namespaces without the
// cause find the device, and the diagnosis, even asked as if nothing had answered,
// has no verdict at all.
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "discovery/diagnosis.h"
#include "discovery/search_engine.h"
#include "platform/unique_fd.h"
#include "tests/tools/cli/schema_check.h"
#include "tools/devicesim/net_lab.h"

namespace orvandel {
namespace {

using sim::NetLab;
using sim::RunningSim;

// Long enough for five commands and their answers on a veth link; each search
// then costs about half a second with the engine's stop pauses.
constexpr int kSearchMs = 300;

struct Outcome {
    std::size_t found = 0;
    std::vector<Verdict> verdicts;   // as the finder reports them
    std::vector<Verdict> as_silent;  // the rules asked as if nothing had answered
};

std::vector<std::string> Codes(const std::vector<Verdict>& verdicts) {
    std::vector<std::string> out;
    for (const Verdict& v : verdicts) {
        out.emplace_back(VerdictCodeName(v.code));
    }
    return out;
}

// Names the verdicts in a failure message.
std::string Shown(const std::vector<Verdict>& verdicts) {
    std::string out;
    for (const Verdict& v : verdicts) {
        out += std::string(VerdictCodeName(v.code)) + " {";
        for (const VerdictValue& value : v.values) {
            out += value.name + "=" + value.value + "; ";
        }
        out += "} ";
    }
    return out.empty() ? "no verdict" : out;
}

class DiagnosisNet : public ::testing::Test {
protected:
    explicit DiagnosisNet(int links = 1) : links_(links) {}

    void SetUp() override {
        const std::string why = NetLab::Unavailable();
        if (!why.empty()) {
            GTEST_SKIP() << "SKIPPED: " << why;
        }
        std::string error;
        if (!lab_.Create(links_, error)) {
            GTEST_SKIP() << "SKIPPED: " << error;
        }
        ASSERT_TRUE(lab_.EnterFinder());
    }

    // One search in the finder's namespace (the calling thread is in it), ended by
    // its own time-out, and the diagnosis of it.
    Outcome Search(TransportOptions options = {}) {
        SearchEngine engine(SystemAdapters(), SystemClock(), options);
        std::atomic<bool> timed_out{false};
        engine.Start(SearchTiming{kSearchMs, 50, 12}, nullptr,
                     [&](std::uint64_t) { timed_out = true; });
        for (int waited = 0; !timed_out && waited < kSearchMs + 5000; waited += 5) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        engine.Stop();
        Outcome out;
        out.found = engine.CollectFound().size();
        out.verdicts = engine.Diagnose(out.found);
        out.as_silent = engine.Diagnose(0);
        return out;
    }

    // A device on link `link` answering every command.
    std::unique_ptr<RunningSim> Device(int link = 1, sim::SimOptions options = {}) {
        if (options.replies.empty() && options.junk_count == 0) {
            options.replies = sim::GenerateReplies(1);
        }
        auto device = std::make_unique<RunningSim>(lab_, link, std::move(options));
        EXPECT_TRUE(device->Ready());
        return device;
    }

    // The control row: the device is found, and no rule holds even for a silent
    // network.
    void ExpectHealthy(const Outcome& out, std::size_t devices = 1) {
        EXPECT_EQ(out.found, devices);
        EXPECT_TRUE(out.verdicts.empty()) << Shown(out.verdicts);
        EXPECT_TRUE(out.as_silent.empty()) << Shown(out.as_silent);
    }

    bool Nft(const std::string& script) {
        const std::string command =
            "ip netns exec " + lab_.FinderNamespace() + " nft -f - >/dev/null 2>&1";
        FILE* nft = ::popen(command.c_str(), "w");
        if (nft == nullptr) {
            return false;
        }
        std::fputs(script.c_str(), nft);
        return ::pclose(nft) == 0;
    }

    // Writes a sysctl of the finder's namespace (/proc/sys/net follows the thread).
    static bool Sysctl(const std::string& name, const std::string& value) {
        std::string path = "/proc/sys/" + name;
        for (char& c : path) {
            if (c == '.') {
                c = '/';
            }
        }
        std::ofstream out(path);
        out << value;
        return static_cast<bool>(out.flush());
    }

    const int links_;
    NetLab lab_;
};

class DiagnosisNetTwoLinks : public DiagnosisNet {
protected:
    DiagnosisNetTwoLinks() : DiagnosisNet(2) {}
};

// A program holding 0.0.0.0:8888 without SO_REUSEADDR: the finder's binds fail with
// EADDRINUSE, and /proc names the holder (this test's own process).
TEST_F(DiagnosisNet, PortBusyNamesTheHolder) {
    const auto device = Device();
    ExpectHealthy(Search());

    UniqueFd holder(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(8888);
    ASSERT_EQ(::bind(holder.Get(), reinterpret_cast<const sockaddr*>(&any), sizeof any), 0);
    const Outcome busy = Search();
    EXPECT_EQ(busy.found, 0u);
    ASSERT_FALSE(busy.verdicts.empty());
    const Verdict& first = busy.verdicts.front();
    EXPECT_EQ(first.code, VerdictCode::kPortBusy) << Shown(busy.verdicts);
    EXPECT_EQ(first.variant, VerdictVariant::kPlain);
    EXPECT_EQ(first.Value("pid"), std::to_string(::getpid()));
    EXPECT_EQ(first.Value("interface"), lab_.FinderInterface(1));

    // The command-line finder says the same, and its JSON report is valid.
    const std::string command = "ip netns exec " + lab_.FinderNamespace() + " " +
                                ORVANDEL_CLI_PATH + " --diagnose --json --timeout=300 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string json;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        json.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_NE(json.find("\"code\": \"port-busy\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"pid\": \"" + std::to_string(::getpid()) + "\""), std::string::npos)
        << json;
    EXPECT_EQ(test::SchemaErrors({{".json", json}}), "");
}

// An nftables input rule dropping UDP 8888, read as root from the ruleset. The
// finder's own command is dropped on its way back too: the firewall alone is named.
TEST_F(DiagnosisNet, FirewallInputRuleDropsThePort) {
    const auto device = Device();
    ExpectHealthy(Search());

    ASSERT_TRUE(
        Nft("table inet orvtest {\n"
            "  chain in { type filter hook input priority 0; policy accept;\n"
            "    udp dport 8888 drop\n  }\n}\n"));
    const Outcome dropped = Search();
    EXPECT_EQ(dropped.found, 0u);
    EXPECT_EQ(Codes(dropped.verdicts), std::vector<std::string>{"firewall"})
        << Shown(dropped.verdicts);
    ASSERT_FALSE(dropped.verdicts.empty());
    EXPECT_EQ(dropped.verdicts[0].variant, VerdictVariant::kNftables);
    EXPECT_EQ(dropped.verdicts[0].Value("rule"), "inet orvtest in");

    // An accept rule before the drop lets the replies in, and the diagnosis agrees.
    ASSERT_TRUE(Nft("insert rule inet orvtest in udp dport 8888 accept\n"));
    ExpectHealthy(Search());
}

// The same drop behind 40,000 other rules: about 12 MB of `nft -j` output, past
// the reader's size (or, on a busy machine, its time). The firewall is named as
// unread, with what was seen, and no send failure in its place.
TEST_F(DiagnosisNet, FirewallRulesetPastTheReadersBounds) {
    std::string script =
        "table inet orvtest {\n  chain in { type filter hook input priority 0; policy accept;\n";
    for (int i = 0; i < 40000; ++i) {
        script += "    ip saddr 10." + std::to_string(i >> 16) + "." +
                  std::to_string((i >> 8) & 255) + "." + std::to_string(i & 255) +
                  " tcp dport 22 accept\n";
    }
    script += "    udp dport 8888 drop\n  }\n}\n";
    ASSERT_TRUE(Nft(script));
    const auto device = Device();
    const Outcome dropped = Search();
    EXPECT_EQ(dropped.found, 0u);
    ASSERT_EQ(Codes(dropped.verdicts), std::vector<std::string>{"firewall"})
        << Shown(dropped.verdicts);
    const Verdict& v = dropped.verdicts[0];
    EXPECT_TRUE(v.variant == VerdictVariant::kRulesTooLarge ||
                v.variant == VerdictVariant::kRulesTooSlow)
        << Shown(dropped.verdicts);
    EXPECT_GT(std::stoull(v.Value("read")), 0u) << Shown(dropped.verdicts);
}

// An output rule dropping the multicast command: every send is refused (EPERM).
TEST_F(DiagnosisNet, SendFailedWhenTheSystemRefusesTheCommand) {
    const auto device = Device();
    ExpectHealthy(Search());

    ASSERT_TRUE(
        Nft("table inet orvtest {\n"
            "  chain out { type filter hook output priority 0; policy accept;\n"
            "    ip daddr 234.8.8.8 drop\n  }\n}\n"));
    const Outcome refused = Search();
    EXPECT_EQ(refused.found, 0u);
    const std::size_t heard = device->Commands();  // the control row's only
    ASSERT_FALSE(refused.verdicts.empty());
    EXPECT_EQ(Codes(refused.verdicts), std::vector<std::string>{"send-failed"})
        << Shown(refused.verdicts);
    EXPECT_EQ(refused.verdicts[0].Value("error"), "EPERM");
    // Every send of the search was refused; the window ends before the fifth.
    EXPECT_GE(std::stoi(refused.verdicts[0].Value("count")), 3);
    EXPECT_EQ(device->Commands(), heard);
}

// A device in another subnet on the finder's link, no default route, rp_filter 1:
// the kernel drops its replies before any socket.
TEST_F(DiagnosisNet, ReversePathFilterDropsAnOffSubnetDevice) {
    ASSERT_TRUE(NetLab::Ip(lab_.DeviceNamespace(1),
                           "addr add 192.168.0.57/24 dev " + lab_.DeviceInterface(1)));
    sim::SimOptions options;
    options.replies = {sim::MakeReply("Other", "TR400", "02:00:00:00:00:01", "192.168.0.57")};
    options.sources = {"192.168.0.57"};
    const auto device = Device(1, options);
    const std::string iface = lab_.FinderInterface(1);
    ASSERT_TRUE(Sysctl("net.ipv4.conf.all.rp_filter", "0"));
    ASSERT_TRUE(Sysctl("net.ipv4.conf." + iface + ".rp_filter", "0"));
    ExpectHealthy(Search());

    ASSERT_TRUE(Sysctl("net.ipv4.conf." + iface + ".rp_filter", "1"));
    const Outcome filtered = Search();
    EXPECT_EQ(filtered.found, 0u);
    EXPECT_EQ(Codes(filtered.verdicts), std::vector<std::string>{"rp-filter"})
        << Shown(filtered.verdicts);
    ASSERT_FALSE(filtered.verdicts.empty());
    EXPECT_EQ(filtered.verdicts[0].Value("sysctl"), "net.ipv4.conf." + iface + ".rp_filter");
    EXPECT_EQ(filtered.verdicts[0].Value("value"), "1");

    // The fix the verdict names: a default route over the link.
    ASSERT_TRUE(NetLab::Ip(lab_.FinderNamespace(), "route add default dev " + iface));
    const Outcome routed = Search();
    EXPECT_EQ(routed.found, 1u);
    EXPECT_TRUE(routed.as_silent.empty()) << Shown(routed.as_silent);
}

// A tun device holds the default route and the LAN stays silent (a VPN that blocks
// it looks exactly so from here).
TEST_F(DiagnosisNet, VpnRouteWhenATunnelHoldsTheDefaultRoute) {
    const std::string ns = lab_.FinderNamespace();
    {
        const auto device = Device();
        ExpectHealthy(Search());
    }
    EXPECT_TRUE(Search().verdicts.empty());  // silent, but no VPN: nothing to name

    ASSERT_TRUE(NetLab::Ip(ns, "tuntap add dev orvtun0 mode tun"));
    ASSERT_TRUE(NetLab::Ip(ns, "addr add 10.8.0.2/24 dev orvtun0"));
    ASSERT_TRUE(NetLab::Ip(ns, "link set orvtun0 up"));
    ASSERT_TRUE(NetLab::Ip(ns, "route add default dev orvtun0"));
    const Outcome tunnelled = Search();
    EXPECT_EQ(tunnelled.found, 0u);
    EXPECT_EQ(Codes(tunnelled.verdicts), std::vector<std::string>{"vpn-route"})
        << Shown(tunnelled.verdicts);
    ASSERT_FALSE(tunnelled.verdicts.empty());
    EXPECT_EQ(tunnelled.verdicts[0].Value("interface"), "orvtun0");
    EXPECT_EQ(tunnelled.verdicts[0].Value("kind"), "tun");
}

// The link that leads to the device is named as a virtual adapter and holds the
// default route: the filter skips it, and the diagnosis says so with the reason.
TEST_F(DiagnosisNetTwoLinks, AdapterSkippedWhenTheDefaultRouteAdapterIsVirtualNamed) {
    const std::string ns = lab_.FinderNamespace();
    const std::string link2 = lab_.FinderInterface(2);
    ASSERT_TRUE(NetLab::Ip(ns, "route add default dev " + link2));
    const auto device = Device(2);
    ExpectHealthy(Search());

    ASSERT_TRUE(NetLab::Ip(ns, "link set " + link2 + " down"));
    ASSERT_TRUE(NetLab::Ip(ns, "link set " + link2 + " name VirtualLan0"));
    ASSERT_TRUE(NetLab::Ip(ns, "link set VirtualLan0 up"));
    ASSERT_TRUE(NetLab::Ip(ns, "route add default dev VirtualLan0"));
    const Outcome skipped = Search();
    EXPECT_EQ(skipped.found, 0u);
    EXPECT_EQ(Codes(skipped.verdicts), std::vector<std::string>{"adapter-skipped"})
        << Shown(skipped.verdicts);
    ASSERT_FALSE(skipped.verdicts.empty());
    EXPECT_EQ(skipped.verdicts[0].Value("interface"), "VirtualLan0");
    EXPECT_EQ(skipped.verdicts[0].Value("reason"), "name contains \"Virtual\"");
    // Put back, so that the lab removes what it made.
    ASSERT_TRUE(NetLab::Ip(ns, "link set VirtualLan0 down"));
    ASSERT_TRUE(NetLab::Ip(ns, "link set VirtualLan0 name " + link2));
}

// The only link is down: nothing is searched, and each adapter skipped is named.
TEST_F(DiagnosisNet, NoAdapterWhenTheOnlyLinkIsDown) {
    const auto device = Device();
    ExpectHealthy(Search());

    const std::string iface = lab_.FinderInterface(1);
    ASSERT_TRUE(NetLab::Ip(lab_.FinderNamespace(), "link set " + iface + " down"));
    const Outcome none = Search();
    EXPECT_EQ(none.found, 0u);
    EXPECT_EQ(Codes(none.verdicts), std::vector<std::string>{"no-adapter"}) << Shown(none.verdicts);
    ASSERT_FALSE(none.verdicts.empty());
    EXPECT_EQ(none.verdicts[0].Value("skipped"), iface + ": interface is down");
}

// A burst of answers into a small receive buffer: the kernel's drop counter rises.
TEST_F(DiagnosisNet, DroppedByKernelWhenABurstOverflowsTheBuffer) {
    // 60 devices: under the 64 replies the finder keeps of one sender address.
    // Each reply is padded to nearly the largest stored datagram, so that the
    // smallest buffer the kernel allows holds only a few: the burst overflows it
    // however quickly the receive thread wakes.
    sim::SimOptions options;
    options.replies = sim::GenerateReplies(60);
    for (std::string& reply : options.replies) {
        reply.insert(reply.rfind('}'),
                     ", \"note\": \"" + std::string(900 - reply.size(), 'x') + "\"");
    }
    const auto devices = Device(1, options);
    const Outcome roomy = Search();
    EXPECT_EQ(roomy.found, 60u);
    EXPECT_TRUE(roomy.as_silent.empty()) << Shown(roomy.as_silent);

    TransportOptions small;
    small.socket_receive_buffer = 1;  // the kernel's least
    const Outcome overflowed = Search(small);
    EXPECT_LT(overflowed.found, 60u);
    ASSERT_FALSE(overflowed.verdicts.empty());
    EXPECT_EQ(Codes(overflowed.verdicts), std::vector<std::string>{"dropped-by-kernel"})
        << Shown(overflowed.verdicts);
    EXPECT_GT(std::stoul(overflowed.verdicts[0].Value("count")), 0u);
}

// Something on the link answers port 8888 with datagrams that are no device
// replies: counted, with their sender.
TEST_F(DiagnosisNet, NotDevicesWhenOnlyOtherDatagramsArrive) {
    {
        const auto device = Device();
        ExpectHealthy(Search());
    }
    sim::SimOptions noise;
    noise.junk_count = 20;
    noise.junk = sim::SimOptions::Junk::kMixed;
    const auto other = Device(1, noise);
    const Outcome noisy = Search();
    EXPECT_EQ(noisy.found, 0u);
    EXPECT_EQ(Codes(noisy.verdicts), std::vector<std::string>{"not-devices"})
        << Shown(noisy.verdicts);
    ASSERT_FALSE(noisy.verdicts.empty());
    EXPECT_EQ(noisy.verdicts[0].Value("source"), NetLab::DeviceAddress(1));
    EXPECT_EQ(noisy.verdicts[0].Value("count"), "20");
}

}  // namespace
}  // namespace orvandel
