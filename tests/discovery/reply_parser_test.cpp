#include "discovery/reply_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace orvandel {
namespace {

using Field = std::u16string DeviceInfo::*;
using Expected = std::vector<std::pair<Field, std::u16string>>;

// Every stored field equals its expected value; fields not listed are empty.
void ExpectFields(const DeviceInfo& info, const Expected& expected) {
    for (const DeviceField& field : kReplyKeyFields) {
        std::u16string want;
        for (const auto& [f, value] : expected) {
            if (f == field.member) {
                want = value;
            }
        }
        EXPECT_EQ(info.*field.member, want) << "field " << field.key;
    }
}

struct ParseCase {
    const char* name;
    std::string bytes;
    Expected expected;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

class ParseReplyCase : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseReplyCase, Fields) {
    const DeviceInfo info = ParseReply(GetParam().bytes);
    ExpectFields(info, GetParam().expected);
}

// A device's reply as sent, every key in table order, interfaces under "nic".
const char kFullReply[] =
    "{\n"
    "\t\"command\": \"browse_ack\",\n"
    "\t\"device_name\": \"Kitchen\",\n"
    "\t\"org\": \"Kestrilon\",\n"
    "\t\"model\": \"TR400\",\n"
    "\t\"master_version\": \"1.0.27\",\n"
    "\t\"daily\": \"20240312\",\n"
    "\t\"uboot_version\": \"2016.11\",\n"
    "\t\"sku\": \"EU\",\n"
    "\t\"sub_model\": \"A2\",\n"
    "\t\"nic\": [{\n"
    "\t\t\"enable\": true,\n"
    "\t\t\"id\": \"00:1a:2b:3c:4d:5e\",\n"
    "\t\t\"dhcp\": \"on\",\n"
    "\t\t\"name\": \"eth0\",\n"
    "\t\t\"ip\": \"192.168.1.20\",\n"
    "\t\t\"mask\": \"255.255.255.0\",\n"
    "\t\t\"gateway\": \"192.168.1.1\",\n"
    "\t\t\"dns\": \"192.168.1.1\",\n"
    "\t\t\"isConnected\": true\n"
    "\t}]\n"
    "}";

const Expected kFullFields = {
    {&DeviceInfo::command, u"browse_ack"},
    {&DeviceInfo::device_name, u"Kitchen"},
    {&DeviceInfo::org, u"Kestrilon"},
    {&DeviceInfo::model, u"TR400"},
    {&DeviceInfo::master_version, u"1.0.27"},
    {&DeviceInfo::daily, u"20240312"},
    {&DeviceInfo::uboot_version, u"2016.11"},
    {&DeviceInfo::sub_model, u"A2"},
    {&DeviceInfo::id, u"00:1a:2b:3c:4d:5e"},
    {&DeviceInfo::dhcp, u"on"},
    {&DeviceInfo::name, u"eth0"},
    {&DeviceInfo::ip, u"192.168.1.20"},
    {&DeviceInfo::mask, u"255.255.255.0"},
    {&DeviceInfo::gateway, u"192.168.1.1"},
    {&DeviceInfo::dns, u"192.168.1.1"},
};

INSTANTIATE_TEST_SUITE_P(
    Replies, ParseReplyCase,
    testing::Values(
        ParseCase{"FullReplyInTableOrder", kFullReply, kFullFields},
        // Same keys, minified and in reverse order: order and layout do not matter.
        ParseCase{"KeysInAnyOrder",
                  R"({"dns":"8.8.8.8","ip":"10.0.0.7","id":"aa:bb","sub_model":"S",)"
                  R"("model":"TR9100","device_name":"Den","command":"x"})",
                  {{&DeviceInfo::dns, u"8.8.8.8"},
                   {&DeviceInfo::ip, u"10.0.0.7"},
                   {&DeviceInfo::id, u"aa:bb"},
                   {&DeviceInfo::sub_model, u"S"},
                   {&DeviceInfo::model, u"TR9100"},
                   {&DeviceInfo::device_name, u"Den"},
                   {&DeviceInfo::command, u"x"}}},
        // Commas, brackets, braces and tabs inside a value belong to the value.
        ParseCase{"ValueWithComma",
                  "{\"device_name\": \"Living Room, Upstairs [2] {a}\tz\", \"ip\": \"10.0.0.1\"}",
                  {{&DeviceInfo::device_name, u"Living Room, Upstairs [2] {a}\tz"},
                   {&DeviceInfo::ip, u"10.0.0.1"}}},
        // An empty value stores nothing and does not swallow the next key.
        ParseCase{"EmptyOrgKeepsModel",
                  R"({"org": "", "model": "TR9100"})",
                  {{&DeviceInfo::model, u"TR9100"}}},
        // A value that is a leading part of the next key is still a value.
        ParseCase{"ModelNamedLikeNextKey",
                  R"({"model": "m", "master_version": "master"})",
                  {{&DeviceInfo::model, u"m"}, {&DeviceInfo::master_version, u"master"}}},
        // Bare values are stored as written and do not eat the next key's value.
        ParseCase{"NumberAndTrueValues",
                  R"({"dhcp": 1, "name": true, "ip": "10.0.0.2", "mask": -1.5e3})",
                  {{&DeviceInfo::dhcp, u"1"},
                   {&DeviceInfo::name, u"true"},
                   {&DeviceInfo::ip, u"10.0.0.2"},
                   {&DeviceInfo::mask, u"-1.5e3"}}},
        // The value of a skipped key is never read as a key.
        ParseCase{"SkuValueIsNotAKey",
                  R"({"sku": "device_name", "enable": "ip", "isConnected": "id", "nic": "dns",)"
                  R"( "sub_model": "B"})",
                  {{&DeviceInfo::sub_model, u"B"}}},
        // Only exact, case-sensitive keys count; values of unknown keys are not keys.
        ParseCase{"KeyPrefixIsNotAKey",
                  R"({"i": "10.0.0.1", "dev": "x", "IP": "10.0.0.2", "Command": "browse",)"
                  R"( "label": "ip", "note": "id": "z", "ip_address": "10.0.0.3"})",
                  {}},
        // Two interfaces under "nic": the later non-empty value wins, empties keep.
        ParseCase{"NicArrayLaterWins",
                  R"({"nic": [{"enable": true, "id": "aa:aa", "ip": "10.0.0.1", "dns": "1.1.1.1"},)"
                  R"( {"enable": false, "id": "bb:bb", "ip": "10.0.0.2", "dns": ""}]})",
                  {{&DeviceInfo::id, u"bb:bb"},
                   {&DeviceInfo::ip, u"10.0.0.2"},
                   {&DeviceInfo::dns, u"1.1.1.1"}}},
        // null counts as empty and keeps the earlier value.
        ParseCase{"NullKeepsEarlierValue",
                  R"({"device_name": "A", "device_name": null, "model": null})",
                  {{&DeviceInfo::device_name, u"A"}}},
        // A value that opens an object stores nothing; its keys are read. An array
        // whose first element is a string gives that string, and the rest of the
        // array is read as usual.
        ParseCase{"ValueObjectIsScannedInside",
                  R"({"device_name": {"ip": "10.0.0.9"}, "model": ["id", {"id": "cc"}]})",
                  {{&DeviceInfo::ip, u"10.0.0.9"},
                   {&DeviceInfo::model, u"id"},
                   {&DeviceInfo::id, u"cc"}}},
        ParseCase{"ArrayValueGivesItsFirstString",
                  R"({"ip": ["10.0.0.19"], "id": [ "aa:bb", "cc:dd"], "device_name": ["A, B"]})",
                  {{&DeviceInfo::ip, u"10.0.0.19"},
                   {&DeviceInfo::id, u"aa:bb"},
                   {&DeviceInfo::device_name, u"A, B"}}},
        // Any other array stores nothing and is scanned inside; a skipped key's
        // array gives nothing either.
        ParseCase{"OtherArraysStoreNothing",
                  R"({"ip": [1, "10.0.0.5"], "model": [["TR9100"]], "device_name": [],)"
                  R"( "org": [""], "sku": ["id"], "dns": [{"ip": "10.0.0.6"}]})",
                  {{&DeviceInfo::ip, u"10.0.0.6"}}},
        // A missing value does not take the next key as its value.
        ParseCase{"MissingValue",
                  R"({"device_name": , "model": "TR400", "ip":})",
                  {{&DeviceInfo::model, u"TR400"}}},
        // An unterminated string runs to the end of the text.
        ParseCase{"UnterminatedString",
                  R"({"ip": "10.0.0.1", "device_name": "Tail, "end)",
                  {{&DeviceInfo::ip, u"10.0.0.1"}, {&DeviceInfo::device_name, u"Tail, "}}},
        ParseCase{"UnterminatedValueRunsToEnd",
                  "{\"ip\": \"10.0.0.1\", \"device_name\": \"Tail, end}",
                  {{&DeviceInfo::ip, u"10.0.0.1"}, {&DeviceInfo::device_name, u"Tail, end}"}}},
        // Escapes, an escaped key and a surrogate pair joined into one character.
        ParseCase{"EscapesAndSurrogatePair",
                  R"({"device_name": "a\"b\\c\/d\b\f\n\r\t\u00e9\uD83D\uDE00", "\u0069p": "1"})",
                  {{&DeviceInfo::device_name, u"a\"b\\c/d\b\f\n\r\t\u00e9\U0001F600"},
                   {&DeviceInfo::ip, u"1"}}},
        // Lone surrogates become U+FFFD; malformed escapes are kept as written.
        ParseCase{"BadEscapes",
                  R"({"device_name": "\uD83Dx\uDE00\uD83D\u0041\q\u12G4", "org": "\)",
                  {{&DeviceInfo::device_name, u"\uFFFDx\uFFFD\uFFFDA\\q\\u12G4"},
                   {&DeviceInfo::org, u"\\"}}},
        // Raw UTF-8 passes through; invalid sequences become U+FFFD.
        ParseCase{"InvalidUtf8",
                  "{\"device_name\": \"\xE5\xAE\xA2\xE5\xBB\xB3 \xF0\x9F\x93\xBA\", "
                  "\"org\": \"A\xFF\xC3"
                  "B\xC0\xAF\xED\xA0\x80\xF0\x9F\x98\"}",
                  {{&DeviceInfo::device_name, u"\u5BA2\u5EF3 \U0001F4FA"},
                   {&DeviceInfo::org, u"A\uFFFD\uFFFDB\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"}}},
        // The browse command itself: "Command" matches no key.
        ParseCase{"BrowseCommand", std::string(kBrowseCommand), {}},
        ParseCase{"EmptyInput", "", {}}),
    [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(MayGiveIp, FalseOnlyWhereTheParseGivesNoIp) {
    for (const char* text : {"{}", "{\"noise\": 1, \"pad\": \"xx\"}", "{\"ipx\": \"1\"}"}) {
        EXPECT_FALSE(MayGiveIp(text)) << text;
        EXPECT_TRUE(ParseReply(text).ip.empty()) << text;
    }
    EXPECT_TRUE(MayGiveIp(R"({"ip": "10.0.0.1"})"));
    EXPECT_TRUE(MayGiveIp(R"({"\u0069p": "10.0.0.1"})"));  // an escaped key
    EXPECT_EQ(ParseReply(R"({"\u0069p": "10.0.0.1"})").ip, u"10.0.0.1");
}

TEST(ParseReply, BrowseCommandBytes) {
    const unsigned char expected[] = {0x7B, 0x0A, 0x09, 0x22, 0x43, 0x6F, 0x6D, 0x6D,
                                      0x61, 0x6E, 0x64, 0x22, 0x3A, 0x20, 0x22, 0x62,
                                      0x72, 0x6F, 0x77, 0x73, 0x65, 0x22, 0x0A, 0x7D};
    ASSERT_EQ(kBrowseCommand.size(), sizeof expected);
    for (std::size_t i = 0; i < sizeof expected; ++i) {
        EXPECT_EQ(static_cast<unsigned char>(kBrowseCommand[i]), expected[i]) << i;
    }
    EXPECT_EQ(ParseReply(kBrowseCommand).raw_text, u"{\n\t\"Command\": \"browse\"\n}");
}

TEST(ParseReply, RawTextIsTheDecodedReply) {
    const DeviceInfo info = ParseReply(kFullReply);
    EXPECT_EQ(info.raw_text.size(), sizeof kFullReply - 1);
    EXPECT_EQ(info.raw_text.substr(0, 14), u"{\n\t\"command\": ");
}

// The largest datagram: every field still parsed, raw_text whole.
TEST(ParseReply, Reply1024Bytes) {
    std::string reply = kFullReply;
    const std::string head = "{\"device_name\": \"";
    const std::size_t pad = 1024 + 1 - reply.size() - head.size() - 3;
    reply = head + std::string(pad, 'n') + "\", " + reply.substr(1);
    ASSERT_EQ(reply.size(), 1024u);
    const DeviceInfo info = ParseReply(reply);
    EXPECT_EQ(info.raw_text.size(), 1024u);
    Expected expected = kFullFields;
    expected.push_back({&DeviceInfo::device_name, u"Kitchen"});  // the later value wins
    ExpectFields(info, expected);
}

TEST(ParseReply, LongValuesAreCut) {
    const std::string long_value(3000, 'x');
    DeviceInfo info = ParseReply("{\"device_name\": \"" + long_value + "\", \"ip\": \"10.0.0.1\"}");
    EXPECT_EQ(info.device_name, std::u16string(1023, u'x'));
    EXPECT_EQ(info.ip, u"10.0.0.1");

    // A surrogate pair that would straddle the cut is dropped whole.
    info = ParseReply("{\"org\": \"" + std::string(1022, 'y') + "\xF0\x9F\x98\x80z\"}");
    EXPECT_EQ(info.org, std::u16string(1022, u'y'));
}

TEST(ParseReply, RawTextIsCut) {
    const DeviceInfo info = ParseReply("{\"ip\": \"10.0.0.1\", \"x\": \"" + std::string(5000, 'x'));
    EXPECT_EQ(info.raw_text.size(), kRawTextCapacity - 1);
    EXPECT_EQ(info.ip, u"10.0.0.1");
}

TEST(ParseReply, NulEndsTheText) {
    const std::string reply("{\"ip\": \"10.0.0.1\"}\0{\"id\": \"aa\"}", 32);
    const DeviceInfo info = ParseReply(reply);
    EXPECT_EQ(info.raw_text, u"{\"ip\": \"10.0.0.1\"}");
    EXPECT_TRUE(info.id.empty());
}

// The table names each field once under its own key, and the full reply above sets
// every field read from a key: a field left out of the table would go unread.
TEST(DeviceFields, EachFieldOnceUnderItsOwnKey) {
    ASSERT_EQ(kDeviceFields.size(), 16u);
    EXPECT_EQ(kDeviceFields[0].member, &DeviceInfo::raw_text);
    EXPECT_EQ(kDeviceFields[0].capacity, kRawTextCapacity);
    for (std::size_t i = 0; i < kDeviceFields.size(); ++i) {
        for (std::size_t j = i + 1; j < kDeviceFields.size(); ++j) {
            EXPECT_NE(kDeviceFields[i].member, kDeviceFields[j].member) << i << " " << j;
            EXPECT_NE(kDeviceFields[i].key, kDeviceFields[j].key) << i << " " << j;
        }
    }
    ASSERT_EQ(kReplyKeyFields.size(), kFullFields.size());
    const DeviceInfo info = ParseReply(kFullReply);
    for (const DeviceField& field : kReplyKeyFields) {
        EXPECT_FALSE((info.*field.member).empty()) << field.key;
        EXPECT_EQ(field.capacity, kFieldCapacity) << field.key;
    }
}

}  // namespace
}  // namespace orvandel
