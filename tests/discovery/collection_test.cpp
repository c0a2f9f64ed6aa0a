#include "discovery/collection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/reply_parser.h"

namespace orvandel {
namespace {

std::string Reply(const std::string& name, const std::string& ip, const std::string& id,
                  const std::string& model = "TR400") {
    return "{\"device_name\": \"" + name + "\", \"model\": \"" + model +
           "\", \"nic\": [{\"id\": \"" + id + "\", \"ip\": \"" + ip + "\"}]}";
}

TEST(CollectDevices, ThreeRepliesFromOneDeviceGiveOneRow) {
    const auto devices =
        CollectDevices({Reply("first", "10.0.0.5", "aa"), Reply("second", "10.0.0.5", "aa"),
                        Reply("third", "10.0.0.5", "aa")});
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].device_name, u"third");  // the one stored last
    EXPECT_EQ(BuildRows(devices).size(), 1u);
}

TEST(CollectDevices, SortedByIpAsText) {
    const auto devices =
        CollectDevices({Reply("nine", "192.168.1.9", "09"), Reply("ten", "192.168.1.10", "10"),
                        Reply("two", "10.0.0.2", "02"), Reply("nine again", "192.168.1.9", "99")});
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].ip, u"10.0.0.2");
    EXPECT_EQ(devices[1].ip, u"192.168.1.10");
    EXPECT_EQ(devices[2].ip, u"192.168.1.9");
    EXPECT_EQ(devices[2].device_name, u"nine again");
}

TEST(CollectDevices, DropsEmptyRepliesAndRecordsWithoutIp) {
    const auto devices = CollectDevices({"", std::string(kBrowseCommand), Reply("no ip", "", "aa"),
                                         "garbage", Reply("kept", "10.0.0.1", "bb")});
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].device_name, u"kept");
    EXPECT_TRUE(CollectDevices({"", std::string(kBrowseCommand)}).empty());
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
