// Loads a skin PNG named by the layout into an image ready for drawing.
#pragma once

#include <QImage>
#include <string>

namespace orvandel {

// Finds the file (ResolveSkinPath), decodes it as PNG, and returns images with an
// alpha channel as Format_ARGB32_Premultiplied, each colour byte replaced by
// byte * alpha / 255 rounded toward zero. Opaque images come back as decoded.
// A null image on any failure.
QImage LoadSkinBitmap(const std::u16string& layout_path);

// The premultiply step alone, for an image already in memory.
QImage PremultiplyTruncating(const QImage& image);

}  // namespace orvandel
