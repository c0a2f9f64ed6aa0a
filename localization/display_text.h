// The display-safety rule for text that comes off the network (device names,
// firmware versions, addresses), before it is shown in a label or a tooltip, read
// out by a screen reader or put on the clipboard.
//
// The characters it removes are the shared rule's (text/display_safe.h); this
// adds the line-break handling, trimming and the length cut of a one-line value.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orvandel {

// Longest value kept; a device name or version longer than this is cut there.
inline constexpr std::size_t kDisplayValueCapacity = 128;

// One line of plain text from untrusted UTF-16:
// - line breaks, tabs and the other C0 format controls (U+0009..U+000D, U+0085,
//   U+2028, U+2029) become a space, so a value can never start a line of its own;
// - all other C0 and C1 controls and DEL are removed;
// - bidirectional marks, embeddings, overrides and isolates, zero-width and other
//   invisible format characters (U+061C, U+180E, U+200B..U+200F, U+202A..U+202E,
//   U+2060..U+206F, U+FEFF) and tag characters (U+E0000..U+E007F) are removed,
//   so nothing hides, joins or reorders what the user reads;
// - an unpaired surrogate and the non-characters U+FFFE and U+FFFF become U+FFFD;
// - spaces at both ends are trimmed, and the result is cut at
//   kDisplayValueCapacity units without splitting a surrogate pair.
// Markup characters ('<', '>', '&') stay as they are: callers show the result as
// plain text only, never as rich text.
std::u16string DisplaySafeText(std::u16string_view text);

// The same without a copy where the rule only trims and cuts (printable ASCII, as
// nearly every device sends): the part of `text` that DisplaySafeText would give.
// Nothing when a character must change or go.
std::optional<std::u16string_view> DisplaySafeView(std::u16string_view text);

}  // namespace orvandel
