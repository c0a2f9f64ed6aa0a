#include "controls/skin_bitmap.h"

#include <QBuffer>
#include <QImageReader>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "platform/skin_path.h"
#include "platform/skin_png.h"

namespace orvandel {

QImage PremultiplyTruncating(const QImage& image) {
    if (image.isNull()) {
        return {};
    }
    QImage straight = image.convertToFormat(QImage::Format_ARGB32);
    // Reinterpreting the same bytes: the loop below does the premultiply itself,
    // because Qt's own conversion rounds to nearest.
    straight.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < straight.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(straight.scanLine(y));
        for (int x = 0; x < straight.width(); ++x) {
            const QRgb p = line[x];
            const unsigned a = qAlpha(p);
            line[x] =
                qRgba(static_cast<int>(qRed(p) * a / 255), static_cast<int>(qGreen(p) * a / 255),
                      static_cast<int>(qBlue(p) * a / 255), static_cast<int>(a));
        }
    }
    return straight;
}

QImage LoadSkinBitmap(const std::u16string& layout_path, QSize layout_size) {
    if (layout_size.width() <= 0 || layout_size.height() <= 0) {
        return {};
    }
    const std::filesystem::path file = ResolveSkinPath(layout_path);
    if (file.empty()) {
        return {};
    }
    // The file is walked and bounded before the decoder sees it: the decoder gets
    // the critical chunks only, never the text or other ancillary chunks it would
    // inflate while reading the header, and never more pixel data than the declared
    // size needs. A small file can declare a picture of gigabytes: the declared size
    // is checked against the layout before anything past the header is read.
    QByteArray png = QByteArray::fromStdString(
        ReadSkinPng(file, static_cast<std::uint32_t>(kSkinImageMaxScale * layout_size.width()),
                    static_cast<std::uint32_t>(kSkinImageMaxScale * layout_size.height())));
    if (png.isEmpty()) {
        return {};
    }
    QBuffer buffer(&png);
    QImageReader reader(&buffer, "png");
    reader.setAutoTransform(false);
    QImage image = reader.read();
    if (image.isNull()) {
        return {};
    }
    if (image.hasAlphaChannel()) {
        return PremultiplyTruncating(image);
    }
    return image;
}

std::u16string DenseSkinPath(const std::u16string& layout_path) {
    static constexpr std::u16string_view kPng = u".png";
    if (layout_path.size() <= kPng.size() ||
        layout_path.compare(layout_path.size() - kPng.size(), kPng.size(), kPng) != 0) {
        return {};
    }
    std::u16string dense = layout_path;
    dense.insert(dense.size() - kPng.size(), u"@2x");
    return dense;
}

const QImage& SkinBitmapSet::For(qreal device_pixel_ratio) const {
    return device_pixel_ratio > 1.0 && !dense.isNull() ? dense : plain;
}

void SkinBitmapSet::SetDense(QImage twin) {
    if (plain.isNull() || twin.isNull() || twin.size() != plain.size() * 2) {
        return;
    }
    twin.setDevicePixelRatio(2.0);
    dense = std::move(twin);
}

SkinBitmapSet LoadSkinBitmapSet(const std::u16string& layout_path, QSize layout_size) {
    SkinBitmapSet set;
    set.plain = LoadSkinBitmap(layout_path, layout_size);
    if (set.plain.isNull()) {
        return set;
    }
    const std::u16string dense_path = DenseSkinPath(layout_path);
    if (dense_path.empty()) {
        return set;
    }
    set.SetDense(LoadSkinBitmap(dense_path, layout_size));
    return set;
}

qreal PaintedDeviceRatio(const QPainter& painter) {
    const QPaintEngine* engine = painter.paintEngine();
    const QPaintDevice* device = engine != nullptr ? engine->paintDevice() : nullptr;
    if (device == nullptr) {
        device = painter.device();
    }
    return device != nullptr ? device->devicePixelRatioF() : 1.0;
}

void SmoothWhenResampled(QPainter& painter, qreal image_ratio) {
    if (std::abs(PaintedDeviceRatio(painter) - image_ratio) > 1e-6) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    }
}

void DrawSkinBitmap(QPainter& painter, QPoint at, const QImage& image, QSize clip) {
    if (image.isNull() || clip.isEmpty()) {
        return;
    }
    const qreal ratio = image.devicePixelRatio();
    const QSize logical(std::min(clip.width(), qRound(image.width() / ratio)),
                        std::min(clip.height(), qRound(image.height() / ratio)));
    const QRectF source(0, 0, logical.width() * ratio, logical.height() * ratio);
    painter.save();
    SmoothWhenResampled(painter, ratio);
    painter.drawImage(QRectF(at, logical), image, source);
    painter.restore();
}

}  // namespace orvandel
