// Text from the network is shown only after the display-safety rule: what comes
// out never holds a control character, a bidirectional control or mark, a
// zero-width character, a line or paragraph separator, or a lone surrogate; and
// text that holds none of these (nor the rule's own escape character, a
// backslash) comes out unchanged. The input bytes are read as UTF-16 units, so
// lone surrogates and every BMP character come up.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "text/display_safe.h"
#include "tools/cli/cli_output.h"

namespace {

// The rule under test as the command-line finder applies it (escapes, UTF-8
// out); the shared rule itself (UTF-16 out) is checked beside it.
auto MakeSafe(std::u16string_view text) {
    return orvandel::cli::EscapeForTerminal(text);
}

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

bool IsUnsafe(char32_t cp) {
    // Written out again rather than taken from the library, so the check does not
    // lean on the code it checks.
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x061C ||
           (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x2028 && cp <= 0x202E) ||
           (cp >= 0x2060 && cp <= 0x206F) || cp == 0xFEFF || (cp >= 0xD800 && cp <= 0xDFFF);
}

// Code points of UTF-8; aborts on anything ill-formed (overlong, surrogate,
// truncated, above U+10FFFF).
std::vector<char32_t> CodePoints(std::string_view utf8) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        std::size_t length = 1;
        char32_t cp = lead;
        char32_t minimum = 0;
        if (lead >= 0xF0) {
            length = 4, cp = lead & 0x07, minimum = 0x10000;
        } else if (lead >= 0xE0) {
            length = 3, cp = lead & 0x0F, minimum = 0x800;
        } else if (lead >= 0xC0) {
            length = 2, cp = lead & 0x1F, minimum = 0x80;
        }
        Check(lead < 0x80 || lead >= 0xC0);
        Check(lead < 0xF8 && i + length <= utf8.size());
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            Check((next & 0xC0) == 0x80);
            cp = (cp << 6) | (next & 0x3F);
        }
        Check(cp >= minimum && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF));
        out.push_back(cp);
        i += length;
    }
    return out;
}

// Code points of UTF-16; a lone surrogate stays as it is (and then counts as unsafe).
std::vector<char32_t> CodePoints(std::u16string_view text) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            out.push_back(0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                          (text[i + 1] - 0xDC00));
            ++i;
        } else {
            out.push_back(unit);
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    const std::vector<char32_t> shown = CodePoints(MakeSafe(text));
    for (char32_t cp : shown) {
        Check(!IsUnsafe(cp));
    }
    const std::vector<char32_t> given = CodePoints(std::u16string_view(text));
    bool plain = true;
    for (char32_t cp : given) {
        plain = plain && !IsUnsafe(cp) && cp != U'\\';
    }
    if (plain) {
        Check(shown == given);
    }
    for (const auto mode :
         {orvandel::text::UnsafeChars::kToSpace, orvandel::text::UnsafeChars::kDrop}) {
        const std::u16string safe = orvandel::text::MakeDisplaySafe(text, mode);
        for (char32_t cp : CodePoints(std::u16string_view(safe))) {
            Check(!IsUnsafe(cp));
        }
        if (mode == orvandel::text::UnsafeChars::kToSpace) {
            Check(safe.size() == text.size());
        }
    }
    return 0;
}
