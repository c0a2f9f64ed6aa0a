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
        QFont::insertSubstitutions(
            kSkinFamily, {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK TC"),
                          QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK JP"),
                          QStringLiteral("DejaVu Sans")});
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
