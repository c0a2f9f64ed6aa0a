#include "discovery/reply_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "discovery/collection.h"
#include "discovery/found_devices.h"
#include "discovery/ipv4.h"
#include "discovery/reply_parser.h"
#include "tools/devicesim/device_sim.h"

namespace orvandel {
namespace {

std::uint32_t Ip(std::string_view dotted) {
    return *ipv4::Parse(dotted);
}

// One arrival: `sender` sends a reply claiming `claimed` (distinct bytes per tag).
struct Arrival {
    std::string sender;
    std::string claimed;
    std::string tag;
};

std::string Bytes(const Arrival& a) {
    return sim::MakeReply(a.tag, "TR400", "aa:" + a.tag, a.claimed);
}

ReplyStore::Outcome Feed(ReplyStore& store, const Arrival& a, std::size_t adapter = 0) {
    const std::string bytes = Bytes(a);
    return store.Add(bytes, ParseReply(bytes), Ip(a.sender), adapter);
}

std::vector<std::u16string> ListedIps(const ReplyStore& store) {
    std::vector<std::u16string> ips;
    for (const FoundDevice& d : BuildFoundDevices(store, {}, {})) {
        ips.push_back(d.record.ip);
    }
    return ips;
}

// Admission under the bounds: each row fills a small store, then offers one
// newcomer; `stored` says whether it got in, `listed` what is listed after.
struct AdmitCase {
    const char* name;
    ReplyStoreLimits limits;
    std::vector<Arrival> before;
    Arrival newcomer;
    ReplyStore::Outcome outcome;
    std::vector<std::u16string> listed;
};

void PrintTo(const AdmitCase& row, std::ostream* os) {
    *os << row.name;
}

class ReplyStoreAdmits : public ::testing::TestWithParam<AdmitCase> {};

TEST_P(ReplyStoreAdmits, Rows) {
    const AdmitCase& row = GetParam();
    ReplyStore store(row.limits);
    for (const Arrival& a : row.before) {
        Feed(store, a);
    }
    EXPECT_EQ(Feed(store, row.newcomer), row.outcome);
    EXPECT_EQ(ListedIps(store), row.listed);
    EXPECT_LE(store.Size(), row.limits.max_replies);
}

// A device at 10.0.0.5 answers from 10.0.0.5 (self-consistent); decoys sent from
// its address claim other ips, or its own.
INSTANTIATE_TEST_SUITE_P(
    Rows, ReplyStoreAdmits,
    ::testing::Values(
        // The quota keeps a flooding sender's forgeries out...
        AdmitCase{"QuotaRefusesAForgery",
                  {16, 2, 8},
                  {{"10.0.0.9", "10.9.0.1", "a"}, {"10.0.0.9", "10.9.0.2", "b"}},
                  {"10.0.0.9", "10.9.0.3", "c"},
                  ReplyStore::Outcome::kDropped,
                  {u"10.9.0.1", u"10.9.0.2"}},
        // ...but never the sender's own reply: it takes a forgery's place.
        AdmitCase{"DecoysFromTheDevicesAddressDoNotHideIt",
                  {16, 2, 8},
                  {{"10.0.0.5", "10.9.0.1", "a"}, {"10.0.0.5", "10.9.0.2", "b"}},
                  {"10.0.0.5", "10.0.0.5", "dev"},
                  ReplyStore::Outcome::kStored,
                  {u"10.0.0.5", u"10.9.0.2"}},
        // Decoys that claim the device's own address are self-consistent too; the
        // device's reply replaces the oldest, and the ip stays listed.
        AdmitCase{"DecoysClaimingItsAddressKeepItListed",
                  {16, 2, 8},
                  {{"10.0.0.5", "10.0.0.5", "a"}, {"10.0.0.5", "10.0.0.5", "b"}},
                  {"10.0.0.5", "10.0.0.5", "dev"},
                  ReplyStore::Outcome::kStored,
                  {u"10.0.0.5"}},
        // Full of forgeries: a device's own reply pushes the biggest sender's oldest out.
        AdmitCase{"FullStoreMakesRoomForADevice",
                  {3, 8, 8},
                  {{"10.0.0.9", "10.9.0.1", "a"},
                   {"10.0.0.9", "10.9.0.2", "b"},
                   {"10.0.0.8", "10.8.0.1", "c"}},
                  {"10.0.0.5", "10.0.0.5", "dev"},
                  ReplyStore::Outcome::kStored,
                  {u"10.0.0.5", u"10.8.0.1", u"10.9.0.2"}},
        // Full of devices, one reply each: the newcomer is no likelier; first come stay.
        AdmitCase{"FullStoreOfDevicesKeepsThem",
                  {2, 8, 8},
                  {{"10.0.0.1", "10.0.0.1", "a"}, {"10.0.0.2", "10.0.0.2", "b"}},
                  {"10.0.0.3", "10.0.0.3", "c"},
                  ReplyStore::Outcome::kDropped,
                  {u"10.0.0.1", u"10.0.0.2"}},
        // Full of one sender's self-consistent replies: a sender with fewer wins.
        AdmitCase{"FullStoreFavoursTheSenderWithFewer",
                  {2, 8, 8},
                  {{"10.0.0.1", "10.0.0.1", "a"}, {"10.0.0.1", "10.0.0.1", "b"}},
                  {"10.0.0.3", "10.0.0.3", "c"},
                  ReplyStore::Outcome::kStored,
                  {u"10.0.0.1", u"10.0.0.3"}},
        // A forgery never pushes a device out.
        AdmitCase{"FullStoreRefusesAForgery",
                  {2, 8, 8},
                  {{"10.0.0.1", "10.0.0.1", "a"}, {"10.0.0.2", "10.0.0.2", "b"}},
                  {"10.0.0.9", "10.9.0.1", "c"},
                  ReplyStore::Outcome::kDropped,
                  {u"10.0.0.1", u"10.0.0.2"}},
        AdmitCase{"NoIpIsNeverStored",
                  {16, 2, 8},
                  {},
                  {"10.0.0.5", "", "x"},
                  ReplyStore::Outcome::kNoIp,
                  {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplyStore, RepeatRecordsTheCopyAndListsTheLatestRecordOfItsIp) {
    ReplyStore store;
    const Arrival first{"10.0.0.5", "10.0.0.5", "first"};
    const Arrival second{"10.0.0.5", "10.0.0.5", "second"};
    Feed(store, first, 0);
    Feed(store, second, 0);
    EXPECT_EQ(store.TakeChanged().size(), 1u);  // one ip changed, however often
    EXPECT_EQ(Feed(store, first, 1), ReplyStore::Outcome::kRepeat);
    EXPECT_EQ(store.Size(), 2u);
    const auto found = BuildFoundDevices(store, {{"a", "10.0.0.1", 24}, {"b", "10.1.0.1", 24}}, {});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].record.device_name, u"first");  // moved last by its repeat
    EXPECT_EQ(found[0].sources, (InlineList<std::uint32_t, 2>{*ipv4::Parse("10.0.0.5")}));
    EXPECT_EQ(found[0].verdict.adapters.size(), 2u);
    // The repeat made an older record the listed one again: that is a change.
    const auto changed = store.TakeChanged();
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].device_name, u"first");
    // A repeat of the listed reply changes nothing and wakes nobody.
    EXPECT_FALSE(store.TakeWake());
    Feed(store, first, 1);
    EXPECT_TRUE(store.TakeChanged().empty());
    EXPECT_FALSE(store.TakeWake());
}

// A device's senders, gathered over its replies and their copies: each once, first
// seen first, however many there are (the first two are kept in place, more on
// the heap).
TEST(ReplyStore, FoundDeviceSendersAreEachListedOnceInTheOrderFirstSeen) {
    ReplyStore store;
    for (const char* sender :
         {"10.0.0.5", "10.0.0.7", "10.0.0.8", "10.0.0.7", "10.0.0.5", "10.0.0.9", "0.0.0.0"}) {
        Feed(store, {sender, "10.0.0.5", "one"});
    }
    Feed(store, {"10.0.0.3", "10.0.0.5", "two"});  // a second reply for the same ip
    const auto found = BuildFoundDevices(store, {}, {});
    ASSERT_EQ(found.size(), 1u);
    const std::vector<std::uint32_t> expected = {Ip("10.0.0.5"), Ip("10.0.0.7"), Ip("10.0.0.8"),
                                                 Ip("10.0.0.9"), Ip("10.0.0.3")};
    EXPECT_TRUE(std::ranges::equal(found[0].sources, expected));
    EXPECT_EQ(found[0].sources.size(), expected.size());

    // Lists with the same items are equal whether they are in place or not.
    InlineList<std::uint32_t, 2> in_place{1, 2};
    InlineList<std::uint32_t, 2> spilled{1, 2, 3};
    EXPECT_NE(in_place, spilled);
    in_place.PushBack(3);
    EXPECT_EQ(in_place, spilled);
    EXPECT_TRUE((InlineList<std::uint32_t, 2>{}).empty());
}

TEST(ReplyStore, OneWakeUpPerBatchOfChanges) {
    ReplyStore store;
    Feed(store, {"10.0.0.1", "10.0.0.1", "a"});
    EXPECT_TRUE(store.TakeWake());
    Feed(store, {"10.0.0.2", "10.0.0.2", "b"});
    EXPECT_FALSE(store.TakeWake());  // the batch is still waiting
    EXPECT_EQ(store.TakeChanged().size(), 2u);
    Feed(store, {"10.0.0.3", "10.0.0.3", "c"});
    EXPECT_TRUE(store.TakeWake());
}

// A taker is given an ip's record only when it differs from the one it was last
// given, even when that one's reply was pushed out meanwhile.
TEST(ReplyStore, ChangesAreRecordsThatDifferFromTheLastTaken) {
    ReplyStore store(ReplyStoreLimits{16, 2, 8});
    auto record = [](std::u16string name) {
        DeviceInfo r;
        r.ip = u"10.0.0.5";
        r.device_name = std::move(name);
        return r;
    };
    auto names = [&store] {
        std::vector<std::u16string> out;
        for (const DeviceInfo& r : store.TakeChanged()) {
            out.push_back(r.device_name);
        }
        return out;
    };
    const std::uint32_t sender = Ip("10.0.0.5");
    store.Add("a", record(u"A"), sender, 0);
    EXPECT_EQ(names(), std::vector<std::u16string>{u"A"});
    // Other bytes with an equal record, after a different one: back where it was.
    store.Add("b", record(u"B"), sender, 0);
    store.Repeat("a", sender, 0);
    EXPECT_TRUE(names().empty());
    store.Repeat("b", sender, 0);
    EXPECT_EQ(names(), std::vector<std::u16string>{u"B"});
    // At the sender's quota "a" is pushed out by an equal record ("b" was given
    // last, so that is a change); then "b" goes for "a2" equal to what was given.
    store.Add("a2", record(u"A"), sender, 0);
    EXPECT_EQ(names(), std::vector<std::u16string>{u"A"});
    store.Add("b2", record(u"B"), sender, 0);
    store.Add("a3", record(u"A"), sender, 0);
    EXPECT_TRUE(names().empty());
    store.Add("c", record(u"C"), sender, 0);
    EXPECT_EQ(names(), std::vector<std::u16string>{u"C"});
}

// Ips pushed out and back many times between two takes (a sender at its quota of
// one: each new reply of its own replaces the last, the ip leaving the store for a
// moment) are each given once, with their latest record.
TEST(ReplyStore, AnIpThatWentAndCameBackIsGivenOnce) {
    ReplyStore store(ReplyStoreLimits{16, 1, 8});
    for (int round = 0; round < 200; ++round) {
        for (const char* ip : {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"}) {
            Feed(store, {ip, ip, std::to_string(round)});
        }
    }
    std::vector<std::u16string> ips;
    for (const DeviceInfo& r : store.TakeChanged()) {
        ips.push_back(r.ip);
        EXPECT_EQ(r.device_name, u"199");
    }
    EXPECT_EQ(ips,
              (std::vector<std::u16string>{u"10.0.0.1", u"10.0.0.2", u"10.0.0.3", u"10.0.0.4"}));
    EXPECT_TRUE(store.TakeChanged().empty());
}

// The collection of every reply and the store's found devices list the same
// records: the last record of each ip, sorted by ip.
TEST(ReplyStore, FoundDevicesListWhatTheCollectionOfAllRepliesLists) {
    const std::string a = sim::MakeReply("A", "TR400", "aa:00", "10.1.0.1");
    const std::string b = sim::MakeReply("B", "TR400", "aa:00", "10.1.0.1");  // same address
    const std::string c = sim::MakeReply("C", "TR9100", "cc:00", "10.1.0.2");
    const std::vector<std::string> replies = {a, b, c, a, c, "{}", "{}"};
    ReplyStore store;
    for (const std::string& r : replies) {
        store.Add(r, ParseReply(r), Ip("10.1.0.1"), 0);
    }
    const auto all = CollectDevices(replies);
    const auto found = BuildFoundDevices(store, {}, {});
    ASSERT_EQ(found.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(found[i].record, all[i]);
    }
    EXPECT_EQ(found[0].record.device_name, u"A");
}

// Two devices answering for one address are both kept, and which one is listed
// does not hang on arrival order (the window and the command line search apart):
// by MAC, each with its latest reply, a MAC before none. A MAC also claimed from
// another ip names that ip on both rows.
TEST(ReplyStore, EveryClaimOfAnIpIsKeptAndTheListedOneIsTheSameInAnyOrder) {
    const std::string a1 = sim::MakeReply("Twin A", "TR400", "02:00:00:00:00:0a", "10.1.0.5");
    const std::string a2 = sim::MakeReply("Twin A2", "TR400", "02:00:00:00:00:0A", "10.1.0.5");
    const std::string b = sim::MakeReply("Twin B", "TR400", "02:00:00:00:00:0b", "10.1.0.5");
    const std::string none = sim::MakeReply("No MAC", "TR400", "", "10.1.0.5");
    const std::string forged = sim::MakeReply("Twin A", "TR400", "02:00:00:00:00:0a", "10.1.0.2");
    auto found_after = [&](const std::vector<const std::string*>& order) {
        ReplyStore store;
        for (const std::string* r : order) {
            const bool claims_own = ParseReply(*r).ip == u"10.1.0.5";
            store.Add(*r, ParseReply(*r), Ip(claims_own ? "10.1.0.5" : "10.1.0.9"), 0);
        }
        return BuildFoundDevices(store, {}, {});
    };
    const auto found = found_after({&b, &a1, &none, &a2, &forged});
    EXPECT_EQ(found, found_after({&forged, &none, &a1, &a2, &b}));
    EXPECT_EQ(found, found_after({&a1, &a2, &none, &b, &forged}));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[1].record.device_name, u"Twin A2");
    ASSERT_EQ(found[1].other_claims.size(), 2u);
    EXPECT_EQ(found[1].other_claims[0].record.device_name, u"Twin B");
    EXPECT_EQ(found[1].other_claims[1].record.device_name, u"No MAC");
    EXPECT_EQ(found[1].other_claims[0].sources, (InlineList<std::uint32_t, 2>{Ip("10.1.0.5")}));
    EXPECT_EQ(found[1].verdict.conflict_count, 3);
    EXPECT_EQ(found[1].mac_elsewhere, std::vector<std::u16string>{u"10.1.0.2"});
    EXPECT_EQ(found[0].mac_elsewhere, std::vector<std::u16string>{u"10.1.0.5"});
    EXPECT_TRUE(found[0].other_claims.empty());
    // A store moved out gives the same devices.
    ReplyStore store;
    for (const std::string* r : {&b, &a1, &none, &a2, &forged}) {
        const bool claims_own = ParseReply(*r).ip == u"10.1.0.5";
        store.Add(*r, ParseReply(*r), Ip(claims_own ? "10.1.0.5" : "10.1.0.9"), 0);
    }
    EXPECT_EQ(BuildFoundDevices(std::move(store), {}, {}), found);
}

// Sorted by the ips' UTF-16 units, whether an ip is a short ASCII text (compared
// packed into numbers, those of dotted addresses made from their parsed values)
// or not: longer, wider, a prefix of another.
TEST(ReplyStore, FoundDevicesAreSortedByIpUnits) {
    const std::vector<std::u16string> ips = {u"10.1.0.9",
                                             u"10.1.0.10",
                                             u"10.1.0.1",
                                             u"10.1.0.1x",
                                             u"10.1.0.100.1000",
                                             u"10.1.0.100.10000",
                                             u"10.1.0.\u00e9",
                                             u"10.1.0.\u00e9\u00e9",
                                             u"10.1.0.1 ",
                                             u"\u4e00",
                                             u"1",
                                             u"10.1.0.100.1000.1",
                                             u"9",
                                             u"10.1.0.\U0001F600",
                                             u"~",
                                             u"10.1.0.\u007f",
                                             u"255.255.255.255",
                                             u"100.2.3.4",
                                             u"1.2.3.4",
                                             u"9.255.0.0",
                                             u"0.0.0.0"};
    ReplyStore store;
    for (std::size_t i = 0; i < ips.size(); ++i) {
        DeviceInfo record;
        record.ip = ips[i];
        record.id = u"02:00:00:00:00:01";
        EXPECT_EQ(store.Add("reply " + std::to_string(i), record, Ip("10.66.0.1"), 0),
                  ReplyStore::Outcome::kStored);
    }
    std::vector<std::u16string> expected = ips;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ListedIps(store), expected);
}

// Each ip's group as ForEachIp gives it (walking the store's own order, with the
// listed entry marked) equals the grouping of every stored reply by ip in arrival
// order, after a mix of new replies, repeats that change the listed record,
// quota refusals and evictions. A store moved out and the cleared one left behind
// stay apart.
TEST(ReplyStore, EachIpsGroupIsItsRepliesInArrivalOrder) {
    using Groups = std::map<std::u16string, std::vector<std::string>>;
    auto walked = [](const ReplyStore& store) {
        Groups groups;
        store.ForEachIp([&](std::span<const StoredReply* const> replies) {
            auto& bytes = groups[replies.back()->record.ip];
            EXPECT_TRUE(bytes.empty()) << "an ip walked twice";
            for (const StoredReply* r : replies) {
                EXPECT_EQ(r->record.ip, replies.back()->record.ip);
                bytes.push_back(r->bytes);
            }
        });
        return groups;
    };
    auto grouped = [](const ReplyStore& store) {
        Groups groups;
        store.ForEach([&](const StoredReply& r) { groups[r.record.ip].push_back(r.bytes); });
        return groups;
    };
    std::mt19937 random(7);
    ReplyStore store({.max_replies = 40, .max_per_source = 9, .max_sources_per_reply = 4});
    std::vector<std::string> sent;
    for (int step = 0; step < 3000; ++step) {
        const int sender = static_cast<int>(random() % 8);
        const std::string ip = "10.1.0." + std::to_string(random() % 12 + 1);
        const std::string from = random() % 3 == 0 ? ip : "10.2.0." + std::to_string(sender);
        std::string bytes;
        if (!sent.empty() && random() % 2 == 0) {
            bytes = sent[random() % sent.size()];  // a repeat, maybe of a pushed-out reply
        } else {
            bytes = sim::MakeReply("d" + std::to_string(step), "TR400", "aa:00", ip);
            sent.push_back(bytes);
        }
        store.Add(bytes, ParseReply(bytes), Ip(from), 0);
        if (step % 97 == 0) {
            ASSERT_EQ(walked(store), grouped(store)) << "after step " << step;
        }
    }
    ASSERT_EQ(walked(store), grouped(store));
    EXPECT_EQ(store.IpCount(), grouped(store).size());

    const Groups before = grouped(store);
    ReplyStore taken = std::move(store);
    store.Clear();
    Feed(store, {"10.3.0.1", "10.3.0.1", "new"});
    EXPECT_EQ(walked(taken), before);
    EXPECT_EQ(walked(store).size(), 1u);
}

// The flood of the capacity case, at full size: 16,384 distinct forgeries from 256
// senders fill the store before 50 devices answer; all 50 are listed.
TEST(ReplyStore, FloodFromManySendersHidesNoDevice) {
    ReplyStore store;
    for (int s = 0; s < 256; ++s) {
        for (int k = 0; k < 64; ++k) {
            const std::string sender = "10.66." + std::to_string(s) + ".1";
            const std::string claimed = "10.99." + std::to_string(s) + "." + std::to_string(k + 1);
            Feed(store, {sender, claimed, std::to_string(s) + "-" + std::to_string(k)});
        }
    }
    ASSERT_EQ(store.Size(), 16384u);
    for (int d = 1; d <= 50; ++d) {
        const std::string ip = "10.200.0." + std::to_string(d);
        EXPECT_EQ(Feed(store, {ip, ip, "dev" + std::to_string(d)}), ReplyStore::Outcome::kStored);
    }
    int listed = 0;
    for (const FoundDevice& d : BuildFoundDevices(store, {}, {})) {
        listed += d.record.ip.starts_with(u"10.200.") ? 1 : 0;
    }
    EXPECT_EQ(listed, 50);
    EXPECT_EQ(store.Size(), 16384u);
    EXPECT_EQ(store.Dropped(), 50u);
}

}  // namespace
}  // namespace orvandel
