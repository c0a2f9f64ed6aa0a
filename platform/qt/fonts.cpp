#include "platform/qt/fonts.h"

#include <QFontMetricsF>
#include <QStringList>
#include <algorithm>

namespace orvandel {
namespace {
const QString kSkinFamily = QStringLiteral("Microsoft JhengHei");

// Qt keeps one font engine, with the faces it falls back to once found, per
// face and font attributes, whatever families follow the face in the request:
// fonts of different forms must differ in an attribute. The outline preferences
// change nothing here (every face is an outline face).
QFont::StyleStrategy StrategyOf(CjkForms forms) {
    switch (forms) {
        case CjkForms::kJapanese:
            return QFont::ForceOutline;
        case CjkForms::kSimplified:
            return QFont::PreferOutline;
        case CjkForms::kTraditional:
            break;
    }
    return QFont::PreferDefault;
}
}  // namespace

void InstallFontSubstitutions() {
    static const bool installed = [] {
        // For fonts that name the family alone: a Latin face first, as below.
        QFont::insertSubstitutions(
            kSkinFamily, {QString(kLatinFamily), QStringLiteral("DejaVu Sans"),
                          QString(CjkFamilyOf(CjkForms::kTraditional)), QString(kCjkFamily)});
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
    // A Latin face first: the first face that has a character draws it, and a CJK
    // face would draw Latin text too, with its ellipsis at mid-height. Chinese and
    // Japanese characters fall through to the CJK face of the forms, then to
    // WenQuanYi. The condensed face has WenQuanYi's line height and about its
    // widths, so every text keeps its lines; the plain one is wider and would wrap
    // more. Not "Noto Sans": with only the CJK faces installed, fontconfig answers
    // it with one of them, whatever the forms.
    QFont font(kSkinFamily);
    font.setFamilies({kSkinFamily, QString(kLatinFamily), QStringLiteral("DejaVu Sans"),
                      QString(CjkFamilyOf(forms)), QString(kCjkFamily)});
    font.setStyleStrategy(StrategyOf(forms));
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
