#include "controls/device_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "discovery/collection.h"
#include "tests/discovery/device_reply.h"

namespace orvandel {
namespace {

using testing_replies::Reply;

TEST(CollectDevices, ThreeRepliesFromOneDeviceGiveOneRow) {
    const auto devices =
        CollectDevices({Reply("first", "10.0.0.5", "aa"), Reply("second", "10.0.0.5", "aa"),
                        Reply("third", "10.0.0.5", "aa")});
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].device_name, u"third");  // the one stored last
    EXPECT_EQ(BuildRows(devices).size(), 1u);
}

TEST(BuildRows, RecordWithoutIdCountsButGetsNoRow) {
    const auto devices = CollectDevices({Reply("no id", "10.0.0.1", "")});
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_TRUE(BuildRows(devices).empty());
}

TEST(BuildRows, RowTexts) {
    const auto rows =
        BuildRows(CollectDevices({Reply("Den \xC3\xA9", "10.0.0.1", "0a:1b:fc:\xC3\xA9")}));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, u"Den \u00e9");
    EXPECT_EQ(rows[0].ip, u"10.0.0.1");
    EXPECT_EQ(rows[0].ip_line, u"    IP: 10.0.0.1");
    // Upper-casing covers the whole line, ASCII letters only.
    EXPECT_EQ(rows[0].mac_line, u"    MAC: 0A:1B:FC:\u00e9");
}

TEST(BuildRows, LinesAreCutAt63Units) {
    const std::string long_text(100, 'f');
    const auto rows = BuildRows(CollectDevices({Reply("x", long_text, long_text)}));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].ip_line, u"    IP: " + std::u16string(55, u'f'));
    EXPECT_EQ(rows[0].mac_line, u"    MAC: " + std::u16string(54, u'F'));
    EXPECT_EQ(rows[0].ip, std::u16string(100, u'f'));
}

// A row text holds 511 units; a long name must not push the address lines out of it.
TEST(BuildRows, LongNameLeavesRoomForTheAddressLines) {
    const std::string ip = "192.168.100.200";
    const std::string mac = "0c:1a:2b:3c:4d:5e";
    for (const std::size_t length : {446u, 447u, 490u, 600u, 1000u}) {
        const auto rows = BuildRows(CollectDevices({Reply(std::string(length, 'n'), ip, mac)}));
        ASSERT_EQ(rows.size(), 1u);
        const DeviceRow& row = rows[0];
        EXPECT_EQ(row.ip_line, u"    IP: 192.168.100.200");
        EXPECT_EQ(row.mac_line, u"    MAC: 0C:1A:2B:3C:4D:5E");
        const std::size_t whole = row.name.size() + 2 + row.ip_line.size() + row.mac_line.size();
        EXPECT_EQ(row.name.size(), std::min<std::size_t>(length, 511 - 2 - 23 - 26)) << length;
        EXPECT_LE(whole, 511u);
    }
    // The cut never leaves half a surrogate pair: with a 16-character id there are 461
    // units of room, which 230 pairs and the high half of one more would fill.
    std::string pairs;
    for (int i = 0; i < 300; ++i) {
        pairs += "\xF0\x9F\x93\xBA";  // U+1F4FA, two units
    }
    const auto rows = BuildRows(CollectDevices({Reply(pairs, ip, mac.substr(0, 16))}));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name.size(), 460u);
    EXPECT_EQ(rows[0].name.back(), u'\xDCFA');
}

struct ModelCase {
    const char* name;
    std::u16string model;
    int index;
};

void PrintTo(const ModelCase& c, std::ostream* os) {
    *os << c.name;
}

class ModelIndexCase : public testing::TestWithParam<ModelCase> {};

TEST_P(ModelIndexCase, Icon) {
    EXPECT_EQ(ModelIndex(GetParam().model), GetParam().index);
    // The row takes the same index.
    const auto rows = BuildRows(CollectDevices({Reply(
        "d", "10.0.0.1", "aa", std::string(GetParam().model.begin(), GetParam().model.end()))}));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].model_index, GetParam().index);
}

INSTANTIATE_TEST_SUITE_P(
    Models, ModelIndexCase,
    testing::Values(ModelCase{"TR400", u"TR400", 0}, ModelCase{"TR9100", u"TR9100", 1},
                    ModelCase{"Empty", u"", 0}, ModelCase{"LeadingT", u"TR", 0},
                    ModelCase{"LeadingTR9", u"TR9", 1}, ModelCase{"TR4000", u"TR4000", 0},
                    ModelCase{"TR91000", u"TR91000", 0}, ModelCase{"LowerCase", u"tr9100", 0},
                    ModelCase{"Unknown", u"X1", 0}),
    [](const testing::TestParamInfo<ModelCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvandel
