#include "text/display_safe.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "text/utf.h"

namespace orvandel::text {
namespace {

// Each range of the rule at its edges, with the neighbours that stay.
TEST(IsUnsafeForDisplay, RangesAndTheirNeighbours) {
    for (char32_t cp : {0x00,   0x09,   0x0A,   0x1F,   0x7F,   0x80,   0x9B,   0x9F,
                        0x061C, 0x200B, 0x200C, 0x200D, 0x200E, 0x200F, 0x2028, 0x2029,
                        0x202A, 0x202E, 0x2060, 0x2066, 0x2069, 0x206F, 0xFEFF}) {
        EXPECT_TRUE(IsUnsafeForDisplay(cp)) << std::hex << static_cast<unsigned>(cp);
    }
    for (char32_t cp : {0x20, 0x7E, 0xA0, 0xE9, 0x061B, 0x061D, 0x200A, 0x2010, 0x2027, 0x202F,
                        0x205F, 0x2070, 0xFEFE, 0xFF00, 0xFFFD, 0x1F600}) {
        EXPECT_FALSE(IsUnsafeForDisplay(cp)) << std::hex << static_cast<unsigned>(cp);
    }
}

TEST(MakeDisplaySafe, SpacesOrDropsAndReplacesLoneSurrogates) {
    const std::u16string text =
        u"a\u202Eb\nc\u200Bd\U0001F600\xD800"
        u"e";
    EXPECT_EQ(MakeDisplaySafe(text), u"a b c d\U0001F600\uFFFDe");
    EXPECT_EQ(MakeDisplaySafe(text, UnsafeChars::kDrop), u"abcd\U0001F600\uFFFDe");
    EXPECT_EQ(MakeDisplaySafe(u"Living room"), u"Living room");
}

// Property: whatever comes in, the output holds no unsafe character and no lone
// surrogate, and spacing keeps the length.
TEST(MakeDisplaySafe, OutputIsAlwaysSafe) {
    std::mt19937 random(11);
    const char16_t interesting[] = {0x0A,   0x1B,   0x7F,   0x85,   0x061C, 0x200D, 0x200F, 0x2029,
                                    0x202E, 0x2067, 0xFEFF, 0xD83D, 0xDE00, u'x',   0xE9};
    for (int round = 0; round < 3000; ++round) {
        std::u16string text;
        const std::size_t length = random() % 16;
        for (std::size_t i = 0; i < length; ++i) {
            text.push_back(random() % 2 ? interesting[random() % std::size(interesting)]
                                        : static_cast<char16_t>(random()));
        }
        for (UnsafeChars mode : {UnsafeChars::kToSpace, UnsafeChars::kDrop}) {
            const std::u16string safe = MakeDisplaySafe(text, mode);
            if (mode == UnsafeChars::kToSpace) {
                ASSERT_EQ(safe.size(), text.size());
            }
            for (std::size_t i = 0; i < safe.size(); ++i) {
                char32_t cp = safe[i];
                if (IsHighSurrogate(safe[i])) {
                    ASSERT_TRUE(i + 1 < safe.size() && IsLowSurrogate(safe[i + 1])) << round;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (safe[i + 1] - 0xDC00);
                    ++i;
                }
                ASSERT_FALSE(IsLowSurrogate(cp)) << round;
                ASSERT_FALSE(IsUnsafeForDisplay(cp)) << round;
            }
        }
    }
}

}  // namespace
}  // namespace orvandel::text
