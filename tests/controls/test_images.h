// Small solid-colour PNGs written to a temporary folder, for the controls to load.
#pragma once

#include <QColor>
#include <QImage>
#include <QTemporaryDir>
#include <string>

namespace orvandel::test {

class ImageFolder {
public:
    // Writes a w x h image of `color` (straight alpha) and returns its absolute path.
    std::u16string Solid(const QString& name, int w, int h, const QColor& color) {
        QImage image(w, h, QImage::Format_ARGB32);
        image.fill(color);
        return Save(name, image);
    }
    std::u16string Save(const QString& name, const QImage& image) {
        const QString path = m_dir.filePath(name);
        image.save(path, "png");
        return path.toStdU16String();
    }
    std::u16string Missing() const {
        return m_dir.filePath(QStringLiteral("absent.png")).toStdU16String();
    }

private:
    QTemporaryDir m_dir;
};

// Colour distance small enough for blending and rounding differences.
inline bool Near(QColor a, QColor b, int tolerance = 3) {
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

}  // namespace orvandel::test
