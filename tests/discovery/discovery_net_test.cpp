// The finder against simulated devices over veth links in network namespaces.
#include <sys/socket.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <set>

#include "discovery/collection.h"
#include "discovery/reachability.h"
#include "discovery/reply_parser.h"
#include "discovery/search_engine.h"
#include "platform/udp_socket.h"
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

// Empties the engine's store into the listed records.
std::vector<DeviceInfo> Records(SearchEngine& engine) {
    std::vector<DeviceInfo> records;
    for (FoundDevice& device : engine.CollectFound()) {
        records.push_back(std::move(device.record));
    }
    return records;
}

// One search with the engine, ended by its own time-out; `dropped` gets the
// store's drop count, which the collection resets.
std::vector<DeviceInfo> Search(SearchEngine& engine, int duration_ms,
                               std::size_t* dropped = nullptr) {
    std::atomic<bool> timed_out{false};
    engine.Start(SearchTiming{duration_ms, 175, 12}, nullptr,
                 [&](std::uint64_t) { timed_out = true; });
    for (int waited = 0; !timed_out && waited < duration_ms + 5000; waited += 10) {
        Pause(10);
    }
    engine.Stop();
    if (dropped != nullptr) {
        *dropped = engine.DroppedReplies();
    }
    return Records(engine);
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
    // Five commands per link, five answers each, stored once each; the commands
    // that come back have no ip and are not stored.
    EXPECT_EQ(first.Commands(), 5u);
    EXPECT_EQ(second.Commands(), 5u);
    EXPECT_EQ(CountContaining(replies, "Sim Device 0000"), 1u);
    EXPECT_EQ(CountContaining(replies, "Sim Device 0001"), 1u);
    EXPECT_EQ(CountContaining(replies, std::string(kBrowseCommand)), 0u);
    EXPECT_EQ(Ips(CollectDevices(replies)), (std::vector<std::u16string>{SimIp(0), SimIp(1)}));
    // Each reply came in on its own link's adapter only: the group sockets do not
    // hear the other link's multicast.
    ASSERT_EQ(replies.size(), 2u);
    for (std::size_t i = 0; i < replies.size(); ++i) {
        const std::size_t link = replies[i].find("Sim Device 0000") != std::string::npos ? 0 : 1;
        EXPECT_EQ(transport.GetReplyOrigin(i).adapters, std::vector<std::size_t>{link})
            << "reply " << i;
    }
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
    const auto devices = Records(engine);
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

TEST_F(NetTest, LabelledAddressIsSearchedAndLoopbackIsNot) {
    const std::string link = lab_.FinderInterface(1);
    ASSERT_TRUE(NetLab::Ip(lab_.FinderNamespace(), "addr flush dev " + link));
    ASSERT_TRUE(NetLab::Ip(
        lab_.FinderNamespace(),
        "addr add " + NetLab::FinderAddress(1) + "/24 dev " + link + " label " + link + ":0"));
    ASSERT_TRUE(NetLab::Ip(lab_.FinderNamespace(), "addr add 10.66.0.1/8 dev lo"));
    // The device answers with its ip as a one-element array.
    sim::SimOptions options;
    options.replies = {
        "{\"device_name\": \"Arr\", \"id\": \"02:00:00:00:00:19\", "
        "\"ip\": [\"10.0.0.19\"]}"};
    RunningSim device(lab_, 1, options);
    ASSERT_TRUE(device.Ready());
    SearchEngine engine;
    const auto devices = Search(engine, 900);
    EXPECT_EQ(engine.Adapters(), std::vector<std::string>{NetLab::FinderAddress(1)});
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].ip, u"10.0.0.19");
    EXPECT_EQ(devices[0].device_name, u"Arr");
    const CliResult adapters = RunCli(lab_, "--adapters");
    EXPECT_NE(adapters.output.find("lo  skipped: loopback"), std::string::npos) << adapters.output;
}

// Sends `bytes` from the device side of `link` to each of `to`, port 8888, every
// 50 ms while it exists: a device that answers nobody's command on a link that is
// not searched. The lab joins the sending thread at its own end, after the test's
// scope, so the thread shares its stop flag instead of borrowing one.
class Broadcaster {
public:
    Broadcaster(NetLab& lab, int link, std::string bytes, std::vector<std::string> to) {
        lab.RunIn(lab.DeviceNamespace(link), [=, stop = stop_](bool entered) {
            UniqueFd socket = OpenAdapterSocket(NetLab::DeviceAddress(link), 0, 0);
            const int on = 1;
            setsockopt(socket.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
            while (entered && !*stop) {
                for (const std::string& address : to) {
                    SendDatagram(socket.Get(), address, kDiscoveryPort, bytes);
                }
                Pause(50);
            }
        });
    }
    ~Broadcaster() { *stop_ = true; }
    Broadcaster(const Broadcaster&) = delete;
    Broadcaster& operator=(const Broadcaster&) = delete;

private:
    std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
};

TEST_F(TwoLinks, BroadcastRepliesCountOnlyOnSearchedLinks) {
    // Link 2 is not searched: its name says "Virtual".
    const std::string link2 = lab_.FinderInterface(2);
    ASSERT_TRUE(NetLab::Ip(lab_.FinderNamespace(), "link set dev " + link2 + " down"));
    ASSERT_TRUE(NetLab::Ip(lab_.FinderNamespace(), "link set dev " + link2 + " name Virtual2"));
    ASSERT_TRUE(NetLab::Ip(lab_.FinderNamespace(), "link set dev Virtual2 up"));
    sim::SimOptions subnet = Devices(1, 0);
    subnet.answer_to = "10.77.1.255";
    sim::SimOptions limited = Devices(1, 1);
    limited.answer_to = "255.255.255.255";
    RunningSim by_subnet(lab_, 1, subnet);
    RunningSim by_limited(lab_, 1, limited);
    ASSERT_TRUE(by_subnet.Ready());
    ASSERT_TRUE(by_limited.Ready());
    const Broadcaster unsearched(lab_, 2, sim::GenerateReplies(1, 2).front(),
                                 {"10.77.2.255", "255.255.255.255"});
    // Two finders at once both get every broadcast.
    SearchEngine first;
    SearchEngine second;
    std::atomic<int> timed_out{0};
    first.Start(SearchTiming{900, 175, 12}, nullptr, [&](std::uint64_t) { ++timed_out; });
    second.Start(SearchTiming{900, 175, 12}, nullptr, [&](std::uint64_t) { ++timed_out; });
    for (int waited = 0; timed_out < 2 && waited < 5000; waited += 10) {
        Pause(10);
    }
    first.Stop();
    second.Stop();
    EXPECT_EQ(first.Adapters(), std::vector<std::string>{NetLab::FinderAddress(1)});
    for (SearchEngine* engine : {&first, &second}) {
        EXPECT_EQ(Ips(Records(*engine)), (std::vector<std::u16string>{SimIp(0), SimIp(1)}));
    }
}

TEST_F(NetTest, FloodsBeforeTheDevicesHideNone) {
    // 20,000 "{}" and 20,000 distinct junk datagrams right after the first command,
    // then 50 devices answering 50-400 ms after each command.
    sim::SimOptions empty;
    empty.junk = sim::SimOptions::Junk::kEmptyObject;
    empty.junk_count = 20000;
    sim::SimOptions junk;
    junk.junk_count = 20000;
    sim::SimOptions devices = Devices(50);
    devices.min_delay_ms = 50;
    devices.max_delay_ms = 400;
    RunningSim empty_flood(lab_, 1, empty);
    RunningSim junk_flood(lab_, 1, junk);
    RunningSim real(lab_, 1, devices);
    ASSERT_TRUE(empty_flood.Ready());
    ASSERT_TRUE(junk_flood.Ready());
    ASSERT_TRUE(real.Ready());
    SearchEngine engine;
    std::size_t dropped = 1;
    const auto found = Search(engine, 1500, &dropped);
    EXPECT_EQ(found.size(), 50u);
    EXPECT_EQ(dropped, 0u);  // junk is not stored, and is no reason to drop anything
}

TEST_F(NetTest, OneSenderOfFakeDevicesStoresOnlyItsQuota) {
    sim::SimOptions fakes;
    fakes.junk = sim::SimOptions::Junk::kWithIp;
    fakes.junk_count = 20000;
    sim::SimOptions devices = Devices(50);
    devices.sources = lab_.AddDeviceAddresses(1, 50);  // one address per device
    ASSERT_EQ(devices.sources.size(), 50u);
    devices.min_delay_ms = 50;
    devices.max_delay_ms = 400;
    RunningSim flooder(lab_, 1, fakes);
    RunningSim real(lab_, 1, devices);
    ASSERT_TRUE(flooder.Ready());
    ASSERT_TRUE(real.Ready());
    SearchEngine engine;
    std::size_t dropped = 0;
    const auto found = Search(engine, 1500, &dropped);
    std::size_t real_found = 0;
    std::size_t fake_found = 0;
    for (const auto& d : found) {
        (d.ip.starts_with(u"10.200.") ? real_found : fake_found) += 1;
    }
    EXPECT_EQ(real_found, 50u);
    EXPECT_GT(fake_found, 0u);
    EXPECT_LE(fake_found, kMaxRepliesPerSource);
    EXPECT_GT(dropped, 0u);  // still visible to the command-line finder
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

// A device on the finder's link for each verdict: one whose address is of another
// subnet, one with a self-chosen link-local address, two that share an address,
// one that claims the finder's own address and one that is fine. The finder's
// namespace gets a default route over the link, as a desktop has: without a route
// back to the odd sources the kernel drops their replies.
TEST_F(NetTest, EachDeviceIsJudgedFromWhereItsRepliesCame) {
    const std::string device_if = lab_.DeviceInterface(1);
    ASSERT_TRUE(NetLab::Ip(lab_.DeviceNamespace(1), "addr add 192.168.0.57/24 dev " + device_if));
    ASSERT_TRUE(NetLab::Ip(lab_.DeviceNamespace(1), "addr add 169.254.12.34/16 dev " + device_if));
    ASSERT_TRUE(
        NetLab::Ip(lab_.FinderNamespace(), "route add default dev " + lab_.FinderInterface(1)));
    sim::SimOptions options;
    options.replies = {sim::MakeReply("Other", "TR400", "0c:1a:2b:3c:4d:01", "192.168.0.57"),
                       sim::MakeReply("Fallback", "TR400", "0c:1a:2b:3c:4d:02", "169.254.12.34"),
                       sim::MakeReply("Twin A", "TR400", "0c:1a:2b:3c:4d:03", "10.77.1.50"),
                       sim::MakeReply("Twin B", "TR400", "0c:1a:2b:3c:4d:04", "10.77.1.50"),
                       sim::MakeReply("Mine", "TR400", "0c:1a:2b:3c:4d:05", "10.77.1.1"),
                       sim::MakeReply("Fine", "TR400", "0c:1a:2b:3c:4d:06", "10.77.1.2")};
    options.sources = {"192.168.0.57",           "169.254.12.34",
                       NetLab::DeviceAddress(1), NetLab::DeviceAddress(1),
                       NetLab::DeviceAddress(1), NetLab::DeviceAddress(1)};
    RunningSim device(lab_, 1, options);
    ASSERT_TRUE(device.Ready());
    SearchEngine engine;
    std::atomic<bool> timed_out{false};
    engine.Start(SearchTiming{1200, 175, 12}, nullptr, [&](std::uint64_t) { timed_out = true; });
    for (int waited = 0; !timed_out && waited < 6000; waited += 10) {
        Pause(10);
    }
    engine.Stop();
    const std::vector<FoundDevice> found = engine.CollectFound();
    std::vector<DeviceInfo> devices;
    std::vector<Reachability> verdicts;
    for (const FoundDevice& device : found) {
        devices.push_back(device.record);
        verdicts.push_back(device.verdict);
    }
    // Listed as the collection lists them: sorted by ip, the twins folded into one.
    ASSERT_EQ(Ips(devices), (std::vector<std::u16string>{u"10.77.1.1", u"10.77.1.2", u"10.77.1.50",
                                                         u"169.254.12.34", u"192.168.0.57"}));
    ASSERT_EQ(verdicts.size(), 5u);
    const AdapterAddress finder{lab_.FinderInterface(1), NetLab::FinderAddress(1), 24};
    const Reachability& own = verdicts[0];
    EXPECT_EQ(own.status, ReachStatus::kConflict);
    EXPECT_TRUE(own.own_address);
    EXPECT_EQ(own.conflict_count, 2);
    // It spoke for an address that is not its own.
    EXPECT_EQ(own.noted_sources, std::vector<std::string>{NetLab::DeviceAddress(1)});
    const Reachability& fine = verdicts[1];
    EXPECT_EQ(fine.status, ReachStatus::kOk);
    EXPECT_EQ(fine.adapters, AdapterList{finder});
    EXPECT_TRUE(fine.noted_sources.empty());
    EXPECT_EQ(verdicts[2].status, ReachStatus::kConflict);
    EXPECT_EQ(verdicts[2].conflict_count, 2);
    EXPECT_FALSE(verdicts[2].own_address);
    EXPECT_EQ(verdicts[3].status, ReachStatus::kLinkLocal);
    EXPECT_EQ(verdicts[4].status, ReachStatus::kOtherNetwork);
    EXPECT_EQ(verdicts[4].adapters, AdapterList{finder});
}

// The same bytes heard on two adapters are stored once, with both adapters and
// both senders: a device on two links is one device answering on both.
TEST_F(TwoLinks, RepeatOnASecondAdapterRecordsThatAdapter) {
    const std::string bytes = sim::MakeReply("Both", "TR400", "0c:1a:2b:3c:4d:01", "10.77.1.2");
    sim::SimOptions options;
    options.replies = {bytes};
    RunningSim first(lab_, 1, options);
    RunningSim second(lab_, 2, options);
    ASSERT_TRUE(first.Ready());
    ASSERT_TRUE(second.Ready());
    DiscoveryTransport transport;
    transport.EnumerateAdapters(SystemAdapters());
    ASSERT_EQ(transport.AdapterAddresses().size(), 2u);
    transport.SetCommand(kBrowseCommand);
    transport.StartReceiving();
    transport.StartSending();
    Pause(800);
    transport.RequestStop();
    transport.StopSending();
    transport.StopReceiving();
    ASSERT_EQ(transport.ReplyCount(), 1u);
    ReplyOrigin origin = transport.GetReplyOrigin(0);
    std::sort(origin.adapters.begin(), origin.adapters.end());
    EXPECT_EQ(origin.adapters, (std::vector<std::size_t>{0, 1}));
    std::vector<std::uint32_t> sources = origin.sources;
    std::sort(sources.begin(), sources.end());
    EXPECT_EQ(sources, (std::vector<std::uint32_t>{0x0A4D0102, 0x0A4D0202}));
    EXPECT_TRUE(transport.GetReplyOrigin(1).adapters.empty());
    // The store is emptied with its origins.
    transport.ClearReplies();
    EXPECT_TRUE(transport.GetReplyOrigin(0).sources.empty());
}

}  // namespace
}  // namespace orvandel
