// The system-facing parts of platform/: they run on whatever machine runs the tests,
// so they check only what holds everywhere.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>

#include "platform/adapters.h"
#include "platform/clock.h"
#include "platform/network_check.h"
#include "platform/socket_check.h"
#include "platform/udp_socket.h"

namespace orvandel {
namespace {

TEST(SystemClock, IsMonotonicAndSleeps) {
    Clock& clock = SystemClock();
    const auto before = clock.NowMs();
    clock.SleepMs(30);
    const auto after = clock.NowMs();
    EXPECT_GE(after - before, 29);
    EXPECT_LT(after - before, 2000);
    clock.SleepMs(0);
    clock.SleepMs(-5);  // no sleep, no hang
}

TEST(SystemAdapters, ListsLoopbackWithItsAddressAndFlags) {
    const auto adapters = SystemAdapters().List();
    auto lo = std::find_if(adapters.begin(), adapters.end(),
                           [](const AdapterRecord& a) { return a.name == "lo"; });
    ASSERT_NE(lo, adapters.end());
    EXPECT_TRUE(lo->up);
    EXPECT_FALSE(lo->description.empty());
    EXPECT_NE(std::find(lo->ipv4.begin(), lo->ipv4.end(), "127.0.0.1"), lo->ipv4.end());
    // Loopback never takes part in a search.
    const auto usable = UsableAdapterAddresses(adapters);
    EXPECT_EQ(std::find(usable.begin(), usable.end(), "127.0.0.1"), usable.end());
}

TEST(SystemChecks, SocketsAreAvailableAndNetworkCheckAgreesWithAdapters) {
    EXPECT_TRUE(SocketsAvailable());
    bool expected = false;
    for (const AdapterRecord& a : SystemAdapters().List()) {
        expected = expected || (a.name != "lo" && a.up && a.running && !a.ipv4.empty());
    }
    EXPECT_EQ(IsNetworkAlive(), expected);
}

TEST(UdpSocket, RejectsBadAddressesAndReportsTooLongDatagrams) {
    EXPECT_FALSE(OpenAdapterSocket("not an address", 0, 0).Valid());
    EXPECT_FALSE(OpenGroupSocket("127.0.0.1", 0, "300.1.1.1", 0).Valid());
    EXPECT_FALSE(SendDatagram(-1, "127.0.0.1", 9, "x"));

    UniqueFd receiver = OpenAdapterSocket("127.0.0.1", 0, 0);
    ASSERT_TRUE(receiver.Valid());
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ASSERT_EQ(getsockname(receiver.Get(), reinterpret_cast<sockaddr*>(&bound), &length), 0);
    const std::uint16_t port = ntohs(bound.sin_port);

    UniqueFd sender = OpenAdapterSocket("127.0.0.1", 0, 0);
    ASSERT_TRUE(SendDatagram(sender.Get(), "127.0.0.1", port, std::string(1025, 'x')));
    ASSERT_TRUE(SendDatagram(sender.Get(), "127.0.0.1", port, std::string(1024, 'y')));
    char buffer[1024];
    std::size_t got = 0;
    bool ready[1] = {};
    const int fds[1] = {receiver.Get()};
    ASSERT_TRUE(WaitReadable(fds, ready, 1000));
    EXPECT_EQ(ReadDatagram(receiver.Get(), buffer, got), ReadResult::kTooLong);
    EXPECT_EQ(ReadDatagram(receiver.Get(), buffer, got), ReadResult::kDatagram);
    EXPECT_EQ(got, 1024u);
    EXPECT_EQ(ReadDatagram(receiver.Get(), buffer, got), ReadResult::kNothing);

    UniqueFd copy = DuplicateFd(receiver);
    ASSERT_TRUE(copy.Valid());
    receiver.Reset();
    ASSERT_TRUE(SendDatagram(sender.Get(), "127.0.0.1", port, "z"));
    const int copy_fd[1] = {copy.Get()};
    ASSERT_TRUE(WaitReadable(copy_fd, ready, 1000));
    EXPECT_TRUE(ready[0]);
    EXPECT_EQ(ReadDatagram(copy.Get(), buffer, got), ReadResult::kDatagram);
}

}  // namespace
}  // namespace orvandel
