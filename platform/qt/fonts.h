// The skin's font: the layout names "Microsoft JhengHei", which Linux does not
// have, so the family is mapped to faces that also draw Chinese and Japanese.
#pragma once

#include <QFont>

namespace orvandel {

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
