// The skin's font: the layout names "Microsoft JhengHei", which Linux does not
// have, so the family is mapped to a Latin face, then faces that draw Chinese
// and Japanese.
#pragma once

#include <QFont>

namespace orvandel {

// The faces the set-up installs (fonts-dejavu-extra, fonts-wqy-microhei): Latin
// text is drawn with the first, Chinese and Japanese characters with the second.
inline constexpr char kLatinFamily[] = "DejaVu Sans Condensed";
inline constexpr char kCjkFamily[] = "WenQuanYi Micro Hei";

// Idempotent; call once a QGuiApplication exists (SkinFont calls it too).
void InstallFontSubstitutions();

// Family "Microsoft JhengHei" at `pixel_size` pixels with QFont weight `weight`
// (400 normal, 700 bold).
QFont SkinFont(int pixel_size, int weight);

// Which face draws a language's letters: the Latin face for English, the CJK face
// for Chinese and Japanese (whose Latin words the Latin face still draws).
enum class SkinScript { kLatin, kCjk };

// The skin font whose cell height (ascent + descent) of the face that draws
// `script` is at most `cell_height` pixels: the layout's font heights are cell
// heights, as Windows reads a positive font height, while Qt's pixel size is the em
// size. The largest whole em that fits keeps every line within the pitch the
// layout gives it.
QFont SkinCellFont(int cell_height, int weight, SkinScript script);

// The face that draws `text`: the CJK one as soon as it holds a CJK character.
SkinScript ScriptOf(const QString& text);

}  // namespace orvandel
