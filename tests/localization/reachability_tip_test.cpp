// The tooltip of a row from its verdict: which texts, which adapter they name, and
// what an ok device gets.
#include "localization/reachability_tip.h"

#include <gtest/gtest.h>

#include "localization/placeholders.h"
#include "temp_dir.h"

namespace orvandel {
namespace {

DeviceInfo Record(std::u16string ip, std::u16string mac) {
    DeviceInfo d;
    d.ip = std::move(ip);
    d.id = std::move(mac);
    return d;
}

class ReachabilityTipTest : public ::testing::Test {
protected:
    test::TempDir dir_;
    UiStrings strings_{dir_ / "setting.cfg"};
    const AdapterAddress unknown_{"tun0", "10.9.0.2", 99};  // no usable subnet
    const AdapterAddress eth0_{"eth0", "10.77.0.1", 24};

    std::u16string Tip(std::u16string_view ip, const std::vector<DeviceReply>& replies,
                       const std::vector<std::string>& own = {}) {
        return ReachabilityTip(strings_, ip, JudgeReachability(ip, replies, own));
    }
};

TEST_F(ReachabilityTipTest, OkDeviceGetsNoTooltip) {
    EXPECT_EQ(Tip(u"10.77.0.9", {{Record(u"10.77.0.9", u"aa"), {eth0_}, "10.77.0.9"}}), u"");
}

TEST_F(ReachabilityTipTest, OtherNetworkNamesTheAdapterWhoseSubnetIsKnown) {
    const std::u16string tip =
        Tip(u"192.168.0.57", {{Record(u"192.168.0.57", u"aa"), {unknown_, eth0_}, ""}});
    EXPECT_EQ(tip, FillPlaceholders(strings_.TipOtherNetwork,
                                    {u"192.168.0.57", u"10.77.0.0/24", u"eth0", 0, {}}));
}

TEST_F(ReachabilityTipTest, OwnAddressSharedWithTwoDevicesGivesBothConflictTexts) {
    const std::u16string tip = Tip(
        u"10.77.0.1",
        {{Record(u"10.77.0.1", u"aa"), {eth0_}, ""}, {Record(u"10.77.0.1", u"bb"), {eth0_}, ""}},
        {"10.77.0.1"});
    const std::u16string own =
        FillPlaceholders(strings_.TipConflictOwnAddress, {u"10.77.0.1", {}, {}, 0, {}});
    const std::u16string devices =
        FillPlaceholders(strings_.TipConflictDevices, {u"10.77.0.1", {}, {}, 2, {}});
    EXPECT_EQ(tip, own + u"\n\n" + devices);
    // With one device only the own-address text.
    EXPECT_EQ(Tip(u"10.77.0.1", {{Record(u"10.77.0.1", u"aa"), {eth0_}, ""}}, {"10.77.0.1"}), own);
}

TEST_F(ReachabilityTipTest, NotedSourceFollowsTheStatusOrStandsAlone) {
    const std::u16string noted =
        FillPlaceholders(strings_.TipNotedSource, {{}, {}, {}, 0, u"10.77.0.8"});
    EXPECT_EQ(Tip(u"10.77.0.9", {{Record(u"10.77.0.9", u"aa"), {eth0_}, "10.77.0.8"}}), noted);
    strings_.SetLanguage(kJapanese);
    const std::u16string ja =
        Tip(u"169.254.1.2", {{Record(u"169.254.1.2", u"aa"), {eth0_}, "10.77.0.8"}});
    EXPECT_EQ(
        ja,
        FillPlaceholders(strings_.TipLinkLocal, {u"169.254.1.2", u"10.77.0.0/24", u"eth0", 0, {}}) +
            u"\n\n" + FillPlaceholders(strings_.TipNotedSource, {{}, {}, {}, 0, u"10.77.0.8"}));
    EXPECT_NE(ja.find(u"169.254.1.2"), std::u16string::npos);
}

}  // namespace
}  // namespace orvandel
