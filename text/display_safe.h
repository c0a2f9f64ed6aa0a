// The one rule for characters that must not reach a screen or a terminal as they
// are. Device names and addresses come off the network: a control or line break
// could break a line layout, a zero-width or invisible format character hide text,
// and a bidirectional mark, embedding, override or isolate reorder what the user
// reads.
#pragma once

#include <string>
#include <string_view>

namespace orvandel::text {

// C0 controls, DEL and C1 controls; U+061C; U+200B-U+200F (zero-width characters
// and the left-to-right and right-to-left marks); U+2028-U+202E (line and
// paragraph separators, embeddings and overrides); U+2060-U+206F (word joiner,
// invisible operators, isolates and the deprecated format characters); U+FEFF.
constexpr bool IsUnsafeForDisplay(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x061C ||
           (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x2028 && cp <= 0x202E) ||
           (cp >= 0x2060 && cp <= 0x206F) || cp == 0xFEFF;
}

enum class UnsafeChars {
    kToSpace,  // keeps the text's length and where words part
    kDrop,
};

// `text` with each unsafe character replaced by a space (or dropped) and each
// unpaired surrogate replaced by U+FFFD. The result never holds an unsafe
// character or a lone surrogate; with kToSpace it has as many units as `text`.
std::u16string MakeDisplaySafe(std::u16string_view text,
                               UnsafeChars unsafe = UnsafeChars::kToSpace);

}  // namespace orvandel::text
