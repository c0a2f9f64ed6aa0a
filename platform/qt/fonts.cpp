#include "platform/qt/fonts.h"

#include <QFontMetricsF>
#include <QStringList>
#include <algorithm>

namespace orvandel {
namespace {
const QString kSkinFamily = QStringLiteral("Microsoft JhengHei");
}

void InstallFontSubstitutions() {
    static const bool installed = [] {
        // A Latin face first: the first face that has a character draws it, and a
        // CJK face would draw Latin text too, with its ellipsis at mid-height.
        // Chinese and Japanese characters fall through to the CJK faces. The
        // condensed face has the CJK face's line height and about its widths, so
        // every text keeps its lines; the plain one is wider and would wrap more.
        QFont::insertSubstitutions(
            kSkinFamily,
            {QString(kLatinFamily), QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans"),
             QString(kCjkFamily), QStringLiteral("Noto Sans CJK TC"),
             QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK JP")});
        return true;
    }();
    (void)installed;
}

QFont SkinFont(int pixel_size, int weight) {
    InstallFontSubstitutions();
    QFont font(kSkinFamily);
    font.setPixelSize(pixel_size > 0 ? pixel_size : 1);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

QFont SkinCellFont(int cell_height, int weight) {
    QFont font = SkinFont(cell_height, weight);
    const qreal natural = QFontMetricsF(font).height();
    if (natural > 0) {
        font.setPixelSize(std::max(1, qRound(cell_height * cell_height / natural)));
    }
    return font;
}

}  // namespace orvandel
