// The finder against simulated devices over veth links in network namespaces.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <set>

#include "discovery/collection.h"
#include "discovery/reply_parser.h"
#include "discovery/search_engine.h"
#include "tools/devicesim/net_lab.h"

namespace orvandel {
namespace {

using sim::NetLab;
using sim::RunningSim;

void Pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

sim::SimOptions Devices(int count, int first = 0, bool unicast = false) {
    sim::SimOptions options;
    options.replies = sim::GenerateReplies(count, first);
    options.unicast = unicast;
    return options;
}

std::u16string SimIp(int n) {
    return u"10.200." + std::u16string(1, char16_t(u'0' + n / 250)) + u"." + [n] {
        std::u16string s;
        for (char c : std::to_string(n % 250 + 1)) {
            s.push_back(static_cast<char16_t>(c));
        }
        return s;
    }();
}

std::vector<std::u16string> Ips(const std::vector<DeviceInfo>& devices) {
    std::vector<std::u16string> out;
    for (const auto& d : devices) {
        out.push_back(d.ip);
    }
    return out;
}

// One search with the engine, ended by its own time-out.
std::vector<DeviceInfo> Search(SearchEngine& engine, int duration_ms) {
    std::atomic<bool> timed_out{false};
    engine.Start(SearchTiming{duration_ms, 175, 12}, nullptr,
                 [&](std::uint64_t) { timed_out = true; });
    for (int waited = 0; !timed_out && waited < duration_ms + 5000; waited += 10) {
        Pause(10);
    }
    engine.Stop();
    return engine.Collect();
}

std::vector<std::string> Replies(const DiscoveryTransport& transport) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < transport.ReplyCount(); ++i) {
        out.push_back(transport.GetReply(i));
    }
    return out;
}

std::size_t CountContaining(const std::vector<std::string>& replies, std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(replies.begin(), replies.end(),
                      [text](const std::string& r) { return r.find(text) != std::string::npos; }));
}

struct CliResult {
    int status = -1;
    std::string output;
};

// Runs the command-line finder in the finder namespace.
CliResult RunCli(const NetLab& lab, const std::string& args) {
    CliResult result;
    const std::string command = "ip netns exec " + lab.FinderNamespace() + " " + ORVANDEL_CLI_PATH +
                                " " + args + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.output.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class NetTest : public ::testing::Test {
protected:
    explicit NetTest(int links = 1) : links_(links) {}

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

    const int links_;
    NetLab lab_;
};

class TwoLinks : public NetTest {
protected:
    TwoLinks() : NetTest(2) {}
};

TEST_F(NetTest, DeviceAnsweringByMulticastIsFound) {
    RunningSim device(lab_, 1, Devices(1));
    ASSERT_TRUE(device.Ready());
    SearchEngine engine;
    const auto devices = Search(engine, 1200);
    EXPECT_EQ(engine.Adapters(), std::vector<std::string>{NetLab::FinderAddress(1)});
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].ip, SimIp(0));
    EXPECT_EQ(devices[0].device_name, u"Sim Device 0000");
    EXPECT_EQ(device.Commands(), 5u);
}

TEST_F(NetTest, DeviceAnsweringByUnicastIsFound) {
    RunningSim device(lab_, 1, Devices(1, 0, /*unicast=*/true));
    ASSERT_TRUE(device.Ready());
    SearchEngine engine;
    const auto devices = Search(engine, 1200);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].ip, SimIp(0));
}

TEST_F(TwoLinks, EachDeviceIsFoundOnceThroughItsOwnAdapter) {
    RunningSim first(lab_, 1, Devices(1, 0));
    RunningSim second(lab_, 2, Devices(1, 1));
    ASSERT_TRUE(first.Ready());
    ASSERT_TRUE(second.Ready());
    DiscoveryTransport transport;
    transport.EnumerateAdapters(SystemAdapters());
    ASSERT_EQ(transport.AdapterAddresses(),
              (std::vector<std::string>{NetLab::FinderAddress(1), NetLab::FinderAddress(2)}));
    transport.SetCommand(kBrowseCommand);
    transport.StartReceiving();
    transport.StartSending();
    Pause(800);
    transport.RequestStop();
    transport.StopSending();
    transport.StopReceiving();
    const auto replies = Replies(transport);
    // Five commands per link, five answers each; a group socket that also took the
    // other link's traffic would store every answer twice.
    EXPECT_EQ(first.Commands(), 5u);
    EXPECT_EQ(second.Commands(), 5u);
    EXPECT_EQ(CountContaining(replies, "Sim Device 0000"), 5u);
    EXPECT_EQ(CountContaining(replies, "Sim Device 0001"), 5u);
    EXPECT_EQ(CountContaining(replies, std::string(kBrowseCommand)), 10u);
    EXPECT_EQ(Ips(CollectDevices(replies)), (std::vector<std::u16string>{SimIp(0), SimIp(1)}));
}

TEST_F(TwoLinks, SendingClearedAfter150MsSendsTwoCommandsPerAdapter) {
    RunningSim first(lab_, 1, Devices(1, 0));
    RunningSim second(lab_, 2, Devices(1, 1));
    ASSERT_TRUE(first.Ready());
    ASSERT_TRUE(second.Ready());
    DiscoveryTransport transport;
    transport.EnumerateAdapters(SystemAdapters());
    transport.SetCommand(kBrowseCommand);
    transport.StartReceiving();
    transport.StartSending();
    Pause(150);
    transport.StopSending();
    Pause(300);
    EXPECT_EQ(first.Commands(), 2u);
    EXPECT_EQ(second.Commands(), 2u);
}

TEST_F(NetTest, RepliesCountForTheWholeWindowAndNotAfter) {
    // Devices 0 and 2 answer 4700 ms after the first command, devices 1 and 3 at
    // 5300 ms; 0 and 1 by multicast, 2 and 3 by unicast.
    sim::SimOptions multicast = Devices(2, 0);
    sim::SimOptions unicast = Devices(2, 2, /*unicast=*/true);
    for (auto* options : {&multicast, &unicast}) {
        options->answer_once = true;
        options->delays_ms = {4700, 5300};
    }
    RunningSim group_device(lab_, 1, multicast);
    RunningSim unicast_device(lab_, 1, unicast);
    ASSERT_TRUE(group_device.Ready());
    ASSERT_TRUE(unicast_device.Ready());
    DiscoveryTransport transport;
    transport.EnumerateAdapters(SystemAdapters());
    transport.SetCommand(kBrowseCommand);
    transport.StartReceiving();
    transport.StartSending();
    Pause(5700);  // the receive threads end by themselves at 5000 ms
    transport.RequestStop();
    transport.StopSending();
    transport.StopReceiving();
    EXPECT_EQ(Ips(CollectDevices(Replies(transport))),
              (std::vector<std::u16string>{SimIp(0), SimIp(2)}));
}

TEST_F(NetTest, TwoFindersAtOnceBothFindAMulticastDevice) {
    RunningSim device(lab_, 1, Devices(1));
    ASSERT_TRUE(device.Ready());
    SearchEngine engine;
    std::atomic<bool> timed_out{false};
    engine.Start(SearchTiming{2500, 175, 12}, nullptr, [&](std::uint64_t) { timed_out = true; });
    const CliResult other = RunCli(lab_, "--json --timeout 1500");
    while (!timed_out) {
        Pause(10);
    }
    engine.Stop();
    const auto devices = engine.Collect();
    EXPECT_EQ(other.status, 0) << other.output;
    EXPECT_NE(other.output.find("\"ip\": \"10.200.0.1\""), std::string::npos) << other.output;
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].ip, SimIp(0));
    EXPECT_EQ(device.Commands(), 10u);
}

TEST_F(NetTest, CliListsDevicesAsDataAndExitsByResult) {
    {
        sim::SimOptions options;
        options.replies = {
            sim::MakeReply("Den\x1b]0;owned\x07", "TR9100", "aa:bb:cc:dd:ee:ff", "10.77.1.2")};
        RunningSim device(lab_, 1, options);
        ASSERT_TRUE(device.Ready());
        const CliResult found = RunCli(lab_, "--timeout 800");
        EXPECT_EQ(found.status, 0);
        EXPECT_NE(found.output.find("MODEL"), std::string::npos) << found.output;
        EXPECT_NE(found.output.find("TR9100  Den\\x1B]0;owned\\x07  10.77.1.2  AA:BB:CC:DD:EE:FF"),
                  std::string::npos)
            << found.output;
        EXPECT_EQ(found.output.find('\x1b'), std::string::npos);
    }
    const CliResult none = RunCli(lab_, "--timeout 600");
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.output, "");  // the message goes to stderr
    EXPECT_EQ(RunCli(lab_, "--timeout nonsense").status, 2);
    const CliResult adapters = RunCli(lab_, "--adapters");
    EXPECT_EQ(adapters.status, 0);
    EXPECT_NE(adapters.output.find("lo  skipped: "), std::string::npos) << adapters.output;
    EXPECT_NE(adapters.output.find("  searched: " + NetLab::FinderAddress(1) + "\n"),
              std::string::npos)
        << adapters.output;
}

TEST_F(NetTest, FloodOfJunkKeepsEveryDeviceAndMemoryBounded) {
    sim::SimOptions options = Devices(50);
    options.min_delay_ms = 0;
    options.max_delay_ms = 50;
    // The flood follows the second command, after the answers to the first.
    options.junk_count = 20000;
    options.junk_on_command = 2;
    RunningSim devices(lab_, 1, options);
    ASSERT_TRUE(devices.Ready());
    DiscoveryTransport transport;
    transport.EnumerateAdapters(SystemAdapters());
    transport.SetCommand(kBrowseCommand);
    transport.StartReceiving();
    transport.StartSending();
    Pause(1500);
    transport.RequestStop();
    transport.StopSending();
    transport.StopReceiving();
    const auto replies = Replies(transport);
    EXPECT_LE(replies.size(), kMaxReplies);
    if (replies.size() == kMaxReplies) {
        EXPECT_GT(transport.DroppedReplies(), 0u);
    }
    std::cout << "stored " << replies.size() << ", dropped " << transport.DroppedReplies()
              << " over the bound\n";
    const auto found = CollectDevices(replies);
    std::set<std::u16string> ips;
    for (const auto& d : found) {
        ips.insert(d.ip);
    }
    EXPECT_EQ(ips.size(), 50u);
    EXPECT_EQ(found.size(), 50u);
}

}  // namespace
}  // namespace orvandel
