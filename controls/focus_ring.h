// The keyboard focus ring every control draws: the window's accent colour with a
// dark line inside it. Either line alone would vanish somewhere (the accent on the
// orange buttons, the dark line on the dark bars); together one of them differs
// from what it covers by 3:1 or more on every surface of the skin.
#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

namespace orvandel {

// The accent line's colour (the layout's AccentLine), the ring's default.
QColor FocusAccentColor();

// Draws the ring inside `outer`: 2 px of `accent`, then 1 px of the dark line.
void DrawFocusRing(QPainter& painter, const QRectF& outer, const QColor& accent);

}  // namespace orvandel
