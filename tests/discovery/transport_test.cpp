// The transport on loopback: what is stored, how often the command goes out, the
// reply store's bound, the receive window, and stopping and restarting.
#include <gtest/gtest.h>

#include "discovery/collection.h"
#include "discovery/discovery_transport.h"
#include "discovery/reply_parser.h"
#include "tests/discovery/test_support.h"
#include "tests/fakes/step_clock.h"

namespace orvandel {
namespace {

using test::Device;
using test::FixedAdapters;
using test::LoopbackAdapter;
using test::LoopbackOptions;
using test::WaitFor;

std::vector<std::string> AllReplies(const DiscoveryTransport& transport) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < transport.ReplyCount(); ++i) {
        out.push_back(transport.GetReply(i));
    }
    return out;
}

void Pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

class TransportTest : public ::testing::Test {
protected:
    FixedAdapters adapters_{{LoopbackAdapter()}};
    TransportOptions options_ = LoopbackOptions();
};

TEST_F(TransportTest, StoresTrimmedRepliesOnceEachDropsTheRest) {
    DiscoveryTransport transport(SystemClock(), options_);
    transport.EnumerateAdapters(adapters_);
    ASSERT_EQ(transport.AdapterAddresses(), std::vector<std::string>{test::kAdapter});
    transport.StartReceiving();
    Device device(options_.port);
    device.Send("{\"ip\": \"a\"}\r\n");
    device.Send("{\"ip\": \"a\"}\r\n");  // a repeat is kept once
    device.Send("no brace at all");
    device.Send(std::string(1100, 'x') + "}");  // larger than the read buffer
    device.Send(std::string("\0{\"ip\": \"z\"}", 13));
    device.Send("{\"a\": 1}");  // no ip: the collection would drop it
    device.Send("{\"ip\": \"b\"}");
    // b was sent last to the same socket: once it is stored, all before it were read.
    ASSERT_TRUE(WaitFor([&] { return transport.ReplyCount() >= 2; }));
    EXPECT_EQ(AllReplies(transport),
              (std::vector<std::string>{"{\"ip\": \"a\"}", "{\"ip\": \"b\"}"}));
    EXPECT_EQ(transport.GetReply(2), "");
    EXPECT_EQ(transport.DroppedReplies(), 0u);
    transport.StopReceiving();
    EXPECT_EQ(transport.ReplyCount(), 2u);  // stopping leaves the replies
    transport.ClearReplies();
    EXPECT_EQ(transport.ReplyCount(), 0u);
}

TEST_F(TransportTest, SendsTheCommandFiveTimesThroughEachAdapter) {
    test::StepClock clock;
    DiscoveryTransport transport(clock, options_);
    transport.EnumerateAdapters(adapters_);
    transport.SetCommand(kBrowseCommand);
    transport.StartReceiving();
    test::GroupListener group(options_.port);
    transport.StartSending();
    ASSERT_TRUE(clock.AdvanceUntil([&] { return group.Received().size() >= 5; }));
    // The pause after the fifth command (if not already over) ends the sender; after
    // it nobody sleeps on the clock, while a sixth command would be followed by one.
    clock.AdvanceToNextWake(100);
    EXPECT_FALSE(clock.AdvanceToNextWake(100));
    EXPECT_EQ(group.Received(), std::vector<std::string>(5, std::string(kBrowseCommand)));
    ASSERT_TRUE(clock.Run([&] {
        transport.StopSending();
        transport.StopReceiving();
    }));
}

TEST_F(TransportTest, CommandIsCutAt512Bytes) {
    DiscoveryTransport transport(SystemClock(), options_);
    transport.EnumerateAdapters(adapters_);
    transport.SetCommand(std::string(511, 'c') + "}}}}");
    transport.StartReceiving();
    test::GroupListener group(options_.port);
    transport.StartSending();
    ASSERT_TRUE(WaitFor([&] { return !group.Received().empty(); }));
    EXPECT_EQ(group.Received().front(), std::string(511, 'c') + "}");
}

TEST_F(TransportTest, SendingClearedAfter150MsLeavesTwoCommands) {
    test::StepClock clock;
    DiscoveryTransport transport(clock, options_);
    transport.EnumerateAdapters(adapters_);
    transport.SetCommand(kBrowseCommand);
    transport.StartReceiving();
    test::GroupListener group(options_.port);
    transport.StartSending();
    // 0 ms: the first command; the sender sleeps until 100 ms and sends the second.
    ASSERT_TRUE(clock.AdvanceToNextWake());
    ASSERT_TRUE(WaitFor([&] { return group.Received().size() >= 2; }));
    clock.Advance(50);
    // Stopping pauses on the clock and joins the sender, asleep until 200 ms.
    ASSERT_TRUE(clock.Run([&] { transport.StopSending(); }));
    EXPECT_EQ(group.Received().size(), 2u);
    EXPECT_TRUE(transport.Receiving());
    ASSERT_TRUE(clock.Run([&] { transport.StopReceiving(); }));
}

TEST_F(TransportTest, ReplyStoreIsBounded) {
    options_.max_replies_per_source = kMaxReplies + 100;  // one sender fills it here
    // Time stands still: the receive window stays open however slow the build (a
    // sanitizer's on a loaded machine took more than its 5 s for these datagrams).
    test::StepClock clock;
    DiscoveryTransport transport(clock, options_);
    transport.EnumerateAdapters(adapters_);
    transport.StartReceiving();
    Device device(options_.port);
    constexpr std::size_t kTotal = kMaxReplies + 100;
    constexpr std::size_t kBatch = 500;
    // Paced, so the socket buffer never overflows and every datagram is counted.
    for (std::size_t sent = 0; sent < kTotal;) {
        const std::size_t end = std::min(kTotal, sent + kBatch);
        for (; sent < end; ++sent) {
            device.Send("{\"ip\": \"" + std::to_string(sent) + "\"}");
        }
        ASSERT_TRUE(WaitFor([&] {
            return transport.ReplyCount() + transport.DroppedReplies() == sent;
        })) << sent;
    }
    EXPECT_EQ(transport.ReplyCount(), kMaxReplies);
    EXPECT_EQ(transport.DroppedReplies(), 100u);
    EXPECT_EQ(transport.GetReply(kMaxReplies - 1),
              "{\"ip\": \"" + std::to_string(kMaxReplies - 1) + "\"}");
    transport.StopReceiving();
    transport.ClearReplies();
    EXPECT_EQ(transport.DroppedReplies(), 0u);
}

TEST_F(TransportTest, RepeatMovesItsReplyLastAndCollectsLikeEveryCopy) {
    DiscoveryTransport transport(SystemClock(), options_);
    transport.EnumerateAdapters(adapters_);
    transport.StartReceiving();
    Device device(options_.port);
    const std::string a = "{\"device_name\": \"A\", \"ip\": \"10.1.0.1\"}";
    const std::string b = "{\"device_name\": \"B\", \"ip\": \"10.1.0.1\"}";
    const std::string c = "{\"device_name\": \"C\", \"ip\": \"10.1.0.2\"}";
    // 1,000 copies of a with one b in the middle: a arrived last, a survives.
    std::vector<std::string> sent;
    for (int i = 0; i < 1000; ++i) {
        sent.push_back(i == 500 ? b : a);
        if (i == 700) {
            sent.push_back(c);
        }
    }
    for (std::size_t i = 0; i < sent.size(); ++i) {
        device.Send(sent[i]);
        if (i % 200 == 0) {
            Pause(5);  // stays well inside the socket buffer
        }
    }
    // The last datagram on the same socket: once it is stored, every copy was read.
    const std::string end = "{\"device_name\": \"End\", \"ip\": \"10.1.0.9\"}";
    device.Send(end);
    ASSERT_TRUE(WaitFor([&] { return transport.ReplyCount() == 4; }));
    EXPECT_EQ(AllReplies(transport), (std::vector<std::string>{b, c, a, end}));
    auto devices = CollectDevices(AllReplies(transport));
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].raw_text, CollectDevices(sent)[0].raw_text);
    EXPECT_EQ(devices[0].device_name, u"A");
    // Then b once more: now b is the later one.
    device.Send(b);
    ASSERT_TRUE(WaitFor([&] { return AllReplies(transport).back() == b; }));
    sent.push_back(b);
    devices = CollectDevices(AllReplies(transport));
    EXPECT_EQ(devices[0].device_name, u"B");
    EXPECT_EQ(devices[0].raw_text, CollectDevices(sent)[0].raw_text);
    EXPECT_EQ(transport.ReplyCount(), 4u);
    EXPECT_EQ(transport.DroppedReplies(), 0u);
}

TEST_F(TransportTest, OneSenderStoresAtMostItsQuota) {
    options_.max_replies_per_source = 3;
    DiscoveryTransport transport(SystemClock(), options_);
    transport.EnumerateAdapters(adapters_);
    transport.StartReceiving();
    Device flooder(options_.port, "127.0.0.1");
    Device other(options_.port, "127.0.0.4");
    for (int i = 0; i < 10; ++i) {
        flooder.Send("{\"ip\": \"10.9.0." + std::to_string(i) + "\"}");
    }
    flooder.Send("{\"ip\": \"10.9.0.0\"}");  // a repeat of a stored reply moves it last
    // Over its quota a sender's datagrams are dropped unread, junk included.
    flooder.Send("{\"no\": \"ip\"}");
    other.Send("{\"ip\": \"10.1.0.1\"}");
    // Sent last to the same socket: once it is stored, every datagram before it was read.
    other.Send("{\"ip\": \"10.1.0.2\"}");
    ASSERT_TRUE(WaitFor([&] { return transport.ReplyCount() == 5; }))
        << transport.ReplyCount() << " " << transport.DroppedReplies();
    const auto replies = AllReplies(transport);
    EXPECT_EQ(replies, (std::vector<std::string>{"{\"ip\": \"10.9.0.1\"}", "{\"ip\": \"10.9.0.2\"}",
                                                 "{\"ip\": \"10.9.0.0\"}", "{\"ip\": \"10.1.0.1\"}",
                                                 "{\"ip\": \"10.1.0.2\"}"}));
    EXPECT_EQ(transport.DroppedReplies(), 8u);
}

TEST_F(TransportTest, NothingIsStoredAfterTheReceiveWindow) {
    test::StepClock clock;  // moves only when the test moves it
    DiscoveryTransport transport(clock, options_);
    transport.EnumerateAdapters(adapters_);
    transport.StartReceiving();
    test::RefusalProbe group_socket(test::kGroup, options_.port);
    Device device(options_.port);
    device.Send("{\"ip\": \"0\"}");
    ASSERT_TRUE(WaitFor([&] { return transport.ReplyCount() == 1; }));
    clock.Advance(kReceiveWindowMs - 1);
    device.Send("{\"ip\": \"4999\"}");
    ASSERT_TRUE(WaitFor([&] { return transport.ReplyCount() == 2; }));
    EXPECT_FALSE(group_socket.Refused());
    clock.Advance(1);
    device.Send("{\"ip\": \"5000\"}");
    // The window is over: the receive thread leaves on its own, without reading
    // what is pending, and closes its sockets. Once the group socket refuses a
    // datagram, nothing more can be stored.
    ASSERT_TRUE(WaitFor([&] { return group_socket.Refused(); }));
    EXPECT_TRUE(transport.Receiving()) << "the thread left without a stop";
    EXPECT_EQ(transport.ReplyCount(), 2u);
    transport.StopReceiving();
    EXPECT_EQ(transport.ReplyCount(), 2u);
}

TEST_F(TransportTest, StopsPromptlyAndRestartsOnTheSamePort) {
    DiscoveryTransport transport(SystemClock(), options_);
    transport.EnumerateAdapters(adapters_);
    transport.SetCommand(kBrowseCommand);
    for (int round = 0; round < 3; ++round) {
        transport.StartReceiving();
        transport.StartSending();
        Device device(options_.port);
        device.Send("{\"ip\": \"" + std::to_string(round) + "\"}");
        ASSERT_TRUE(WaitFor([&] { return transport.ReplyCount() >= 1; }));
        transport.RequestStop();
        EXPECT_FALSE(transport.Receiving());
        EXPECT_FALSE(transport.Sending());
        const auto begin = std::chrono::steady_clock::now();
        transport.StopSending();
        transport.StopReceiving();
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(400));
        transport.ClearReplies();
    }
    transport.StopSending();  // on empty slots: nothing to do
    transport.StopReceiving();
}

TEST_F(TransportTest, StartOnRunningTransportReplacesItsSockets) {
    DiscoveryTransport transport(SystemClock(), options_);
    transport.EnumerateAdapters(adapters_);
    transport.StartReceiving();
    transport.StartReceiving();
    Device device(options_.port);
    device.Send("{\"ip\": \"once\"}");
    device.Send("{\"ip\": \"last\"}");
    // Read by the one adapter slot the second start left (a slot kept from the
    // first would have made this adapter number 1).
    ASSERT_TRUE(WaitFor([&] { return transport.ReplyCount() == 2; }));
    EXPECT_EQ(transport.GetReplyOrigin(0).adapters, std::vector<std::size_t>{0});
}

TEST_F(TransportTest, AdapterWhoseSocketsFailDoesNotStopTheOthers) {
    AdapterRecord foreign = LoopbackAdapter();
    foreign.name = "eth9";
    foreign.ipv4 = {"203.0.113.7"};  // not an address of this host: bind fails
    FixedAdapters adapters({foreign, LoopbackAdapter()});
    DiscoveryTransport transport(SystemClock(), options_);
    transport.EnumerateAdapters(adapters);
    ASSERT_EQ(transport.AdapterAddresses().size(), 2u);
    transport.SetCommand(kBrowseCommand);
    transport.StartReceiving();
    test::GroupListener group(options_.port);
    transport.StartSending();
    ASSERT_TRUE(WaitFor([&] { return group.Received().size() >= 5; }));
    transport.ClearAdapters();
    EXPECT_TRUE(transport.AdapterAddresses().empty());
}

TEST_F(TransportTest, OnePerPassLoopStillReceives) {
    options_.loop = ReceiveLoop::kOnePerPass;
    options_.socket_receive_buffer = 0;
    DiscoveryTransport transport(SystemClock(), options_);
    transport.EnumerateAdapters(adapters_);
    transport.StartReceiving();
    Device device(options_.port);
    for (int i = 0; i < 3; ++i) {
        device.Send("{\"ip\": \"" + std::to_string(i) + "\"}");
    }
    ASSERT_TRUE(WaitFor([&] { return transport.ReplyCount() == 3; }));
}

TEST_F(TransportTest, DestructionWhileRunningWaitsForThreads) {
    auto transport = std::make_unique<DiscoveryTransport>(SystemClock(), options_);
    transport->EnumerateAdapters(adapters_);
    transport->SetCommand(kBrowseCommand);
    transport->StartReceiving();
    transport->StartSending();
    const auto begin = std::chrono::steady_clock::now();
    transport.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(400));
}

}  // namespace
}  // namespace orvandel
