#include "controls/skin_bitmap.h"

#include <QFile>
#include <QImageReader>

#include "platform/skin_path.h"

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
    QImageReader reader(QString::fromStdU16String(file.u16string()), "png");
    reader.setAutoTransform(false);
    // The declared size, from the header alone: a small file can declare a picture
    // of gigabytes.
    const QSize declared = reader.size();
    if (!declared.isValid() || declared.width() > kSkinImageMaxScale * layout_size.width() ||
        declared.height() > kSkinImageMaxScale * layout_size.height()) {
        return {};
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return {};
    }
    if (image.hasAlphaChannel()) {
        return PremultiplyTruncating(image);
    }
    return image;
}

}  // namespace orvandel
