#include "discovery/ipv4.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

namespace orvandel::ipv4 {
namespace {

struct ParseCase {
    const char* label;
    std::u16string_view text;
    std::optional<Address> value;
};

void PrintTo(const ParseCase& row, std::ostream* os) {
    *os << row.label;
}

class Ipv4Text : public ::testing::TestWithParam<ParseCase> {};

// Both faces of the parser agree, and what parses is written back as given.
TEST_P(Ipv4Text, Parses) {
    const ParseCase& row = GetParam();
    EXPECT_EQ(Parse(row.text), row.value);
    bool ascii = true;
    std::string narrow;
    for (const char16_t c : row.text) {
        ascii = ascii && c < 0x80;
        narrow.push_back(static_cast<char>(c));
    }
    if (ascii) {
        EXPECT_EQ(Parse(std::string_view(narrow)), row.value);
    }
    if (row.value) {
        EXPECT_EQ(Format(*row.value), narrow);
    }
}

// The found devices are sorted by keys made from parsed values: every value must
// read back as the text it came from, whatever the number of digits in each part.
TEST(Ipv4Format, WritesBackEveryPartAsParsed) {
    for (Address part = 0; part < 256; ++part) {
        const std::string p = std::to_string(part);
        for (const std::string& text : {p + ".0.0.0", "1.2.3." + p, "10." + p + ".200." + p}) {
            const std::optional<Address> value = Parse(std::string_view(text));
            ASSERT_TRUE(value.has_value()) << text;
            EXPECT_EQ(Format(*value), text);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Ipv4Text,
    ::testing::Values(ParseCase{"Ordinary", u"192.168.0.57", 0xC0A80039},
                      ParseCase{"Zeros", u"0.0.0.0", 0}, ParseCase{"Max", u"255.255.255.255", ~0u},
                      ParseCase{"PartTooLarge", u"256.1.1.1", std::nullopt},
                      ParseCase{"LeadingZero", u"10.07.0.1", std::nullopt},
                      ParseCase{"FourDigits", u"1000.0.0.1", std::nullopt},
                      ParseCase{"ThreeParts", u"10.0.1", std::nullopt},
                      ParseCase{"FiveParts", u"10.0.0.1.5", std::nullopt},
                      ParseCase{"TrailingDot", u"10.0.0.1.", std::nullopt},
                      ParseCase{"EmptyPart", u"10..0.1", std::nullopt},
                      ParseCase{"Space", u" 10.0.0.1", std::nullopt},
                      ParseCase{"Sign", u"+10.0.0.1", std::nullopt},
                      ParseCase{"Hex", u"0x0a.0.0.1", std::nullopt},
                      ParseCase{"FullwidthDigits", u"\uFF11\uFF10.0.0.1", std::nullopt},
                      ParseCase{"EmbeddedNul", std::u16string_view(u"10.0.0.1\0", 9), std::nullopt},
                      ParseCase{"Empty", u"", std::nullopt}),
    [](const auto& info) { return std::string(info.param.label); });

struct KindCase {
    const char* label;
    std::u16string_view text;
    Kind kind;
    bool openable;
};

void PrintTo(const KindCase& row, std::ostream* os) {
    *os << row.label;
}

class Ipv4Kind : public ::testing::TestWithParam<KindCase> {};

TEST_P(Ipv4Kind, ClassifiesAndGates) {
    EXPECT_EQ(Classify(*Parse(GetParam().text)), GetParam().kind);
    EXPECT_EQ(IsOpenableText(GetParam().text), GetParam().openable);
}

// The edges of each range, one row per side.
INSTANTIATE_TEST_SUITE_P(
    Rows, Ipv4Kind,
    ::testing::Values(KindCase{"ThisNetworkTop", u"0.255.255.255", Kind::kThisNetwork, false},
                      KindCase{"FirstHost", u"1.0.0.0", Kind::kUnicast, true},
                      KindCase{"BelowLoopback", u"126.255.255.255", Kind::kUnicast, true},
                      KindCase{"Loopback", u"127.0.0.1", Kind::kLoopback, false},
                      KindCase{"AboveLoopback", u"128.0.0.0", Kind::kUnicast, true},
                      KindCase{"LinkLocal", u"169.254.0.1", Kind::kLinkLocal, true},
                      KindCase{"NextToLinkLocal", u"169.255.0.1", Kind::kUnicast, true},
                      KindCase{"LastUnicast", u"223.255.255.255", Kind::kUnicast, true},
                      KindCase{"MulticastFirst", u"224.0.0.0", Kind::kMulticast, false},
                      KindCase{"MulticastLast", u"239.255.255.255", Kind::kMulticast, false},
                      KindCase{"Reserved", u"240.0.0.0", Kind::kReserved, false},
                      KindCase{"LimitedBroadcast", u"255.255.255.255", Kind::kReserved, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Ipv4Subnet, MaskMembershipAndText) {
    EXPECT_EQ(Mask(0), 0u);
    EXPECT_EQ(Mask(24), 0xFFFFFF00u);
    EXPECT_EQ(Mask(32), 0xFFFFFFFFu);
    const Address net = *Parse("10.77.0.1");
    EXPECT_TRUE(InSubnet(*Parse("10.77.0.254"), net, 24));
    EXPECT_FALSE(InSubnet(*Parse("10.77.1.1"), net, 24));
    EXPECT_TRUE(InSubnet(*Parse("8.8.8.8"), net, 0));
    EXPECT_FALSE(InSubnet(*Parse("10.77.0.2"), net, 32));
    EXPECT_FALSE(InSubnet(net, net, 33));
    EXPECT_FALSE(InSubnet(net, net, -1));
    EXPECT_EQ(SubnetText(net, 24), "10.77.0.0/24");
    EXPECT_EQ(SubnetText(net, 33), "");
}

}  // namespace
}  // namespace orvandel::ipv4
