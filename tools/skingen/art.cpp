#include "art.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPicture>
#include <QRadialGradient>
#include <QtMath>
#include <array>
#include <functional>

namespace skingen {
namespace {

const QColor kLine(0xB4, 0xB4, 0xB4);
const QColor kFill(0xF3, 0xF3, 0xF3);
const QColor kAccentLight(255, 150, 52);
const QColor kAccentDark(198, 94, 0);
const QColor kError(214, 72, 62);
const QColor kOk(46, 158, 96);

// How many device pixels each drawing unit covers: 1 for the skin, 2 for its
// high-density twin. The drawing code works in units and never looks at this.
int g_scale = 1;

// A canvas of w x h units; its painter maps units to device pixels by itself.
QImage Canvas(int w, int h, const QColor& fill = Qt::transparent) {
    QImage image(w * g_scale, h * g_scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(g_scale);
    image.fill(fill);
    return image;
}

void Smooth(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
}

QColor WithAlpha(QColor c, int alpha) {
    c.setAlpha(alpha);
    return c;
}

QPen RoundPen(const QColor& c, qreal width) {
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QFont Face(int pixels, bool bold, qreal spacing = 0) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    if (spacing != 0) {
        font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    }
    return font;
}

// ---------------------------------------------------------------- emblem
// The finder's mark: a lens with a play sign in it, its handle to the lower right
// (app icon and launch image). `unit` is the lens radius.
void FinderMark(QPainter& p, QPointF lens, qreal unit, const QColor& color) {
    const qreal stroke = unit * 0.34;
    p.setBrush(Qt::NoBrush);
    p.setPen(RoundPen(color, stroke));
    p.drawEllipse(lens, unit, unit);
    const qreal d = unit * 0.7071;
    p.setPen(RoundPen(color, stroke * 1.45));
    p.drawLine(QPointF(lens.x() + d + stroke * 0.35, lens.y() + d + stroke * 0.35),
               QPointF(lens.x() + unit * 1.62, lens.y() + unit * 1.62));
    QPainterPath play;
    const qreal t = unit * 0.42;
    play.moveTo(lens.x() - t * 0.62, lens.y() - t);
    play.lineTo(lens.x() + t * 1.0, lens.y());
    play.lineTo(lens.x() - t * 0.62, lens.y() + t);
    play.closeSubpath();
    p.setPen(QPen(color, unit * 0.12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(color);
    p.drawPath(play);
}

QImage AppIcon() {
    QImage img = Canvas(45, 45);
    QPainter p(&img);
    Smooth(p);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(1.5, 1.5, 42, 42), 10, 10);
    FinderMark(p, QPointF(19.5, 19.5), 10, Qt::white);
    return img;
}

QImage AppName() {
    QImage img = Canvas(200, 36);
    QPainter p(&img);
    Smooth(p);
    QPainterPath path;
    path.addText(QPointF(1, 26), Face(24, true, 0.4), QStringLiteral("Orvandel"));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xF4, 0xF4, 0xF4));
    p.drawPath(path);
    return img;
}

QImage MakerLogo() {
    QImage img = Canvas(82, 14);
    QPainter p(&img);
    Smooth(p);
    QPainterPath path;
    path.addText(QPointF(0, 11), Face(10, true, 1.55), QStringLiteral("KESTRILON"));
    const QRectF b = path.boundingRect();
    path.translate((82 - b.width()) / 2 - b.left(), 0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xC8, 0xC8, 0xC8));
    p.drawPath(path);
    return img;
}

QImage HeaderShadow() {
    QImage img = Canvas(320, 10);
    QPainter p(&img);
    for (int y = 0; y < 10; ++y) {
        const qreal t = (y + 0.5) / 10.0;
        const int alpha = qRound(46 * (1 - t) * (1 - t));
        p.fillRect(QRect(0, y, 320, 1), QColor(0, 0, 0, alpha));
    }
    return img;
}

// ---------------------------------------------------------------- diagram parts
void FloorShadow(QPainter& p, QPointF centre, qreal rx) {
    QRadialGradient g(centre, rx);
    g.setColorAt(0, QColor(0, 0, 0, 34));
    g.setColorAt(1, QColor(0, 0, 0, 0));
    p.save();
    p.translate(centre);
    p.scale(1, 0.16);
    p.translate(-centre);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(centre, rx, rx);
    p.restore();
}

struct Tone {
    QColor body, edge, detail;
};

Tone ActiveTone() {
    return {QColor(0x33, 0x33, 0x33), QColor(0x33, 0x33, 0x33), kAccent};
}
Tone QuietTone() {
    return {kFill, kLine, QColor(0xA8, 0xA8, 0xA8)};
}

// The streaming device: a compact box with a play mark and a status light.
void StreamerGlyph(QPainter& p, QPointF c, const Tone& t) {
    FloorShadow(p, QPointF(c.x(), c.y() + 22), 34);
    const QRectF body(c.x() - 30, c.y() - 18, 60, 36);
    p.setPen(QPen(t.edge, 2));
    p.setBrush(t.body);
    p.drawRoundedRect(body, 7, 7);
    const QPointF m(c.x() - 6, c.y());
    p.setPen(QPen(t.detail, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(m, 10, 10);
    QPainterPath play;
    play.moveTo(m.x() - 3, m.y() - 5);
    play.lineTo(m.x() + 5.5, m.y());
    play.lineTo(m.x() - 3, m.y() + 5);
    play.closeSubpath();
    p.setPen(QPen(t.detail, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(t.detail);
    p.drawPath(play);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(c.x() + 19, c.y() + 9), 2.4, 2.4);
}

// The router: a flat box with two antennas and a row of lights.
void RouterGlyph(QPainter& p, QPointF c, const Tone& t, const QColor& lights) {
    FloorShadow(p, QPointF(c.x(), c.y() + 15), 40);
    p.setPen(RoundPen(t.edge, 2.6));
    p.drawLine(QPointF(c.x() - 22, c.y() - 10), QPointF(c.x() - 27, c.y() - 36));
    p.drawLine(QPointF(c.x() + 22, c.y() - 10), QPointF(c.x() + 27, c.y() - 36));
    const QRectF body(c.x() - 36, c.y() - 11, 72, 22);
    p.setPen(QPen(t.edge, 2));
    p.setBrush(t.body);
    p.drawRoundedRect(body, 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(lights);
    for (int i = 0; i < 4; ++i) {
        p.drawEllipse(QPointF(c.x() - 21 + i * 9, c.y()), 2.2, 2.2);
    }
    p.setBrush(t.edge);
    p.drawRoundedRect(QRectF(c.x() + 15, c.y() - 2, 13, 4), 2, 2);
}

// The computer: a laptop seen from the front.
void LaptopGlyph(QPainter& p, QPointF c, const Tone& t, const QColor& screen) {
    FloorShadow(p, QPointF(c.x(), c.y() + 25), 40);
    const QRectF lid(c.x() - 29, c.y() - 26, 58, 40);
    p.setPen(QPen(t.edge, 2));
    p.setBrush(t.body);
    p.drawRoundedRect(lid, 5, 5);
    p.setPen(Qt::NoPen);
    p.setBrush(screen);
    p.drawRoundedRect(lid.adjusted(5, 5, -5, -5), 2, 2);
    QPainterPath base;
    base.moveTo(c.x() - 36, c.y() + 17);
    base.lineTo(c.x() + 36, c.y() + 17);
    base.lineTo(c.x() + 32, c.y() + 22);
    base.lineTo(c.x() - 32, c.y() + 22);
    base.closeSubpath();
    p.setPen(QPen(t.edge, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(t.body);
    p.drawPath(base);
}

void GlobeGlyph(QPainter& p, QPointF c, const Tone& t) {
    FloorShadow(p, QPointF(c.x(), c.y() + 29), 30);
    const qreal r = 24;
    p.setPen(QPen(t.edge, 2));
    p.setBrush(t.body);
    p.drawEllipse(c, r, r);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(t.detail, 1.6));
    p.drawEllipse(c, r * 0.45, r);
    p.drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
    p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
    const qreal k = r * 0.5;
    const qreal hw = qSqrt(r * r - k * k);
    p.drawLine(QPointF(c.x() - hw, c.y() - k), QPointF(c.x() + hw, c.y() - k));
    p.drawLine(QPointF(c.x() - hw, c.y() + k), QPointF(c.x() + hw, c.y() + k));
}

// A cable that dips between two ports, with plugs at both ends.
void Cable(QPainter& p, QPointF a, QPointF b, const QColor& color, bool dashed = false) {
    QPainterPath path;
    path.moveTo(a);
    const qreal sag = 18;
    path.cubicTo(QPointF(a.x(), a.y() + sag), QPointF(b.x(), b.y() + sag), b);
    QPen pen = RoundPen(color, 3);
    if (dashed) {
        pen.setDashPattern({1.2, 2.2});
    }
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    for (const QPointF& end : {a, b}) {
        p.drawRoundedRect(QRectF(end.x() - 4, end.y() - 3, 8, 6), 1.5, 1.5);
    }
}

void BrokenBadge(QPainter& p, QPointF c) {
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(kError);
    p.drawEllipse(c, 11, 11);
    p.setPen(RoundPen(Qt::white, 2.6));
    p.drawLine(QPointF(c.x() - 4, c.y() - 4), QPointF(c.x() + 4, c.y() + 4));
    p.drawLine(QPointF(c.x() + 4, c.y() - 4), QPointF(c.x() - 4, c.y() + 4));
}

void LinkBadge(QPainter& p, QPointF c) {
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(kOk);
    p.drawEllipse(c, 10, 10);
    p.setPen(RoundPen(Qt::white, 2.4));
    QPainterPath tick;
    tick.moveTo(c.x() - 4.5, c.y() + 0.5);
    tick.lineTo(c.x() - 1.2, c.y() + 3.8);
    tick.lineTo(c.x() + 4.8, c.y() - 3.4);
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
}

// The scene is drawn once to measure it, then centred at one common scale so that
// the step diagrams keep the same proportions when the pages are flipped.
QImage Diagram(const std::function<void(QPainter&)>& draw) {
    QPicture picture;
    {
        QPainter p(&picture);
        Smooth(p);
        draw(p);
    }
    const QRectF bounds = picture.boundingRect();
    constexpr qreal kScale = 1.04;
    QImage img = Canvas(264, 170);
    QPainter p(&img);
    Smooth(p);
    p.translate(132, 85);
    p.scale(kScale, kScale);
    p.translate(-bounds.center());
    draw(p);
    return img;
}

const QColor kCableActive = kAccent;
const QColor kCableQuiet(0xC4, 0xC4, 0xC4);
const QColor kScreen(0xFF, 0xE3, 0xC6);
const QColor kScreenQuiet(0xE4, 0xE4, 0xE4);

QImage DiagramStreamer() {
    return Diagram([](QPainter& p) {
        const QPointF router(186, 96), dev(70, 100);
        Cable(p, QPointF(dev.x() + 22, dev.y() + 18), QPointF(router.x() - 24, router.y() + 11),
              kCableActive);
        RouterGlyph(p, router, QuietTone(), QColor(0x9C, 0xD6, 0xB0));
        StreamerGlyph(p, dev, ActiveTone());
        LinkBadge(p, QPointF(128, 131));
    });
}

QImage DiagramComputer() {
    return Diagram([](QPainter& p) {
        const QPointF laptop(52, 92), router(146, 98), dev(222, 104);
        Cable(p, QPointF(laptop.x() + 26, laptop.y() + 19),
              QPointF(router.x() - 24, router.y() + 11), kCableActive);
        Cable(p, QPointF(router.x() + 24, router.y() + 11), QPointF(dev.x() - 14, dev.y() + 18),
              kCableQuiet);
        RouterGlyph(p, router, QuietTone(), QColor(0x9C, 0xD6, 0xB0));
        p.save();
        p.translate(dev);
        p.scale(0.72, 0.72);
        p.translate(-dev);
        StreamerGlyph(p, dev, QuietTone());
        p.restore();
        LaptopGlyph(p, laptop, ActiveTone(), kScreen);
        LinkBadge(p, QPointF(98, 129));
    });
}

QImage DiagramInternet() {
    return Diagram([](QPainter& p) {
        const QPointF laptop(44, 92), router(136, 98), globe(222, 86);
        Cable(p, QPointF(laptop.x() + 26, laptop.y() + 19),
              QPointF(router.x() - 24, router.y() + 11), kCableQuiet);
        RouterGlyph(p, router, QuietTone(), QColor(0xEE, 0xB4, 0x80));
        LaptopGlyph(p, laptop, QuietTone(), kScreenQuiet);
        GlobeGlyph(p, globe, {kFill, kLine, QColor(0xBC, 0xBC, 0xBC)});
        // The broken link: a dashed line from the router to the internet.
        QPen pen = RoundPen(kError, 3);
        pen.setDashPattern({0.1, 2.4});
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        QPainterPath link;
        link.moveTo(router.x() + 30, router.y() - 16);
        link.quadTo(QPointF(178, 60), QPointF(globe.x() - 26, globe.y() - 6));
        p.drawPath(link);
        BrokenBadge(p, QPointF(178, 66));
    });
}

// ---------------------------------------------------------------- small icons
QImage PageDot(bool focus) {
    QImage img = Canvas(10, 10);
    QPainter p(&img);
    Smooth(p);
    p.setPen(Qt::NoPen);
    p.setBrush(focus ? kAccent : QColor(0xCC, 0xCC, 0xCC));
    const qreal r = focus ? 4.5 : 3.5;
    p.drawEllipse(QPointF(5, 5), r, r);
    return img;
}

QImage StatusIcon(int kind) {  // 0 error, 1 warning, 2 ok
    QImage img = Canvas(41, 41);
    QPainter p(&img);
    Smooth(p);
    const QPointF c(20.5, 20.5);
    p.setPen(Qt::NoPen);
    if (kind == 1) {
        // A rounded triangle: the warning differs from the others in shape, not just hue.
        QPainterPath tri;
        const QPointF a(20.5, 4.5), b(38, 35), d(3, 35);
        tri.moveTo(a);
        tri.lineTo(b);
        tri.lineTo(d);
        tri.closeSubpath();
        p.setPen(QPen(kAccent, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(kAccent);
        p.drawPath(tri);
        p.setPen(RoundPen(Qt::white, 3.4));
        p.drawLine(QPointF(20.5, 15), QPointF(20.5, 24.5));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(20.5, 30.5), 2, 2);
        return img;
    }
    p.setBrush(kind == 0 ? kError : kOk);
    p.drawEllipse(c, 18.5, 18.5);
    p.setPen(RoundPen(Qt::white, 3.4));
    p.setBrush(Qt::NoBrush);
    if (kind == 0) {
        p.drawLine(QPointF(14, 14), QPointF(27, 27));
        p.drawLine(QPointF(27, 14), QPointF(14, 27));
    } else {
        QPainterPath tick;
        tick.moveTo(12.5, 21);
        tick.lineTo(18, 26.5);
        tick.lineTo(28.5, 15);
        p.drawPath(tick);
    }
    return img;
}

// Twelve spokes; the bright one leads and the rest fade behind it. Frame i is
// frame 0 turned clockwise by i * 30 degrees.
QImage IndicatorFrame(int frame) {
    QImage img = Canvas(41, 41);
    QPainter p(&img);
    Smooth(p);
    p.translate(20.5, 20.5);
    p.rotate(frame * 30.0);
    for (int k = 0; k < 12; ++k) {
        const qreal age = (11 - k) / 11.0;  // 0 for the lead spoke
        const qreal alpha = 0.16 + 0.84 * qPow(1.0 - age, 1.6);
        p.save();
        p.rotate(k * 30.0);
        p.setPen(RoundPen(WithAlpha(kAccent, qRound(255 * alpha)), 3.6));
        p.drawLine(QPointF(0, -10), QPointF(0, -17));
        p.restore();
    }
    return img;
}

QImage LaunchImage() {
    QImage img = Canvas(320, 230, Qt::white);
    QPainter p(&img);
    Smooth(p);
    // Rows 0-1 continue the header, rows 2-5 the accent line it covers.
    p.fillRect(QRect(0, 0, 320, 2), kHeader);
    p.fillRect(QRect(0, 2, 320, 4), kAccent);
    QLinearGradient bg(0, 6, 0, 230);
    bg.setColorAt(0, kBand);
    bg.setColorAt(1, Qt::white);
    p.fillRect(QRect(0, 6, 320, 224), bg);
    const QPointF c(160, 122);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 4; ++i) {
        const qreal r = 62 + i * 24;
        p.setPen(QPen(WithAlpha(kAccent, 46 - i * 10), 1.5));
        p.drawEllipse(c, r, r);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 22));
    p.drawRoundedRect(QRectF(c.x() - 44, c.y() - 41, 88, 88), 20, 20);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(c.x() - 44, c.y() - 44, 88, 88), 20, 20);
    FinderMark(p, QPointF(c.x() - 6, c.y() - 6), 21, Qt::white);
    return img;
}

// ---------------------------------------------------------------- buttons
enum State { kNormal, kMouseOver, kPress, kDisable };
const std::array<const char*, 4> kStateWords = {"normal", "mouseover", "press", "disable"};

// A ring with eight rounded teeth and a round hole.
QPainterPath GearPath(QPointF c, qreal outer, qreal inner, qreal hole) {
    QPainterPath body;
    body.addEllipse(c, inner, inner);
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-2.9, -outer, 5.8, outer - inner + 2.5), 1.3, 1.3);
        QTransform t;
        t.translate(c.x(), c.y());
        t.rotate(i * 45.0);
        body = body.united(t.map(tooth));
    }
    QPainterPath hole_path;
    hole_path.addEllipse(c, hole, hole);
    return body.subtracted(hole_path);
}

QImage SettingButton(State s) {
    QImage img = Canvas(36, 36);
    QPainter p(&img);
    Smooth(p);
    const qreal dy = s == kPress ? 1 : 0;
    const QPointF c(18, 18 + dy);
    if (s == kMouseOver) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 30));
        p.drawEllipse(QPointF(18, 18), 17, 17);
    } else if (s == kPress) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 110));
        p.drawEllipse(QPointF(18, 18), 17, 17);
    }
    const QColor color = s == kNormal      ? QColor(0xC4, 0xC4, 0xC4)
                         : s == kMouseOver ? QColor(Qt::white)
                         : s == kPress     ? kAccent
                                           : QColor(0x55, 0x55, 0x55);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(GearPath(c, 11.5, 8.4, 3.4));
    return img;
}

QImage ArrowButton(State s, bool next) {
    QImage img = Canvas(25, 40);
    QPainter p(&img);
    Smooth(p);
    if (s == kMouseOver || s == kPress) {
        p.setPen(Qt::NoPen);
        p.setBrush(s == kMouseOver ? QColor(0xF2, 0xF2, 0xF2) : QColor(0xE0, 0xE0, 0xE0));
        p.drawRoundedRect(QRectF(0.5, 0.5, 24, 39), 6, 6);
    }
    const QColor color = s == kNormal      ? QColor(0x9A, 0x9A, 0x9A)
                         : s == kMouseOver ? kAccent
                         : s == kPress     ? kAccentDark
                                           : QColor(0xDD, 0xDD, 0xDD);
    const qreal dy = s == kPress ? 1 : 0;
    const qreal tip = next ? 16 : 9;
    const qreal back = next ? 9.5 : 15.5;
    QPainterPath chevron;
    chevron.moveTo(back, 11 + dy);
    chevron.lineTo(tip, 20 + dy);
    chevron.lineTo(back, 29 + dy);
    p.setPen(RoundPen(color, 3.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(chevron);
    return img;
}

QImage CommandButton(State s, int width) {
    QImage img = Canvas(width, 30);
    QPainter p(&img);
    Smooth(p);
    const QRectF face(0.5, 0.5, width - 1, 29);
    const QColor fill = s == kNormal      ? kAccent
                        : s == kMouseOver ? kAccentLight
                        : s == kPress     ? kAccentDark
                                          : QColor(0x4A, 0x4A, 0x4A);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(face, 4, 4);
    if (s == kPress) {
        // Inset: a soft shade along the top edge.
        QLinearGradient shade(0, 0, 0, 7);
        shade.setColorAt(0, QColor(0, 0, 0, 70));
        shade.setColorAt(1, QColor(0, 0, 0, 0));
        p.setBrush(shade);
        p.drawRoundedRect(face, 4, 4);
    } else if (s != kDisable) {
        // A hairline of light on the top edge lifts the face off the dark footer.
        p.setBrush(QColor(255, 255, 255, s == kMouseOver ? 70 : 46));
        p.setClipRect(QRectF(0, 0, width, 1.5));
        p.drawRoundedRect(face, 4, 4);
    }
    return img;
}

QImage ScrollButton(State s, bool up) {
    // Opaque: the scroll bar copies these without blending.
    const QColor bg = s == kNormal      ? QColor(0xCC, 0xCC, 0xCC)
                      : s == kMouseOver ? QColor(0xD9, 0xD9, 0xD9)
                      : s == kPress     ? QColor(0xB4, 0xB4, 0xB4)
                                        : QColor(0xE6, 0xE6, 0xE6);
    QImage img = Canvas(13, 13, bg);
    QPainter p(&img);
    Smooth(p);
    const QColor ink = s == kDisable ? QColor(0xBE, 0xBE, 0xBE) : QColor(0x55, 0x55, 0x55);
    QPainterPath tri;
    if (up) {
        tri.moveTo(6.5, 4.2);
        tri.lineTo(10, 8.6);
        tri.lineTo(3, 8.6);
    } else {
        tri.moveTo(6.5, 8.8);
        tri.lineTo(10, 4.4);
        tri.lineTo(3, 4.4);
    }
    tri.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(tri);
    return img;
}

// ---------------------------------------------------------------- device icons
// TR400: a compact streaming box. TR9100: a wide unit with a display and a knob.
QImage DeviceIcon(int model) {
    QImage img = Canvas(68, 44);
    QPainter p(&img);
    Smooth(p);
    const QColor body(0x34, 0x34, 0x34);
    const QColor top(0x4A, 0x4A, 0x4A);
    if (model == 0) {
        FloorShadow(p, QPointF(34, 39.5), 22);
        const QRectF box(17, 7, 34, 31);
        p.setPen(Qt::NoPen);
        p.setBrush(body);
        p.drawRoundedRect(box, 7, 7);
        p.setBrush(top);
        p.drawRoundedRect(QRectF(17, 7, 34, 7), 3.5, 3.5);
        p.drawRect(QRectF(17.5, 10.5, 33, 3.5));
        p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(34, 25), 6.5, 6.5);
        QPainterPath play;
        play.moveTo(32, 22);
        play.lineTo(37.5, 25);
        play.lineTo(32, 28);
        play.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xA0, 0xA0, 0xA0));
        p.drawPath(play);
        p.setBrush(kAccent);
        p.drawEllipse(QPointF(45.5, 33), 1.8, 1.8);
    } else {
        FloorShadow(p, QPointF(34, 40), 33);
        p.setPen(Qt::NoPen);
        p.setBrush(body);
        p.drawRoundedRect(QRectF(3, 13, 62, 25), 5, 5);
        p.setBrush(top);
        p.drawRoundedRect(QRectF(3, 13, 62, 5), 2.5, 2.5);
        p.drawRect(QRectF(3.5, 15.5, 61, 2.5));
        // Display window with a line of text on it.
        p.setBrush(QColor(0x1C, 0x3A, 0x4A));
        p.drawRoundedRect(QRectF(9, 23, 26, 9), 1.5, 1.5);
        p.setBrush(QColor(0x6C, 0xC4, 0xE8));
        p.drawRect(QRectF(12, 26.5, 12, 2));
        p.setBrush(QColor(0x6C, 0xC4, 0xE8, 120));
        p.drawRect(QRectF(26, 26.5, 5, 2));
        // Volume knob with its marker, and the status light.
        p.setBrush(QColor(0x22, 0x22, 0x22));
        p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1.4));
        p.drawEllipse(QPointF(52, 27.5), 7, 7);
        p.setPen(RoundPen(QColor(0xC8, 0xC8, 0xC8), 1.6));
        p.drawLine(QPointF(52, 27.5), QPointF(48.5, 23.5));
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawEllipse(QPointF(40.5, 27.5), 1.8, 1.8);
    }
    return img;
}

// The warning triangle of the status icon, small enough for the corner of a device
// icon; a white rim keeps it apart from the dark device body under it.
QImage WarningBadge() {
    QImage img = Canvas(16, 16);
    QPainter p(&img);
    Smooth(p);
    QPainterPath tri;
    tri.moveTo(8, 2.4);
    tri.lineTo(14.2, 13.2);
    tri.lineTo(1.8, 13.2);
    tri.closeSubpath();
    p.setPen(QPen(Qt::white, 3.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(tri);
    p.setPen(QPen(kAccent, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kAccent);
    p.drawPath(tri);
    p.setPen(RoundPen(Qt::white, 1.7));
    p.drawLine(QPointF(8, 6.4), QPointF(8, 9.2));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8, 11.4), 0.95, 0.95);
    return img;
}

// Greyed: no colour, half the contrast, a little transparent.
QImage Disabled(const QImage& src) {
    QImage out = Straight(src);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb px = line[x];
            const int grey = qGray(px);
            const int light = 150 + grey * 90 / 255;
            line[x] = qRgba(light, light, light, qAlpha(px) * 3 / 4);
        }
    }
    return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

QImage Straight(const QImage& image) {
    if (image.format() == QImage::Format_ARGB32) {
        return image;
    }
    // Qt's own conversion to straight alpha takes a code path chosen by the CPU at
    // run time, and the paths round differently (±1 on some edge pixels), so the
    // files depended on the machine that drew them. Whole numbers rounded to
    // nearest give the same pixels everywhere.
    QImage out = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    out.reinterpretAsFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb px = line[x];
            const int a = qAlpha(px);
            if (a == 0) {
                line[x] = 0;
            } else if (a < 255) {
                auto unmul = [a](int c) { return qMin(255, (c * 255 + a / 2) / a); };
                line[x] = qRgba(unmul(qRed(px)), unmul(qGreen(px)), unmul(qBlue(px)), a);
            }
        }
    }
    return out;
}

namespace {

// Every image of the skin at `scale` device pixels per unit; names get `suffix`
// before ".png".
void DrawSkinAt(int scale, const QString& suffix, std::vector<SkinImage>& out) {
    g_scale = scale;
    auto add = [&out, &suffix](QString file, const QImage& image, const QColor& bg,
                               const QString& group) {
        file.insert(file.size() - 4, suffix);
        QImage straight = Straight(image);
        straight.setDevicePixelRatio(1);
        out.push_back({file, straight, bg, group});
    };
    const QString header = QStringLiteral("Header and footer");
    const QString pages = QStringLiteral("Pages");
    const QString status = QStringLiteral("Status and waiting indicator");
    const QString buttons = QStringLiteral("Buttons");
    const QString devices = QStringLiteral("Device list");

    add("finder_win_icon_apicon.png", AppIcon(), kHeader, header);
    add("finder_win_icon_apname.png", AppName(), kHeader, header);
    add("finder_win_icon_logo.png", MakerLogo(), kFooter, header);
    add("finder_win_bg_shadow.png", HeaderShadow(), kContent, header);

    add("finder_win_diagram_diagram1.png", DiagramStreamer(), kContent, pages);
    add("finder_win_diagram_diagram2.png", DiagramComputer(), kContent, pages);
    add("finder_win_diagram_internet.png", DiagramInternet(), kContent, pages);
    add("finder_win_startup_image_launch.png", LaunchImage(), kContent, pages);
    add("finder_win_icon_dot_normal.png", PageDot(false), kContent, pages);
    add("finder_win_icon_dot_focus.png", PageDot(true), kContent, pages);

    add("finder_win_icon_error.png", StatusIcon(0), kBand, status);
    add("finder_win_icon_warning.png", StatusIcon(1), kBand, status);
    add("finder_win_icon_ok.png", StatusIcon(2), kBand, status);
    for (int i = 0; i < 12; ++i) {
        add(QStringLiteral("finder_win_icon_waiting_indicator%1.png").arg(i), IndicatorFrame(i),
            kBand, status);
    }

    for (int s = 0; s < 4; ++s) {
        const QString w = QString::fromLatin1(kStateWords[static_cast<std::size_t>(s)]);
        const auto st = static_cast<State>(s);
        add("finder_win_btn_setting_" + w + ".png", SettingButton(st), kHeader, buttons);
    }
    for (int s = 0; s < 4; ++s) {
        const QString w = QString::fromLatin1(kStateWords[static_cast<std::size_t>(s)]);
        add("finder_win_btn_previous_" + w + ".png", ArrowButton(static_cast<State>(s), false),
            kContent, buttons);
    }
    for (int s = 0; s < 4; ++s) {
        const QString w = QString::fromLatin1(kStateWords[static_cast<std::size_t>(s)]);
        add("finder_win_btn_next_" + w + ".png", ArrowButton(static_cast<State>(s), true), kContent,
            buttons);
    }
    for (int s = 0; s < 4; ++s) {
        const QString w = QString::fromLatin1(kStateWords[static_cast<std::size_t>(s)]);
        add("finder_win_btn_commbutton_" + w + "_resize.png",
            CommandButton(static_cast<State>(s), 100), kFooter, buttons);
    }
    for (int s = 0; s < 4; ++s) {
        const QString w = QString::fromLatin1(kStateWords[static_cast<std::size_t>(s)]);
        add("finder_win_btn_commbutton_" + w + ".png", CommandButton(static_cast<State>(s), 41),
            kFooter, buttons);
    }
    for (int s = 0; s < 4; ++s) {
        const QString w = QString::fromLatin1(kStateWords[static_cast<std::size_t>(s)]);
        add("finder_win_btn_scrollup_" + w + ".png", ScrollButton(static_cast<State>(s), true),
            kContent, buttons);
    }
    for (int s = 0; s < 4; ++s) {
        const QString w = QString::fromLatin1(kStateWords[static_cast<std::size_t>(s)]);
        add("finder_win_btn_scrolldown_" + w + ".png", ScrollButton(static_cast<State>(s), false),
            kContent, buttons);
    }

    const QImage tr400 = DeviceIcon(0);
    const QImage tr9100 = DeviceIcon(1);
    add("finder_win_icon_device_tr400_normal.png", tr400, kContent, devices);
    add("finder_win_icon_device_tr400_disable.png", Disabled(tr400), kContent, devices);
    add("finder_win_icon_device_tr9100_normal.png", tr9100, kContent, devices);
    add("finder_win_icon_device_tr9100_disable.png", Disabled(tr9100), kContent, devices);
    add("finder_win_icon_badge_warning.png", WarningBadge(), kContent, devices);
    g_scale = 1;
}

}  // namespace

std::vector<SkinImage> DrawSkin() {
    std::vector<SkinImage> out;
    DrawSkinAt(1, QString(), out);
    DrawSkinAt(2, QStringLiteral("@2x"), out);
    return out;
}

}  // namespace skingen
