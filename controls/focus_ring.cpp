#include "controls/focus_ring.h"

#include <QPainter>
#include <QPen>

namespace orvandel {
namespace {
constexpr qreal kAccentWidth = 2.0;
constexpr qreal kKeylineWidth = 1.0;
// The skin's text colour: 5.9:1 on the orange faces, 16:1 on white.
const QColor kKeyline(0x1E, 0x1E, 0x1E);
}  // namespace

QColor FocusAccentColor() {
    return QColor(0xF2, 0x79, 0x00);
}

void DrawFocusRing(QPainter& painter, const QRectF& outer, const QColor& accent) {
    painter.save();
    painter.setBrush(Qt::NoBrush);
    QPen pen(accent, kAccentWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    // Pens straddle the path: inset by half a width keeps each line inside `outer`.
    const qreal a = kAccentWidth / 2;
    painter.drawRect(outer.adjusted(a, a, -a, -a));
    pen.setColor(kKeyline);
    pen.setWidthF(kKeylineWidth);
    painter.setPen(pen);
    const qreal k = kAccentWidth + kKeylineWidth / 2;
    painter.drawRect(outer.adjusted(k, k, -k, -k));
    painter.restore();
}

}  // namespace orvandel
