#include "discovery/collection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/reply_parser.h"
#include "tests/discovery/device_reply.h"

namespace orvandel {
namespace {

using testing_replies::Reply;

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

}  // namespace
}  // namespace orvandel
