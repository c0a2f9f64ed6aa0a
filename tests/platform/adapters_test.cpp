// The rules that choose which adapters a search runs on, over fixed lists.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace orvandel
