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

}  // namespace orvandel
