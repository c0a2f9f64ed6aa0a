// Loads a skin PNG named by the layout into an image ready for drawing.
#pragma once

#include <QImage>
#include <QSize>
#include <cstddef>
#include <string>

class QPainter;

namespace orvandel {

// How many times its layout rectangle a skin image may be on each side: room for
// high-density variants, while a file that declares a huge picture is never decoded.
inline constexpr int kSkinImageMaxScale = 4;

// The longest skin path a control takes (in UTF-16 units); a longer one is refused.
inline constexpr std::size_t kMaxSkinPath = 260;

// Finds the file (ResolveSkinPath), decodes it as PNG, and returns images with an
// alpha channel as Format_ARGB32_Premultiplied, each colour byte replaced by
// byte * alpha / 255 rounded toward zero. Opaque images come back as decoded.
// The file goes through ReadSkinPng first: a picture wider or higher than
// kSkinImageMaxScale times `layout_size` (the size its layout record gives), more
// pixel data than its size needs, or more than a little ancillary data, and it is
// not decoded; the decoder never sees an ancillary chunk. A null image on any
// failure, those and an incomplete file included: the same as a missing file.
QImage LoadSkinBitmap(const std::u16string& layout_path, QSize layout_size);

// "dir/name.png" -> "dir/name@2x.png": the twin drawn at twice the size for
// screens of high density. Empty for a path without the ".png" ending.
std::u16string DenseSkinPath(const std::u16string& layout_path);

// A skin image and its high-density twin. The twin is kept only when it is exactly
// twice the plain image on each side, so both cover the same logical rectangle.
struct SkinBitmapSet {
    QImage plain;
    QImage dense;  // device pixel ratio 2; null when missing or unusable

    bool isNull() const { return plain.isNull(); }
    // The image for a device of `device_pixel_ratio`: the twin above 1, when there is one.
    const QImage& For(qreal device_pixel_ratio) const;
    // Keeps `twin` as the dense image when it is twice `plain` on each side.
    void SetDense(QImage twin);
};

// LoadSkinBitmap for the path and, when that succeeds, for its twin.
SkinBitmapSet LoadSkinBitmapSet(const std::u16string& layout_path, QSize layout_size);

// The device pixel ratio of what `painter` really paints on: the backing store, or
// the image a widget is rendered into (QPainter::device() names the widget then).
qreal PaintedDeviceRatio(const QPainter& painter);

// Whether an image of device pixel ratio `image_ratio` is drawn resampled on a
// painter whose device has `device_ratio`; smooth resampling is switched on then.
void SmoothWhenResampled(QPainter& painter, qreal image_ratio);

// Draws `image` with its top left at `at`, at its logical size (pixels / its device
// pixel ratio), cut at `clip` logical pixels; never scaled otherwise.
void DrawSkinBitmap(QPainter& painter, QPoint at, const QImage& image, QSize clip);

// The premultiply step alone, for an image already in memory.
QImage PremultiplyTruncating(const QImage& image);

}  // namespace orvandel
