#include "controls/button_operate.h"

#include <QFocusEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "controls/enter_key.h"
#include "controls/skin_bitmap.h"
#include "controls/skin_color.h"
#include "platform/qt/fonts.h"

namespace orvandel {
namespace {
constexpr int kMaxCaption = 1023;
constexpr int kCaptionPixels = 17;  // cell height, as for the window texts
constexpr int kCaptionWeight = 700;
// A caption keeps this much of the face free on each side: it is drawn smaller
// than its cell height where it would come closer.
constexpr qreal kCaptionMargin = 8.0;
constexpr int kSmallestCaptionPixels = 9;

QFont CaptionFont(const QString& caption, CjkForms forms, int face_width) {
    QFont font = SkinCellFont(kCaptionPixels, kCaptionWeight, ScriptOf(caption), forms);
    for (int em = font.pixelSize(); em > kSmallestCaptionPixels; --em) {
        font.setPixelSize(em);
        if (QFontMetricsF(font).boundingRect(caption).width() <= face_width - 2 * kCaptionMargin)
            break;
    }
    return font;
}

// The caption's font at the size of the set's smallest fitting caption.
QFont CaptionFont(const QString& caption, const std::vector<QString>& set, CjkForms forms,
                  int face_width) {
    QFont font = CaptionFont(caption, forms, face_width);
    for (const QString& other : set) {
        font.setPixelSize(
            std::min(font.pixelSize(), CaptionFont(other, forms, face_width).pixelSize()));
    }
    return font;
}

constexpr std::size_t StateIndex(int state) {
    return (state >= 1 && state <= 3) ? static_cast<std::size_t>(state) : 0;
}
}  // namespace

CButtonOperate::CButtonOperate(QWidget* parent) : QAbstractButton(parent) {
    // The face has transparent parts: the parent's background shows through.
    setAutoFillBackground(false);
}

CButtonOperate::~CButtonOperate() = default;

bool CButtonOperate::SetStateImage(const std::u16string& path, int state) {
    if (path.size() > kMaxSkinPath) {
        return false;
    }
    SkinBitmapSet image = LoadSkinBitmapSet(path, size());
    if (image.isNull()) {
        return false;
    }
    m_images[StateIndex(state)] = std::move(image);
    updateGeometry();
    return true;
}

void CButtonOperate::SetCaption(const std::u16string& text) {
    m_caption = QString::fromStdU16String(text).left(kMaxCaption);
    m_has_caption = true;
}

void CButtonOperate::SetCaptionSet(const std::vector<std::u16string>& captions) {
    m_caption_set.clear();
    for (const std::u16string& c : captions)
        m_caption_set.push_back(QString::fromStdU16String(c).left(kMaxCaption));
}

QFont CButtonOperate::CaptionFontNow() const {
    const QImage& normal = m_images[static_cast<std::size_t>(ButtonState::Normal)].plain;
    return CaptionFont(m_caption, m_caption_set, m_caption_forms,
                       normal.isNull() ? width() : normal.width());
}

void CButtonOperate::SetCaptionColor(ColorRef color) {
    m_caption_color = ToQColor(color);
}

void CButtonOperate::SetShown(bool shown) {
    m_shown = shown;
}

void CButtonOperate::SetFocusRingColor(ColorRef color) {
    m_focus_ring_color = ToQColor(color);
}

QSize CButtonOperate::sizeHint() const {
    const QImage& press = m_images[static_cast<std::size_t>(ButtonState::Press)].plain;
    return press.isNull() ? m_images[0].plain.size() : press.size();
}

void CButtonOperate::paintEvent(QPaintEvent*) {
    if (!m_shown) {
        return;
    }
    // Pressed beats hover; keyboard focus looks like hover. The Disable image is
    // kept but never drawn.
    const bool focus_ring = m_focus_visible && hasFocus();
    const ButtonState state = isDown()                ? ButtonState::Press
                              : m_hover || focus_ring ? ButtonState::MouseOver
                                                      : ButtonState::Normal;
    const SkinBitmapSet& face = m_images[static_cast<std::size_t>(state)];
    // The drawing size comes from the Press image; without one, the face's own.
    const QImage& press = m_images[static_cast<std::size_t>(ButtonState::Press)].plain;
    const QSize size = press.isNull() ? face.plain.size() : press.size();

    QPainter painter(this);
    if (!face.isNull()) {
        DrawSkinBitmap(painter, QPoint(0, 0), face.For(PaintedDeviceRatio(painter)), size);
    }
    if (m_has_caption) {
        const QImage& normal = m_images[static_cast<std::size_t>(ButtonState::Normal)].plain;
        // Without its Normal image (no skin) the caption still needs a rectangle to
        // be centred in: the button's own.
        const QRect box = normal.isNull() ? rect() : QRect(QPoint(0, 0), normal.size());
        painter.setFont(CaptionFont(m_caption, m_caption_set, m_caption_forms, box.width()));
        painter.setPen(m_caption_color);
        painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip, m_caption);
    }
    if (focus_ring) {
        // Inside the face, so the ring is never cut by the button's edge.
        const QRect face_rect = size.isEmpty() ? rect() : QRect(QPoint(0, 0), size);
        DrawFocusRing(painter, QRectF(face_rect), m_focus_ring_color);
    }
}

void CButtonOperate::enterEvent(QEnterEvent* event) {
    m_hover = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CButtonOperate::leaveEvent(QEvent* event) {
    m_hover = false;
    // The parent repaints its background under the button, then the button its face.
    if (QWidget* parent = parentWidget()) {
        parent->update(geometry());
    }
    update();
    QAbstractButton::leaveEvent(event);
}

QPoint CButtonOperate::PressPosition() const {
    return m_pressed_once ? m_press_position : rect().center();
}

void CButtonOperate::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_press_position = event->position().toPoint();
        m_pressed_once = true;
    }
    m_clicked_by_key = false;
    if (m_focus_visible) {
        m_focus_visible = false;
        update();
    }
    QAbstractButton::mousePressEvent(event);
}

void CButtonOperate::mouseDoubleClickEvent(QMouseEvent* event) {
    // A quick second click is an ordinary press, not a lost one.
    mousePressEvent(event);
}

void CButtonOperate::keyPressEvent(QKeyEvent* event) {
    // Space is QAbstractButton's own (press, then click on release); Return and
    // keypad Enter click at once, as a dialog's buttons do.
    if (IsEnterKey(event) || (event->key() == Qt::Key_Space && !event->isAutoRepeat())) {
        m_clicked_by_key = true;
        if (!m_focus_visible) {
            m_focus_visible = true;
            update();
        }
    }
    if (IsEnterKey(event)) {
        if (!event->isAutoRepeat()) {
            click();
        }
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void CButtonOperate::keyReleaseEvent(QKeyEvent* event) {
    if (IsEnterKey(event)) {
        event->accept();
        return;
    }
    QAbstractButton::keyReleaseEvent(event);
}

static bool FocusLentForAWhile(Qt::FocusReason reason) {
    // A menu or dialog had the focus and gave it back: the ring is as it was.
    return reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason;
}

void CButtonOperate::focusInEvent(QFocusEvent* event) {
    const Qt::FocusReason reason = event->reason();
    // A dialog being shown tells its focus widget "Tab" before the window has the
    // focus: that is no key the user pressed.
    if (hasFocus() && !FocusLentForAWhile(reason)) {
        m_focus_visible = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                          reason == Qt::ShortcutFocusReason;
    }
    update();
    QAbstractButton::focusInEvent(event);
}

void CButtonOperate::hideEvent(QHideEvent* event) {
    // Hidden under the pointer, the button gets no leave: it comes back plain.
    m_hover = false;
    QAbstractButton::hideEvent(event);
}

void CButtonOperate::focusOutEvent(QFocusEvent* event) {
    if (!FocusLentForAWhile(event->reason())) {
        m_focus_visible = false;
    }
    // The ring may have been drawn outside the face's opaque parts.
    if (QWidget* parent = parentWidget()) {
        parent->update(geometry());
    }
    update();
    QAbstractButton::focusOutEvent(event);
}

}  // namespace orvandel
