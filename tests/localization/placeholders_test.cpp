// Filling the tooltip placeholders: the concrete sentence, and values that try to
// break out of plain text.
#include "localization/placeholders.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>

#include "localization/ui_strings.h"
#include "temp_dir.h"

namespace orvandel {
namespace {

TEST(FillPlaceholders, OtherNetworkSentenceInEnglishAndJapanese) {
    test::TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    const PlaceholderValues values{u"192.168.0.57", u"10.77.0.0/24", u"eth0", 0, {}};
    EXPECT_EQ(FillPlaceholders(strings.TipOtherNetwork, values),
              u"This device is at 192.168.0.57, but this computer is on 10.77.0.0/24 (eth0). Its "
              u"page will not open until both are on the same network: give this computer an "
              u"address in the device's network for a moment, or reset the device's network "
              u"settings.");
    strings.SetLanguage(kJapanese);
    const std::u16string ja = FillPlaceholders(strings.TipOtherNetwork, values);
    EXPECT_NE(ja.find(u"192.168.0.57 ですが"), std::u16string::npos);
    EXPECT_NE(ja.find(u"10.77.0.0/24（eth0）"), std::u16string::npos);
    EXPECT_EQ(ja.find(u'{'), std::u16string::npos);
}

struct FillCase {
    const char* label;
    std::u16string_view text;
    PlaceholderValues values;
    std::u16string_view expected;
};

void PrintTo(const FillCase& row, std::ostream* os) {
    *os << row.label;
}

class FillRules : public ::testing::TestWithParam<FillCase> {};

TEST_P(FillRules, Fills) {
    EXPECT_EQ(FillPlaceholders(GetParam().text, GetParam().values), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FillRules,
    ::testing::Values(
        FillCase{"EveryName",
                 u"{ip} {subnet} {interface} {count} {source}",
                 {u"1.2.3.4", u"1.2.3.0/24", u"wlan0", 2, u"1.2.3.9"},
                 u"1.2.3.4 1.2.3.0/24 wlan0 2 1.2.3.9"},
        FillCase{"RepeatedName", u"{ip}/{ip}", {u"a", {}, {}, 0, {}}, u"a/a"},
        FillCase{"UnknownNameAndLoneBracesStay",
                 u"{mac} { ip} {ip",
                 {u"a", {}, {}, 0, {}},
                 u"{mac} { ip} {ip"},
        FillCase{
            "ValueIsNotExpandedAgain", u"[{interface}]", {u"x", {}, u"{ip}", 0, {}}, u"[{ip}]"},
        FillCase{"MarkupBecomesLookAlikes",
                 u"({interface})",
                 {{}, {}, u"<b>&amp;</b>", 0, {}},
                 u"(\uFF1Cb\uFF1E\uFF06amp;\uFF1C/b\uFF1E)"},
        FillCase{"LineBreaksAndControlsDropped",
                 u"({interface})",
                 {{}, {}, std::u16string_view(u"e\nt\rh\t0\0\x1b\x7f\x85!", 12), 0, {}},
                 u"(eth0!)"},
        FillCase{"BidiOverridesDropped",
                 u"({interface})",
                 {{}, {}, u"\u202Eeth0\u2066\u200F\uFEFF\u2028", 0, {}},
                 u"(eth0)"},
        FillCase{"NonAsciiAliasKept",
                 u"{interface}",
                 {{}, {}, u"有線 LAN \U0001F600", 0, {}},
                 u"有線 LAN \U0001F600"},
        FillCase{"LoneSurrogatesReplaced",
                 u"{interface}",
                 {{},
                  {},
                  std::u16string_view(u"a\xD800"
                                      u"b\xDC00",
                                      4),
                  0,
                  {}},
                 u"a\uFFFDb\uFFFD"},
        FillCase{"LongValueCut",
                 u"{interface}.",
                 {{}, {}, u"0123456789012345678901234567890123456789TAIL", 0, {}},
                 u"0123456789012345678901234567890123456789."},
        FillCase{"CutNeverSplitsAPair",
                 u"{interface}",
                 {{}, {}, u"012345678901234567890123456789012345678\U0001F600", 0, {}},
                 u"012345678901234567890123456789012345678"},
        FillCase{"CountNegativeAndLimits", u"{count}", {{}, {}, {}, INT32_MIN, {}}, u"-2147483648"},
        FillCase{"EmptyValues", u"at {ip}.", {}, u"at ."}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(FillPlaceholders, ResultIsBounded) {
    const std::u16string text(2000, u'x');
    EXPECT_EQ(FillPlaceholders(text, {}).size(), kFilledTextCapacity);
    std::u16string pairs = u"x";  // puts a high surrogate at the last place kept
    for (int i = 0; i < 600; ++i) {
        pairs += u"\U0001F600";
    }
    const std::u16string cut = FillPlaceholders(pairs, {});
    EXPECT_EQ(cut.size(), kFilledTextCapacity - 1);
    EXPECT_TRUE(cut.back() >= 0xDC00 && cut.back() <= 0xDFFF) << "ends on a whole pair";
}

}  // namespace
}  // namespace orvandel
