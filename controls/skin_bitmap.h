// Loads a skin PNG named by the layout into an image ready for drawing.
#pragma once

#include <QImage>
#include <QSize>
#include <string>

namespace orvandel {

// How many times its layout rectangle a skin image may be on each side: room for
// high-density variants, while a file that declares a huge picture is never decoded.
inline constexpr int kSkinImageMaxScale = 4;

// Finds the file (ResolveSkinPath), decodes it as PNG, and returns images with an
// alpha channel as Format_ARGB32_Premultiplied, each colour byte replaced by
// byte * alpha / 255 rounded toward zero. Opaque images come back as decoded.
// The header is read first: a picture wider or higher than kSkinImageMaxScale times
// `layout_size` (the size its layout record gives) is not decoded. A null image on
// any failure, that one and an incomplete file included.
QImage LoadSkinBitmap(const std::u16string& layout_path, QSize layout_size);

// The premultiply step alone, for an image already in memory.
QImage PremultiplyTruncating(const QImage& image);

}  // namespace orvandel
