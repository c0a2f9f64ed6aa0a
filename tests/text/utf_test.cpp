#include "text/utf.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace orvandel::text {
namespace {

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::size_t max_units;
    std::u16string expected;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.name;
}

class DecodeUtf8Case : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeUtf8Case, Units) {
    EXPECT_EQ(DecodeUtf8(GetParam().bytes, GetParam().max_units), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Utf8, DecodeUtf8Case,
    testing::Values(DecodeCase{"AllLengths", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", 16,
                               u"a\u00e9\u20ac\U0001F600"},
                    DecodeCase{"OverlongSlash", "\xC0\xAF", 16, u"\uFFFD\uFFFD"},
                    DecodeCase{"EncodedSurrogate", "\xED\xA0\x80", 16, u"\uFFFD\uFFFD\uFFFD"},
                    DecodeCase{"AboveMaxCodePoint", "\xF4\x90\x80\x80", 16,
                               u"\uFFFD\uFFFD\uFFFD\uFFFD"},
                    DecodeCase{"TruncatedAtEnd", "a\xF0\x9F\x98", 16, u"a\uFFFD"},
                    DecodeCase{"TruncatedBeforeAscii", "\xE2\x82z", 16, u"\uFFFDz"},
                    DecodeCase{"LoneContinuation", "\x80\xBF", 16, u"\uFFFD\uFFFD"},
                    DecodeCase{"CutAtCapacity", "abcdef", 4, u"abcd"},
                    DecodeCase{"PairDoesNotFit", "abc\xF0\x9F\x98\x80", 4, u"abc"}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

// The three shapes of a cut: in ASCII, before a pair, and where a pair straddles
// the limit (its high half goes too).
TEST(Cut, NeverSplitsASurrogatePair) {
    const std::u16string text = u"ab\U0001F600c";  // a b D83D DE00 c
    EXPECT_EQ(Cut(text, 10), text);
    EXPECT_EQ(Cut(text, 5), text);
    EXPECT_EQ(Cut(text, 4), u"ab\U0001F600");
    EXPECT_EQ(Cut(text, 3), u"ab");
    EXPECT_EQ(Cut(text, 2), u"ab");
    EXPECT_EQ(Cut(text, 0), u"");
    for (std::size_t max = 0; max <= text.size() + 1; ++max) {
        std::u16string in_place = text;
        CutToUnits(in_place, max);
        EXPECT_EQ(in_place, Cut(text, max)) << max;
    }
    // A lone high surrogate that fits whole is not the cut's business.
    EXPECT_EQ(Cut(u"a\xD83D", 2), u"a\xD83D");
}

TEST(AsciiUpper, OnlyAsciiLetters) {
    std::u16string text = u"0a:1b:zz:\u00e9\u0131-Q";
    AsciiUpper(text);
    EXPECT_EQ(text, u"0A:1B:ZZ:\u00e9\u0131-Q");
}

TEST(ToUtf8, EveryLengthAndLoneSurrogates) {
    EXPECT_EQ(ToUtf8(u"a\u00e9\u20ac\U0001F600"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    // Unpaired halves, either order, become U+FFFD and never a valid character.
    EXPECT_EQ(ToUtf8(u"\xDE00x\xD83D"), "\xEF\xBF\xBDx\xEF\xBF\xBD");
    EXPECT_EQ(ToUtf8(std::u16string(u"\xDE00\xD83D")), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(ForEachCodePoint, PairsJoinLoneHalvesAreReplaced) {
    std::vector<char32_t> seen;
    ForEachCodePoint(u"a\U0001F600\xDC00\xD800", [&seen](char32_t cp) { seen.push_back(cp); });
    EXPECT_EQ(seen, (std::vector<char32_t>{u'a', 0x1F600, 0xFFFD, 0xFFFD}));
}

TEST(DecodeUtf8At, LengthOfTheIllFormedPart) {
    EXPECT_EQ(DecodeUtf8At("\xE2\x82z", 0).length, 2u);
    EXPECT_FALSE(DecodeUtf8At("\xE2\x82z", 0).valid);
    const Utf8Step euro = DecodeUtf8At("x\xE2\x82\xAC", 1);
    EXPECT_TRUE(euro.valid);
    EXPECT_EQ(euro.code_point, 0x20ACu);
    EXPECT_EQ(euro.length, 3u);
    EXPECT_EQ(DecodeUtf8At("\xF5\x80", 0).length, 1u);
}

// Property: any UTF-16 text, well-formed or not, survives ToUtf8 then DecodeUtf8
// as the same text with its lone surrogates replaced, and the decoder's output
// never holds a lone surrogate.
TEST(Utf, RoundTripOfRandomText) {
    std::mt19937 random(7);
    const char16_t alphabet[] = {u'a', 0x7F, 0xE9, 0x20AC, 0xD83D, 0xDE00, 0xDBFF, 0xDFFF, 0xFFFF};
    for (int round = 0; round < 2000; ++round) {
        std::u16string text;
        const std::size_t length = random() % 12;
        for (std::size_t i = 0; i < length; ++i) {
            text.push_back(alphabet[random() % std::size(alphabet)]);
        }
        std::u16string expected;
        ForEachCodePoint(text, [&expected](char32_t cp) { AppendUtf16(expected, cp); });
        const std::u16string back = DecodeUtf8(ToUtf8(text), 64);
        ASSERT_EQ(back, expected) << round;
        for (std::size_t i = 0; i < back.size(); ++i) {
            if (IsHighSurrogate(back[i])) {
                ASSERT_TRUE(i + 1 < back.size() && IsLowSurrogate(back[i + 1]));
                ++i;
            } else {
                ASSERT_FALSE(IsLowSurrogate(back[i]));
            }
        }
    }
}

}  // namespace
}  // namespace orvandel::text
