// The records of the skin layout: texts and coloured areas, images, and the four
// images of a button. Geometry is in client pixels, colours are 0x00BBGGRR.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace orvandel {

using ColorRef = std::uint32_t;  // 0x00BBGGRR

constexpr int ColorRed(ColorRef c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int ColorGreen(ColorRef c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int ColorBlue(ColorRef c) {
    return static_cast<int>((c >> 16) & 0xFF);
}

struct UiTextElement {
    std::u16string text;  // empty for a pure coloured area
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t left = 0;
    std::int32_t top = 0;
    ColorRef color = 0;  // text colour for texts, fill colour for areas
};

struct UiImageElement {
    std::u16string path;  // relative, with '\' separators as written in the layout ("img\...")
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::u16string label;  // only the About OK button carries one
};

enum class ButtonState : int { Normal = 0, MouseOver = 1, Press = 2, Disable = 3 };

// Four images sharing one rectangle, indexed by ButtonState.
struct UiButtonImages {
    std::array<UiImageElement, 4> states;

    const UiImageElement& operator[](ButtonState s) const {
        return states[static_cast<std::size_t>(s)];
    }
    const UiImageElement& normal() const { return states[0]; }
};

// A page image with its two faces (the page dots).
struct UiDotImages {
    UiImageElement normal;
    UiImageElement focus;
};

}  // namespace orvandel
