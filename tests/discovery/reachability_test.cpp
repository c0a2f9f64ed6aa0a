// The reachability and conflict rules over fixed replies, adapters and addresses.
#include "discovery/reachability.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace orvandel {
namespace {

AdapterAddress Adapter(std::string name, std::string address, int prefix) {
    return AdapterAddress{std::move(name), std::move(address), prefix};
}

const AdapterAddress kEth0 = Adapter("eth0", "10.77.0.1", 24);
const AdapterAddress kEth1 = Adapter("eth1", "192.168.0.10", 24);

DeviceReply Reply(std::u16string ip, std::u16string mac, std::vector<AdapterAddress> adapters,
                  std::string source = "") {
    DeviceReply r;
    r.record.ip = std::move(ip);
    r.record.id = std::move(mac);
    r.adapters = std::move(adapters);
    r.source = std::move(source);
    return r;
}

struct ReachCase {
    const char* label;
    std::u16string ip;
    std::vector<DeviceReply> replies;
    std::vector<std::string> own;
    ReachStatus status;
    int count;
    std::vector<std::string> noted = {};
};

void PrintTo(const ReachCase& row, std::ostream* os) {
    *os << row.label;
}

class ReachRules : public ::testing::TestWithParam<ReachCase> {};

TEST_P(ReachRules, GivesStatusCountAndSources) {
    const ReachCase& c = GetParam();
    const Reachability r = JudgeReachability(c.ip, c.replies, c.own);
    EXPECT_EQ(StatusWord(r.status), StatusWord(c.status));
    EXPECT_EQ(r.conflict_count, c.count);
    EXPECT_EQ(r.noted_sources, c.noted);
}

const std::vector<std::string> kOwn = {"10.77.0.1", "127.0.0.1"};

INSTANTIATE_TEST_SUITE_P(
    Rows, ReachRules,
    ::testing::Values(
        ReachCase{"SameSubnet",
                  u"10.77.0.57",
                  {Reply(u"10.77.0.57", u"aa", {kEth0})},
                  kOwn,
                  ReachStatus::kOk,
                  1},
        ReachCase{"FactoryDefaultOnOtherSubnet",
                  u"192.168.0.57",
                  {Reply(u"192.168.0.57", u"aa", {kEth0}, "192.168.0.57")},
                  kOwn,
                  ReachStatus::kOtherNetwork,
                  1},
        ReachCase{"LinkLocalDevice",
                  u"169.254.12.34",
                  {Reply(u"169.254.12.34", u"aa", {kEth0})},
                  kOwn,
                  ReachStatus::kLinkLocal,
                  1},
        ReachCase{"LinkLocalAdapterHoldsLinkLocalDevice",
                  u"169.254.12.34",
                  {Reply(u"169.254.12.34", u"aa", {Adapter("eth2", "169.254.3.4", 16)})},
                  {},
                  ReachStatus::kOk,
                  1},
        // The computer has a link-local address too, just a narrower prefix: the
        // device did not miss the router's address, the subnets differ.
        ReachCase{"LinkLocalAdapterNarrowPrefixIsOtherNetwork",
                  u"169.254.12.34",
                  {Reply(u"169.254.12.34", u"aa", {Adapter("eth2", "169.254.3.4", 24)})},
                  {},
                  ReachStatus::kOtherNetwork,
                  1},
        ReachCase{"TwoAdaptersOneMatches",
                  u"192.168.0.57",
                  {Reply(u"192.168.0.57", u"aa", {kEth0}), Reply(u"192.168.0.57", u"aa", {kEth1})},
                  kOwn,
                  ReachStatus::kOk,
                  1},
        ReachCase{"TwoAdaptersInOneReplyOneMatches",
                  u"192.168.0.57",
                  {Reply(u"192.168.0.57", u"aa", {kEth0, kEth1})},
                  kOwn,
                  ReachStatus::kOk,
                  1},
        ReachCase{"TwoAdaptersNeitherMatches",
                  u"172.16.0.9",
                  {Reply(u"172.16.0.9", u"aa", {kEth0}), Reply(u"172.16.0.9", u"aa", {kEth1})},
                  kOwn,
                  ReachStatus::kOtherNetwork,
                  1},
        ReachCase{"PrefixZeroHoldsEverything",
                  u"8.8.8.8",
                  {Reply(u"8.8.8.8", u"aa", {Adapter("eth0", "10.77.0.1", 0)})},
                  {},
                  ReachStatus::kOk,
                  1},
        ReachCase{"PrefixThirtyTwoHoldsOnlyItself",
                  u"10.77.0.2",
                  {Reply(u"10.77.0.2", u"aa", {Adapter("ptp0", "10.77.0.1", 32)})},
                  {},
                  ReachStatus::kOtherNetwork,
                  1},
        ReachCase{"PrefixThirtyTwoOwnAddressIsConflict",
                  u"10.77.0.1",
                  {Reply(u"10.77.0.1", u"aa", {Adapter("ptp0", "10.77.0.1", 32)})},
                  kOwn,
                  ReachStatus::kConflict,
                  2},
        ReachCase{"SubnetEdgesAreInside",
                  u"10.77.0.255",
                  {Reply(u"10.77.0.255", u"aa", {kEth0}), Reply(u"10.77.0.255", u"aa", {kEth0})},
                  kOwn,
                  ReachStatus::kOk,
                  1},
        ReachCase{"NextSubnetIsOutside",
                  u"10.77.1.0",
                  {Reply(u"10.77.1.0", u"aa", {kEth0})},
                  kOwn,
                  ReachStatus::kOtherNetwork,
                  1},
        ReachCase{"UnparsableIpIsOtherNetwork",
                  u"10.77.0.057",
                  {Reply(u"10.77.0.057", u"aa", {kEth0})},
                  kOwn,
                  ReachStatus::kOtherNetwork,
                  1},
        ReachCase{"GarbageIpSharedByTwoMacsIsConflict",
                  u"kitchen",
                  {Reply(u"kitchen", u"aa", {kEth0}), Reply(u"kitchen", u"bb", {kEth0})},
                  kOwn,
                  ReachStatus::kConflict,
                  2},
        ReachCase{"AdapterOfUnknownSubnetCannotWarn",
                  u"192.168.0.57",
                  {Reply(u"192.168.0.57", u"aa", {Adapter("eth0", "10.77.0.1", 33)})},
                  kOwn,
                  ReachStatus::kOk,
                  1},
        ReachCase{"NoAdapterKnownCannotWarn",
                  u"192.168.0.57",
                  {Reply(u"192.168.0.57", u"aa", {})},
                  kOwn,
                  ReachStatus::kOk,
                  1},
        ReachCase{"UnknownSubnetBesideKnownMismatchWarns",
                  u"192.168.0.57",
                  {Reply(u"192.168.0.57", u"aa", {Adapter("x", "bogus", 24), kEth0})},
                  kOwn,
                  ReachStatus::kOtherNetwork,
                  1},
        ReachCase{"TwoMacsOneAddress",
                  u"10.77.0.57",
                  {Reply(u"10.77.0.57", u"aa:01", {kEth0}), Reply(u"10.77.0.57", u"bb:02", {kEth0}),
                   Reply(u"10.77.0.57", u"aa:01", {kEth0})},
                  kOwn,
                  ReachStatus::kConflict,
                  2},
        ReachCase{"ThreeMacsOnOtherSubnetConflictFirst",
                  u"192.168.0.57",
                  {Reply(u"192.168.0.57", u"aa", {kEth0}), Reply(u"192.168.0.57", u"bb", {kEth0}),
                   Reply(u"192.168.0.57", u"cc", {kEth0})},
                  kOwn,
                  ReachStatus::kConflict,
                  3},
        ReachCase{
            "LinkLocalConflictIsConflict",
            u"169.254.12.34",
            {Reply(u"169.254.12.34", u"aa", {kEth0}), Reply(u"169.254.12.34", u"bb", {kEth0})},
            kOwn,
            ReachStatus::kConflict,
            2},
        ReachCase{
            "MacCaseDifferenceIsOneDevice",
            u"10.77.0.57",
            {Reply(u"10.77.0.57", u"AA:bb", {kEth0}), Reply(u"10.77.0.57", u"aa:BB", {kEth0})},
            kOwn,
            ReachStatus::kOk,
            1},
        ReachCase{"FullMacCaseDifferenceIsOneDevice",
                  u"10.77.0.57",
                  {Reply(u"10.77.0.57", u"AA:BB:CC:00:00:0F", {kEth0}),
                   Reply(u"10.77.0.57", u"aa:bb:cc:00:00:0f", {kEth0})},
                  kOwn,
                  ReachStatus::kOk,
                  1},
        // Only the case is ignored: other separators are another text.
        ReachCase{"SameDigitsOtherSeparatorAreTwoDevices",
                  u"10.77.0.57",
                  {Reply(u"10.77.0.57", u"aa:bb:cc:00:00:01", {kEth0}),
                   Reply(u"10.77.0.57", u"aa-bb-cc-00-00-01", {kEth0}),
                   Reply(u"10.77.0.57", u"AA-BB-CC-00-00-01", {kEth0})},
                  kOwn,
                  ReachStatus::kConflict,
                  2},
        // Past the few MACs a tally keeps in place, each still counts once.
        ReachCase{"FiveMacsAndRepeatsCountFive",
                  u"10.77.0.57",
                  {Reply(u"10.77.0.57", u"02:00:00:00:00:01", {kEth0}),
                   Reply(u"10.77.0.57", u"02:00:00:00:00:02", {kEth0}),
                   Reply(u"10.77.0.57", u"02:00:00:00:00:03", {kEth0}),
                   Reply(u"10.77.0.57", u"02:00:00:00:00:01", {kEth0}),
                   Reply(u"10.77.0.57", u"02:00:00:00:00:04", {kEth0}),
                   Reply(u"10.77.0.57", u"02:00:00:00:00:05", {kEth0}),
                   Reply(u"10.77.0.57", u"02:00:00:00:00:03", {kEth0}),
                   Reply(u"10.77.0.57", u"x1", {kEth0}), Reply(u"10.77.0.57", u"X1", {kEth0}),
                   Reply(u"10.77.0.57", u"x2", {kEth0})},
                  kOwn,
                  ReachStatus::kConflict,
                  7},
        // A device that sends its MAC sends it in every reply: a record without
        // one at the same ip is another device.
        ReachCase{"EmptyMacBesideMacIsASecondDevice",
                  u"10.77.0.57",
                  {Reply(u"10.77.0.57", u"", {kEth0}), Reply(u"10.77.0.57", u"aa", {kEth0})},
                  kOwn,
                  ReachStatus::kConflict,
                  2},
        ReachCase{"TwoRecordsWithoutMacAreOneDevice",
                  u"10.77.0.57",
                  {Reply(u"10.77.0.57", u"", {kEth0}), Reply(u"10.77.0.57", u"", {kEth0})},
                  kOwn,
                  ReachStatus::kOk,
                  1},
        ReachCase{"OwnAddress",
                  u"10.77.0.1",
                  {Reply(u"10.77.0.1", u"aa", {kEth0})},
                  kOwn,
                  ReachStatus::kConflict,
                  2},
        ReachCase{"OwnAddressWithoutMacIsStillConflict",
                  u"10.77.0.1",
                  {Reply(u"10.77.0.1", u"", {kEth0})},
                  kOwn,
                  ReachStatus::kConflict,
                  2},
        ReachCase{"OwnAddressAndTwoMacs",
                  u"10.77.0.1",
                  {Reply(u"10.77.0.1", u"aa", {kEth0}), Reply(u"10.77.0.1", u"bb", {kEth0})},
                  kOwn,
                  ReachStatus::kConflict,
                  3},
        ReachCase{"OwnAddressOnOtherAdapter",
                  u"192.168.0.10",
                  {Reply(u"192.168.0.10", u"aa", {kEth0})},
                  {"10.77.0.1", "192.168.0.10"},
                  ReachStatus::kConflict,
                  2},
        ReachCase{"UnparsableOwnAddressIgnored",
                  u"10.77.0.57",
                  {Reply(u"10.77.0.57", u"aa", {kEth0})},
                  {"", "10.77.0.57 ", "fe80::1"},
                  ReachStatus::kOk,
                  1},
        ReachCase{"OtherIpsRecordsIgnored",
                  u"10.77.0.57",
                  {Reply(u"10.77.0.58", u"bb", {kEth1}), Reply(u"10.77.0.57", u"aa", {kEth0}),
                   Reply(u"10.77.0.570", u"cc", {kEth0})},
                  kOwn,
                  ReachStatus::kOk,
                  1},
        ReachCase{"SecondInterfaceSourceNoted",
                  u"192.168.0.57",
                  {Reply(u"192.168.0.57", u"aa", {kEth0}, "10.77.0.20")},
                  kOwn,
                  ReachStatus::kOtherNetwork,
                  1,
                  {"10.77.0.20"}},
        ReachCase{"SourceOnOtherSubnetNotNoted",
                  u"10.77.0.57",
                  {Reply(u"10.77.0.57", u"aa", {kEth0}, "172.16.0.1")},
                  kOwn,
                  ReachStatus::kOk,
                  1},
        ReachCase{"SourceEqualToIpNotNoted",
                  u"10.77.0.57",
                  {Reply(u"10.77.0.57", u"aa", {kEth0}, "10.77.0.57")},
                  kOwn,
                  ReachStatus::kOk,
                  1},
        ReachCase{"SourceJudgedByItsOwnReplysAdapter",
                  u"10.77.0.57",
                  {Reply(u"10.77.0.57", u"aa", {kEth0}, "192.168.0.4"),
                   Reply(u"10.77.0.57", u"aa", {kEth1}, "10.77.0.9")},
                  kOwn,
                  ReachStatus::kOk,
                  1},
        ReachCase{"SourcesNotedOnceInOrder",
                  u"10.77.0.57",
                  {Reply(u"10.77.0.57", u"aa", {kEth0}, "10.77.0.9"),
                   Reply(u"10.77.0.57", u"aa", {kEth0}, "10.77.0.8"),
                   Reply(u"10.77.0.57", u"aa", {kEth0}, "10.77.0.9")},
                  kOwn,
                  ReachStatus::kOk,
                  1,
                  {"10.77.0.9", "10.77.0.8"}},
        ReachCase{"UnparsableIpNotesSourceInSubnet",
                  u"nowhere",
                  {Reply(u"nowhere", u"aa", {kEth0}, "10.77.0.9")},
                  kOwn,
                  ReachStatus::kOtherNetwork,
                  1,
                  {"10.77.0.9"}},
        ReachCase{"UnparsableSourceIgnored",
                  u"10.77.0.57",
                  {Reply(u"10.77.0.57", u"aa", {kEth0}, "10.77.0.9\n")},
                  kOwn,
                  ReachStatus::kOk,
                  1}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Reachability, ReportsAdaptersSeenAndMatchingOnce) {
    const Reachability r = JudgeReachability(
        u"192.168.0.57",
        {Reply(u"192.168.0.57", u"aa", {kEth0}), Reply(u"192.168.0.57", u"aa", {kEth1, kEth0}),
         Reply(u"192.168.0.57", u"aa", {kEth1})},
        JudgeContext{});
    EXPECT_EQ(r.adapters, (AdapterList{kEth0, kEth1}));
    EXPECT_EQ(r.matching, (AdapterList{kEth1}));
    EXPECT_TRUE(r.ip_valid);
    EXPECT_FALSE(r.own_address);
}

TEST(Reachability, OwnAddressFlagAndInvalidIp) {
    const Reachability own = JudgeReachability(u"10.77.0.1", {}, kOwn);
    EXPECT_TRUE(own.own_address);
    EXPECT_EQ(own.status, ReachStatus::kConflict);
    const Reachability bad = JudgeReachability(u"10.77.0.1x", {}, {"10.77.0.1x"});
    EXPECT_FALSE(bad.ip_valid);
    EXPECT_FALSE(bad.own_address) << "own addresses compare as addresses, not as text";
}

TEST(StatusWord, FixedWordsOfTheTable) {
    EXPECT_EQ(StatusWord(ReachStatus::kOk), "ok");
    EXPECT_EQ(StatusWord(ReachStatus::kLinkLocal), "link-local");
    EXPECT_EQ(StatusWord(ReachStatus::kOtherNetwork), "other-network");
    EXPECT_EQ(StatusWord(ReachStatus::kConflict), "conflict");
    EXPECT_EQ(StatusWord(ReachStatus::kRouted), "routed");
}

// A device found through a router with --target: its page opens through it.
TEST(Reachability, DeviceAtATargetIsRouted) {
    JudgeContext context;
    context.own_addresses = kOwn;
    context.routed = {{"192.168.20.255", 24}, {"172.16.0.9", 32}};
    const auto judge = [&](std::u16string ip) {
        return JudgeReachability(ip, {Reply(ip, u"aa", {kEth0}, "")}, context).status;
    };
    EXPECT_EQ(judge(u"192.168.20.57"), ReachStatus::kRouted);  // in the target subnet
    EXPECT_EQ(judge(u"172.16.0.9"), ReachStatus::kRouted);     // the target host
    EXPECT_EQ(judge(u"172.16.0.10"), ReachStatus::kOtherNetwork);
    EXPECT_EQ(judge(u"10.77.0.57"), ReachStatus::kOk);  // on the adapter's subnet
    EXPECT_EQ(StatusWord(ReachStatus::kRouted), "routed");
    // A conflict there is still a conflict.
    const Reachability twins = JudgeReachability(
        u"172.16.0.9", {Reply(u"172.16.0.9", u"aa", {kEth0}), Reply(u"172.16.0.9", u"bb", {kEth0})},
        context);
    EXPECT_EQ(twins.status, ReachStatus::kConflict);
}

TEST(SubnetText, NetworkAndPrefix) {
    EXPECT_EQ(SubnetText(kEth0), "10.77.0.0/24");
    EXPECT_EQ(SubnetText(Adapter("a", "169.254.3.4", 16)), "169.254.0.0/16");
    EXPECT_EQ(SubnetText(Adapter("a", "10.77.0.1", 0)), "0.0.0.0/0");
    EXPECT_EQ(SubnetText(Adapter("a", "10.77.0.1", 32)), "10.77.0.1/32");
    EXPECT_EQ(SubnetText(Adapter("a", "10.77.0.1", 33)), "");
    EXPECT_EQ(SubnetText(Adapter("a", "10.77.0.1", -1)), "");
    EXPECT_EQ(SubnetText(Adapter("a", "eth0", 24)), "");
}

}  // namespace
}  // namespace orvandel
