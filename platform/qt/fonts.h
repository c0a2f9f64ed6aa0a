// The skin's font: the layout names "Microsoft JhengHei", which Linux does not
// have, so the family is mapped to a Latin face, then faces that draw Chinese
// and Japanese.
#pragma once

#include <QFont>

namespace orvandel {

// The faces the set-up installs (fonts-dejavu-extra, fonts-wqy-microhei,
// fonts-noto-cjk): Latin text is drawn with the first; Chinese and Japanese
// characters with the Noto face of the language's forms, the second face where
// that is missing. The layout's sizes were made for the second face's cell.
inline constexpr char kLatinFamily[] = "DejaVu Sans Condensed";
inline constexpr char kCjkFamily[] = "WenQuanYi Micro Hei";

// Which forms the ideographs take: one character is drawn differently in Japan,
// in mainland China and in Taiwan or Hong Kong.
enum class CjkForms { kTraditional, kSimplified, kJapanese };
// The face that draws them: "Noto Sans CJK TC", "… SC" or "… JP".
const char* CjkFamilyOf(CjkForms forms);

// Idempotent; call once a QGuiApplication exists (SkinFont calls it too).
void InstallFontSubstitutions();

// Family "Microsoft JhengHei" at `pixel_size` pixels with QFont weight `weight`
// (400 normal, 700 bold).
QFont SkinFont(int pixel_size, int weight, CjkForms forms = CjkForms::kTraditional);

// Which face draws a language's letters: the Latin face for English, the CJK face
// for Chinese and Japanese (whose Latin words the Latin face still draws).
enum class SkinScript { kLatin, kCjk };

// The skin font whose cell height (ascent + descent) of the face that draws
// `script` is at most `cell_height` pixels: the layout's font heights are cell
// heights, as Windows reads a positive font height, while Qt's pixel size is the em
// size. The largest whole em that fits keeps every line within the pitch the
// layout gives it.
QFont SkinCellFont(int cell_height, int weight, SkinScript script,
                   CjkForms forms = CjkForms::kTraditional);

// The face that draws `text`: the CJK one as soon as it holds a CJK character.
SkinScript ScriptOf(const QString& text);

}  // namespace orvandel
