// The system-facing parts of platform/: they run on whatever machine runs the tests,
// so they check only what holds everywhere.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/adapters.h"
#include "platform/clock.h"
#include "platform/network_check.h"
#include "platform/socket_check.h"
#include "platform/thread_heap.h"
#include "platform/udp_socket.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ORVANDEL_OWN_ALLOCATOR 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ORVANDEL_OWN_ALLOCATOR 1
#endif

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

// A warmed heap serves a burst of small allocations from pages it already has:
// what a receive thread relies on to store a burst of replies without a page
// fault each. Freeing the warm-up must not hand the pages back.
TEST(ThreadHeap, AWarmedHeapServesABurstFromPagesItHas) {
#if !defined(__GLIBC__) || defined(ORVANDEL_OWN_ALLOCATOR)
    GTEST_SKIP() << "glibc's allocator only";
#else
    long faults = -1;
    std::thread([&] {
        constexpr std::size_t kBytes = 2u << 20;
        WarmThreadHeap(kBytes);
        const long before = ThreadMinorFaults();
        // Replies and their records: a few hundred bytes each, 1.5 MB in all.
        using Block = std::unique_ptr<char[]>;
        std::vector<Block> blocks;
        blocks.reserve(2000);
        for (std::size_t i = 0; i < 2000; ++i) {
            const std::size_t size = 200 + (i * 37) % 1100;
            blocks.push_back(std::make_unique_for_overwrite<char[]>(size));
            std::memset(blocks.back().get(), 1, size);
        }
        faults = ThreadMinorFaults() - before;
    }).join();
    ASSERT_GE(faults, 0);
    // Cold, the same burst touches some 370 fresh pages.
    EXPECT_LT(faults, 40);
#endif
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

// A socket bound to a free loopback port, and that port (0 when it failed).
UniqueFd LoopbackReceiver(std::uint16_t& port) {
    UniqueFd receiver = OpenAdapterSocket("127.0.0.1", 0, 0);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    port = receiver.Valid() &&
                   getsockname(receiver.Get(), reinterpret_cast<sockaddr*>(&bound), &length) == 0
               ? ntohs(bound.sin_port)
               : 0;
    return receiver;
}

TEST(UdpSocket, RejectsBadAddressesAndReportsTooLongDatagrams) {
    EXPECT_FALSE(OpenAdapterSocket("not an address", 0, 0).Valid());
    EXPECT_FALSE(OpenGroupSocket("127.0.0.1", 0, "300.1.1.1", 0).Valid());
    EXPECT_FALSE(SendDatagram(-1, "127.0.0.1", 9, "x"));

    std::uint16_t port = 0;
    UniqueFd receiver = LoopbackReceiver(port);
    ASSERT_TRUE(receiver.Valid());
    ASSERT_NE(port, 0);

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

// A burst read in batches: each datagram in its own slot with its own length and
// sender, one too long for its slot marked and emptied, nothing lost between
// batches, and no more slots used than the buffer holds.
TEST(UdpSocket, ReadsABurstInBatches) {
    std::uint16_t port = 0;
    UniqueFd receiver = LoopbackReceiver(port);
    ASSERT_TRUE(receiver.Valid());
    ASSERT_NE(port, 0);
    UniqueFd sender = OpenAdapterSocket("127.0.0.1", 0, 0);
    const std::vector<std::string> sent = {"a", std::string(65, 'L'), "bb", "", "ccc", "dddd", "e"};
    for (const std::string& datagram : sent) {
        ASSERT_TRUE(SendDatagram(sender.Get(), "127.0.0.1", port, datagram));
    }
    bool ready[1] = {};
    const int fds[1] = {receiver.Get()};
    ASSERT_TRUE(WaitReadable(fds, ready, 1000));

    constexpr std::size_t kSlot = 64;
    // Room for four slots of five: the buffer decides.
    std::vector<char> buffer(4 * kSlot + 10);
    std::array<DatagramSlot, 5> slots{};
    std::vector<std::string> read;
    std::size_t count = 0;
    ASSERT_EQ(ReadDatagramsFrom(receiver.Get(), buffer, kSlot, slots, count),
              ReadResult::kDatagram);
    ASSERT_EQ(count, 4u);
    EXPECT_TRUE(slots[1].too_long);
    EXPECT_EQ(slots[1].length, 0u);
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(slots[i].origin.source, 0x7f000001u);
        read.emplace_back(buffer.data() + i * kSlot, slots[i].length);
    }
    ASSERT_EQ(ReadDatagramsFrom(receiver.Get(), buffer, kSlot, slots, count),
              ReadResult::kDatagram);
    ASSERT_EQ(count, 3u);
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_FALSE(slots[i].too_long);
        read.emplace_back(buffer.data() + i * kSlot, slots[i].length);
    }
    EXPECT_EQ(read, (std::vector<std::string>{"a", "", "bb", "", "ccc", "dddd", "e"}));
    EXPECT_EQ(ReadDatagramsFrom(receiver.Get(), buffer, kSlot, slots, count), ReadResult::kNothing);
    EXPECT_EQ(ReadDatagramsFrom(-1, buffer, kSlot, slots, count), ReadResult::kError);
}

}  // namespace
}  // namespace orvandel
