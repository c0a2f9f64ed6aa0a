// The rules that choose which adapters a search runs on, over fixed lists.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <gtest/gtest.h>

#include <deque>
#include <ostream>

#include "platform/adapters.h"

namespace orvandel {
namespace {

AdapterRecord Adapter(std::string name, std::vector<std::string> ipv4, std::string description = "",
                      int hw_addr_len = 6, bool up = true) {
    AdapterRecord r;
    r.name = std::move(name);
    r.description = description.empty() ? r.name : std::move(description);
    r.hw_addr_len = hw_addr_len;
    r.ipv4 = std::move(ipv4);
    r.up = up;
    r.running = up;
    return r;
}

struct FilterCase {
    const char* label;
    std::vector<AdapterRecord> adapters;
    std::vector<std::string> expected;
};

// Names the row in test output.
void PrintTo(const FilterCase& row, std::ostream* os) {
    *os << row.label;
}

class FilterRules : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FilterRules, PicksExpectedAddresses) {
    EXPECT_EQ(UsableAdapterAddresses(GetParam().adapters), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FilterRules,
    ::testing::Values(
        FilterCase{"OrdinaryAdapter", {Adapter("eth0", {"192.168.1.5"})}, {"192.168.1.5"}},
        FilterCase{"OnlyVirtualAdapters",
                   {Adapter("eth0", {"10.0.0.2"}, "Virtual Ethernet"),
                    Adapter("vEthernetVirtual", {"10.0.0.3"}, "Hyper link"),
                    Adapter("br0", {"10.0.0.4"}, "Bridge (Virtual)")},
                   {}},
        FilterCase{"VirtualInMiddleOfName", {Adapter("myVirtualNic", {"10.0.0.2"})}, {}},
        FilterCase{"LowerCaseVirtualIsKept",
                   {Adapter("virtual0", {"10.0.0.2"}, "a virtual adapter")},
                   {"10.0.0.2"}},
        FilterCase{"TvVideoConnectionDescription",
                   {Adapter("eth1", {"10.0.0.2"}, "Microsoft TV/Video Connection #2"),
                    Adapter("eth2", {"10.0.0.3"}, "microsoft tv/video connection")},
                   {"10.0.0.3"}},
        FilterCase{"TvVideoConnectionName",
                   {Adapter("Microsoft TV/Video Connection", {"10.0.0.2"}, "plain")},
                   {}},
        FilterCase{"ZeroAddressFirstTakesSecond",
                   {Adapter("eth0", {"0.0.0.0", "192.168.0.7"})},
                   {"192.168.0.7"}},
        FilterCase{"TwoOrdinaryAddressesTakesFirstOnly",
                   {Adapter("eth0", {"192.168.0.7", "192.168.0.8"})},
                   {"192.168.0.7"}},
        FilterCase{"OnlyLoopbackAddress", {Adapter("lo", {"127.0.0.1"})}, {}},
        FilterCase{"OnlyZeroAddress", {Adapter("eth0", {"0.0.0.0"})}, {}},
        FilterCase{"NoAddress", {Adapter("eth0", {})}, {}},
        FilterCase{"OtherLoopbackTextIsNotExcluded",
                   {Adapter("lo", {"127.0.0.1", "127.0.0.2"})},
                   {"127.0.0.2"}},
        FilterCase{"NoHardwareAddressSkippedAndNextKept",
                   {Adapter("tun0", {"10.8.0.2"}, "", 0), Adapter("eth0", {"10.0.0.9"})},
                   {"10.0.0.9"}},
        FilterCase{"DownAdapterSkipped",
                   {Adapter("eth0", {"10.0.0.2"}, "", 6, false), Adapter("eth1", {"10.0.1.2"})},
                   {"10.0.1.2"}},
        FilterCase{"EmptyNameAndDescriptionKept",
                   {[] {
                       AdapterRecord r = Adapter("", {"10.0.0.2"});
                       r.description.clear();
                       return r;
                   }()},
                   {"10.0.0.2"}},
        FilterCase{"LoopbackFlagSkipsWhateverTheAddress",
                   {[] {
                       AdapterRecord r = Adapter("lo", {"127.0.0.1", "10.66.0.1"});
                       r.loopback = true;
                       return r;
                   }()},
                   {}},
        FilterCase{"OrderFollowsAdapters",
                   {Adapter("b", {"10.0.0.2"}), Adapter("a", {"10.0.0.1"})},
                   {"10.0.0.2", "10.0.0.1"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(JudgeAdapters, GivesReasonForEverySkip) {
    const auto verdicts =
        JudgeAdapters({Adapter("eth0", {"10.0.0.2"}, "", 6, false),
                       Adapter("x", {"10.0.0.3"}, "Virtual"), Adapter("tun0", {"10.0.0.4"}, "", 0),
                       Adapter("lo", {"127.0.0.1"}), Adapter("eth1", {"10.0.0.5"})});
    ASSERT_EQ(verdicts.size(), 5u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(verdicts[i].address.empty()) << i;
        EXPECT_FALSE(verdicts[i].reason.empty()) << i;
    }
    EXPECT_EQ(verdicts[4].address, "10.0.0.5");
    EXPECT_TRUE(verdicts[4].reason.empty());
}

TEST(JudgeAdapters, ReasonNamesWhatMatched) {
    const auto verdicts = JudgeAdapters({
        Adapter("myVirtualNic", {"10.0.0.2"}),              // no alias: the name matched
        Adapter("eth1", {"10.0.0.3"}, "Virtual Ethernet"),  // the alias matched
        Adapter("Virtual0", {"10.0.0.4"}, "Virtual switch"),
        [] {
            AdapterRecord r = Adapter("lo", {"127.0.0.1", "10.66.0.1"});
            r.loopback = true;
            return r;
        }(),
    });
    ASSERT_EQ(verdicts.size(), 4u);
    EXPECT_EQ(verdicts[0].reason, "name contains \"Virtual\"");
    EXPECT_EQ(verdicts[1].reason, "description contains \"Virtual\"");
    EXPECT_EQ(verdicts[2].reason, "name and description contain \"Virtual\"");
    EXPECT_EQ(verdicts[3].reason, "loopback");
}

TEST(UsableAdapters, CarryPrefixAndInterfaceOfTheTakenAddress) {
    AdapterRecord eth = Adapter("eth0", {"0.0.0.0", "10.1.2.3", "10.9.9.9"});
    eth.prefix_length = {8, 20, 24};
    eth.interface_index = 4;
    const auto used = UsableAdapters({eth, Adapter("tun0", {"10.8.0.2"}, "", 0)});
    ASSERT_EQ(used.size(), 1u);
    EXPECT_EQ(used[0].address, "10.1.2.3");
    EXPECT_EQ(used[0].prefix_length, 20);
    EXPECT_EQ(used[0].interface_name, "eth0");
    EXPECT_EQ(used[0].interface_index, 4);
    EXPECT_EQ(SubnetBroadcast(used[0].address, used[0].prefix_length), "10.1.15.255");
}

TEST(SubnetBroadcast, Rows) {
    EXPECT_EQ(SubnetBroadcast("10.77.1.1", 24), "10.77.1.255");
    EXPECT_EQ(SubnetBroadcast("192.168.7.9", 30), "192.168.7.11");
    EXPECT_EQ(SubnetBroadcast("172.16.5.4", 12), "172.31.255.255");
    EXPECT_EQ(SubnetBroadcast("10.0.0.1", 31), "");  // point-to-point: none
    EXPECT_EQ(SubnetBroadcast("10.0.0.1", 32), "");
    EXPECT_EQ(SubnetBroadcast("10.0.0.1", 0), "");
    EXPECT_EQ(SubnetBroadcast("not an address", 24), "");
}

// A getifaddrs() list built in memory, in the order entries are added.
class FakeIfaddrs {
public:
    void Packet(const char* name, int index, int halen, unsigned flags) {
        auto& ll = links_.emplace_back();
        ll.sll_family = AF_PACKET;
        ll.sll_ifindex = index;
        ll.sll_halen = static_cast<unsigned char>(halen);
        Add(name, flags, reinterpret_cast<sockaddr*>(&ll), nullptr);
    }
    void Inet(const char* name, const char* address, const char* mask, unsigned flags) {
        auto& in = inets_.emplace_back();
        in.sin_family = AF_INET;
        inet_pton(AF_INET, address, &in.sin_addr);
        auto& m = inets_.emplace_back();
        m.sin_family = AF_INET;
        inet_pton(AF_INET, mask, &m.sin_addr);
        Add(name, flags, reinterpret_cast<sockaddr*>(&in), reinterpret_cast<sockaddr*>(&m));
    }
    const ifaddrs* List() {
        for (std::size_t i = 0; i + 1 < entries_.size(); ++i) {
            entries_[i].ifa_next = &entries_[i + 1];
        }
        return entries_.empty() ? nullptr : &entries_.front();
    }

private:
    void Add(const char* name, unsigned flags, sockaddr* address, sockaddr* mask) {
        auto& e = entries_.emplace_back();
        e.ifa_name = names_.emplace_back(name).data();
        e.ifa_flags = flags;
        e.ifa_addr = address;
        e.ifa_netmask = mask;
    }
    // Deques: adding never moves what earlier entries point to.
    std::deque<ifaddrs> entries_;
    std::deque<std::string> names_;
    std::deque<sockaddr_ll> links_;
    std::deque<sockaddr_in> inets_;
};

constexpr unsigned kUp = IFF_UP | IFF_RUNNING;

TEST(AdaptersFromIfaddrs, LabelledAddressesJoinTheirInterfaceInKernelOrder) {
    FakeIfaddrs list;
    list.Packet("lo", 1, 6, kUp | IFF_LOOPBACK);
    list.Packet("eth1", 3, 6, kUp);
    list.Packet("eth0", 2, 6, kUp);
    list.Inet("lo", "127.0.0.1", "255.0.0.0", kUp | IFF_LOOPBACK);
    list.Inet("eth1:0", "10.91.1.1", "255.255.255.0", kUp);
    list.Inet("eth0", "10.0.0.5", "255.255.0.0", kUp);
    list.Inet("eth1", "10.92.1.1", "255.255.255.252", kUp);
    list.Inet("lo", "10.66.0.1", "255.0.0.0", kUp | IFF_LOOPBACK);
    const auto adapters = AdaptersFromIfaddrs(list.List());
    ASSERT_EQ(adapters.size(), 3u);
    EXPECT_EQ(adapters[0].name, "lo");
    EXPECT_TRUE(adapters[0].loopback);
    EXPECT_EQ(adapters[1].name, "eth1");
    EXPECT_EQ(adapters[1].ipv4, (std::vector<std::string>{"10.91.1.1", "10.92.1.1"}));
    EXPECT_EQ(adapters[1].prefix_length, (std::vector<int>{24, 30}));
    EXPECT_EQ(adapters[1].hw_addr_len, 6);
    EXPECT_EQ(adapters[1].interface_index, 3);
    EXPECT_FALSE(adapters[1].loopback);
    EXPECT_EQ(adapters[2].name, "eth0");
    // lo is never searched; eth1's first address is the labelled one.
    EXPECT_EQ(UsableAdapterAddresses(adapters),
              (std::vector<std::string>{"10.91.1.1", "10.0.0.5"}));
}

TEST(AdaptersFromIfaddrs, LabelDoesNotDecideTheInterfaceState) {
    FakeIfaddrs list;
    list.Packet("eth1", 3, 6, 0);  // down
    list.Inet("eth1:0", "10.91.1.1", "255.255.255.0", kUp);
    const auto adapters = AdaptersFromIfaddrs(list.List());
    ASSERT_EQ(adapters.size(), 1u);
    EXPECT_FALSE(adapters[0].up);
    EXPECT_TRUE(UsableAdapterAddresses(adapters).empty());
}

}  // namespace
}  // namespace orvandel
