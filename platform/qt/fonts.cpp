#include "platform/qt/fonts.h"

#include <QStringList>

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

}  // namespace orvandel
