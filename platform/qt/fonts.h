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

// The skin font whose cell height (ascent + descent) is `cell_height` pixels: the
// layout's font heights are cell heights, as Windows reads a positive font height,
// while Qt's pixel size is the em size. Lines then take the room the layout has.
QFont SkinCellFont(int cell_height, int weight);

}  // namespace orvandel
