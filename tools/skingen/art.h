// The skin's artwork, drawn with QPainter from code so that every run gives the
// same pixels.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <vector>

namespace skingen {

// Palette of the window the images sit on.
inline const QColor kHeader(0x20, 0x20, 0x20);
inline const QColor kFooter(25, 25, 25);
inline const QColor kBand(230, 230, 230);
inline const QColor kContent(255, 255, 255);
inline const QColor kAccent(242, 121, 0);

struct SkinImage {
    QString file;       // name under img/
    QImage image;       // ARGB32, straight alpha
    QColor background;  // what the window paints behind it
    QString group;      // contact-sheet section
};

// Every image twice: `name.png` and, drawn by the same code at twice the size,
// `name@2x.png` for screens of high density.
std::vector<SkinImage> DrawSkin();

// Whether `file` is one of the high-density twins.
inline bool IsDense(const QString& file) {
    return file.endsWith(QLatin1String("@2x.png"));
}

// A copy in Format_ARGB32 (straight alpha), the same bytes on every machine.
QImage Straight(const QImage& image);

}  // namespace skingen
