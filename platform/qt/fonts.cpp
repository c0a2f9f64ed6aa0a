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
        // The CJK faces follow in each font's own family list, in the order of
        // its language's forms.
        QFont::insertSubstitutions(kSkinFamily, {QString(kLatinFamily), QStringLiteral("Noto Sans"),
                                                 QStringLiteral("DejaVu Sans")});
        return true;
    }();
    (void)installed;
}

const char* CjkFamilyOf(CjkForms forms) {
    switch (forms) {
        case CjkForms::kJapanese:
            return "Noto Sans CJK JP";
        case CjkForms::kSimplified:
            return "Noto Sans CJK SC";
        case CjkForms::kTraditional:
            break;
    }
    return "Noto Sans CJK TC";
}

QFont SkinFont(int pixel_size, int weight, CjkForms forms) {
    InstallFontSubstitutions();
    QFont font(kSkinFamily);
    font.setFamilies({kSkinFamily, QString(CjkFamilyOf(forms)), QString(kCjkFamily)});
    font.setPixelSize(pixel_size > 0 ? pixel_size : 1);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

QFont SkinCellFont(int cell_height, int weight, SkinScript script, CjkForms forms) {
    InstallFontSubstitutions();
    // Measured on the face itself: the family list's first face draws only Latin
    // letters, and a face's cell is not the other's.
    QFont face(QString(script == SkinScript::kCjk ? kCjkFamily : kLatinFamily));
    face.setWeight(static_cast<QFont::Weight>(weight));
    int em = std::max(1, cell_height);
    for (; em > 1; --em) {
        face.setPixelSize(em);
        if (QFontMetricsF(face).height() <= cell_height + 0.01)
            break;
    }
    return SkinFont(em, weight, forms);
}

SkinScript ScriptOf(const QString& text) {
    for (const QChar c : text) {
        // From the CJK radicals on: kana, ideographs, full-width forms.
        if (c.unicode() >= 0x2E80 && !(c.unicode() >= 0xD800 && c.unicode() < 0xF900))
            return SkinScript::kCjk;
    }
    return SkinScript::kLatin;
}

}  // namespace orvandel
