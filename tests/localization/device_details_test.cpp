// A device's details text: the full and a sparse reply in the four languages'
// shape, and hostile fields that try to hide, reorder, add lines or start markup.
#include "localization/device_details.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

#include "discovery/device_info.h"
#include "localization/display_text.h"
#include "localization/ui_strings.h"
#include "temp_dir.h"

namespace orvandel {
namespace {

using namespace std::string_literals;

DeviceInfo FullReply() {
    DeviceInfo d;
    d.device_name = u"Living Room";
    d.org = u"Kestrilon";  // not shown
    d.model = u"TR400";
    d.sub_model = u"TR400-B";
    d.master_version = u"1.0.7";
    d.daily = u"20190412";
    d.uboot_version = u"2016.11";
    d.id = u"02:5a:00:00:04:0f";
    d.dhcp = u"on";
    d.name = u"eth0";  // the interface, not shown
    d.ip = u"10.77.0.2";
    d.mask = u"255.255.255.0";
    d.gateway = u"10.77.0.254";
    d.dns = u"10.77.0.53";
    return d;
}

std::u16string DetailsIn(LanguageId id, const DeviceInfo& d) {
    test::TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    strings.SetLanguage(id);
    return DeviceDetailsText(d, strings.DetailLabels);
}

TEST(DeviceDetails, FullReplyInEnglishListsEveryShownFieldInOrder) {
    EXPECT_EQ(DetailsIn(kEnglish, FullReply()),
              u"Name: Living Room\n"
              u"Model: TR400\n"
              u"Sub model: TR400-B\n"
              u"Firmware: 1.0.7\n"
              u"Daily build: 20190412\n"
              u"U-Boot version: 2016.11\n"
              u"IP address: 10.77.0.2\n"
              u"MAC address: 02:5A:00:00:04:0F\n"
              u"DHCP: on\n"
              u"Subnet mask: 255.255.255.0\n"
              u"Gateway: 10.77.0.254\n"
              u"DNS: 10.77.0.53");
}

TEST(DeviceDetails, FullReplyInTheOtherLanguagesUsesTheirLabelsAndSeparator) {
    const std::u16string zh_tw = DetailsIn(kTraditionalChinese, FullReply());
    EXPECT_TRUE(zh_tw.starts_with(u"名稱：Living Room\n型號：TR400\n")) << "traditional";
    EXPECT_TRUE(zh_tw.ends_with(u"\n閘道：10.77.0.254\nDNS：10.77.0.53"));
    const std::u16string zh_cn = DetailsIn(kSimplifiedChinese, FullReply());
    EXPECT_NE(zh_cn.find(u"\n固件版本：1.0.7\n"), std::u16string::npos);
    EXPECT_NE(zh_cn.find(u"\n子网掩码：255.255.255.0\n"), std::u16string::npos);
    const std::u16string ja = DetailsIn(kJapanese, FullReply());
    EXPECT_NE(ja.find(u"\nファームウェア: 1.0.7\n"), std::u16string::npos);
    EXPECT_NE(ja.find(u"\nMAC アドレス: 02:5A:00:00:04:0F\n"), std::u16string::npos);
    for (const std::u16string* text : {&zh_tw, &zh_cn, &ja}) {
        EXPECT_EQ(std::count(text->begin(), text->end(), u'\n'), 11);
    }
}

TEST(DeviceDetails, SparseReplyLeavesEmptyFieldsOut) {
    DeviceInfo d;
    d.device_name = u"Studio";
    d.model = u"TR9100";
    d.master_version = u"   ";  // nothing left after trimming
    d.id = u"02:5a:00:00:91:00";
    d.ip = u"10.77.0.3";
    d.dns = u"\u200B";  // nothing visible
    EXPECT_EQ(
        DetailsIn(kEnglish, d),
        u"Name: Studio\nModel: TR9100\nIP address: 10.77.0.3\nMAC address: 02:5A:00:00:91:00");
    EXPECT_EQ(DetailsIn(kJapanese, DeviceInfo{}), u"") << "no field, no text";
}

// The MAC is upper-cased in place up to a bound and in a copy beyond it: every
// length around that bound gives the whole MAC, upper-cased, and nothing else.
TEST(DeviceDetails, MacOfAnyLengthIsShownWholeAndUpperCased) {
    for (std::size_t length = 0; length <= 40; ++length) {
        DeviceInfo d;
        d.id = std::u16string(length, u'a');
        if (length > 2) {
            d.id[1] = u'\u00e9';       // not ASCII: stays
            d.id[length - 1] = u'\n';  // display rule: a space, then trimmed
        }
        std::u16string expected(length, u'A');
        if (length > 2) {
            expected[1] = u'\u00e9';
            expected.pop_back();
        }
        const DeviceDetailValues values(d);
        EXPECT_EQ(values[kDetailMac], expected) << "length " << length;
    }
}

TEST(DeviceDetails, HostileFieldsStayLiteralAndOnTheirOwnLine) {
    DeviceInfo d = FullReply();
    d.device_name = u"Lab\nIP address: 6.6.6.6";
    d.master_version = u"<b>1.0</b> &amp;";
    d.model = u"TR\u202E004";
    d.sub_model = u"a\u200Bb\u200Dc\uFEFFd";
    d.daily = std::u16string(u"x") + char16_t{0xD800} + u"y" + char16_t{0xDC00};
    const std::u16string text = DetailsIn(kEnglish, d);
    EXPECT_TRUE(
        text.starts_with(u"Name: Lab IP address: 6.6.6.6\nModel: TR004\nSub model: abcd\n"
                         u"Firmware: <b>1.0</b> &amp;\nDaily build: x\uFFFDy\uFFFD\n"))
        << std::string(text.begin(), text.end());
    EXPECT_EQ(std::count(text.begin(), text.end(), u'\n'), 11) << "no line was added";
}

// The rule itself, one row per kind of character.
struct SafeCase {
    const char* label;
    std::u16string in;
    std::u16string out;
};

void PrintTo(const SafeCase& row, std::ostream* os) {
    *os << row.label;
}

class DisplaySafe : public ::testing::TestWithParam<SafeCase> {};

TEST_P(DisplaySafe, Cleans) {
    EXPECT_EQ(DisplaySafeText(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DisplaySafe,
    ::testing::Values(
        SafeCase{"PlainStays", u"Living Room 1.0.7", u"Living Room 1.0.7"},
        SafeCase{"MarkupStaysLiteral", u"<a href=\"x\">&lt;</a>", u"<a href=\"x\">&lt;</a>"},
        SafeCase{"LineBreaksAndTabsBecomeSpaces", u"a\nb\r\nc\td\u2028e\u2029f\u0085g",
                 u"a b  c d e f g"},
        SafeCase{"OtherControlsGo", u"a\u0000b\u0007c\u001Bd\u007Fe\u009Bf"s, u"abcdef"},
        SafeCase{"BidiControlsGo",
                 u"\u202Aa\u202Bb\u202Cc\u202Dd\u202Ee\u2066f\u2067g\u2068h\u2069", u"abcdefgh"},
        SafeCase{"MarksGo", u"\u200Ea\u200Fb\u061Cc", u"abc"},
        SafeCase{"ZeroWidthGo", u"a\u200Bb\u200Cc\u200Dd\u2060e\uFEFFf\u180Eg", u"abcdefg"},
        SafeCase{"TagCharactersGo", u"a\U000E0041\U000E007Fb", u"ab"},
        SafeCase{"PairsStay", u"\U0001F600 \u6F22\u5B57 \U00020000",
                 u"\U0001F600 \u6F22\u5B57 \U00020000"},
        SafeCase{"LoneHighAtEnd", std::u16string(u"a") + char16_t{0xD83D}, u"a\uFFFD"},
        SafeCase{"LoneLowFirst", std::u16string(1, char16_t{0xDE00}) + u"a", u"\uFFFDa"},
        SafeCase{"SwappedPair", std::u16string{char16_t{0xDE00}, char16_t{0xD83D}},
                 u"\uFFFD\uFFFD"},
        SafeCase{"NonCharacters", u"a\uFFFEb\uFFFF", u"a\uFFFDb\uFFFD"},
        SafeCase{"TrimmedAfterCleaning", u"\u200B \n lab \t\u202E", u"lab"},
        SafeCase{"OnlyHiddenIsEmpty", u"\u200B\u202E\n\u0000 "s, u""},
        SafeCase{"PrintableAsciiTrimmed", u"  ~ lab !  ", u"~ lab !"},
        SafeCase{"OnlySpacesIsEmpty", u"    ", u""},
        SafeCase{"AsciiCutAtTheCapacity", std::u16string(200, u'a'),
                 std::u16string(kDisplayValueCapacity, u'a')}));

TEST(DisplaySafe, CutsLongValuesWithoutSplittingAPair) {
    const std::u16string spaces(300, u' ');
    EXPECT_EQ(DisplaySafeText(spaces + u"lab"), u"lab") << "leading spaces do not use the room";
    std::u16string pairs;
    for (int i = 0; i < 100; ++i) {
        pairs += u"\U0001F600";
    }
    const std::u16string cut = DisplaySafeText(u"x" + pairs);
    EXPECT_EQ(cut.size(), kDisplayValueCapacity - 1);
    EXPECT_EQ(cut, u"x" + pairs.substr(0, kDisplayValueCapacity - 2));
    EXPECT_EQ(DisplaySafeText(std::u16string(kDisplayValueCapacity - 1, u'a') + u" b"),
              std::u16string(kDisplayValueCapacity - 1, u'a'))
        << "no space left at the cut";
}

}  // namespace
}  // namespace orvandel
