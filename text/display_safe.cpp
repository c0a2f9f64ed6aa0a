#include "text/display_safe.h"

#include "text/utf.h"

namespace orvandel::text {

std::u16string MakeDisplaySafe(std::u16string_view text, UnsafeChars unsafe) {
    std::u16string out;
    out.reserve(text.size());
    ForEachCodePoint(text, [&out, unsafe](char32_t cp) {
        if (!IsUnsafeForDisplay(cp)) {
            AppendUtf16(out, cp);
        } else if (unsafe == UnsafeChars::kToSpace) {
            out.push_back(u' ');
        }
    });
    return out;
}

}  // namespace orvandel::text
