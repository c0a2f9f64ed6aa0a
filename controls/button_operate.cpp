#include "controls/button_operate.h"

#include <QMouseEvent>
#include <QPainter>

#include "controls/skin_bitmap.h"
#include "controls/skin_color.h"
#include "platform/qt/fonts.h"

namespace orvandel {
namespace {
constexpr std::size_t kMaxPath = 260;
constexpr int kMaxCaption = 1023;
constexpr int kCaptionPixels = 17;  // cell height, as for the window texts
constexpr int kCaptionWeight = 700;

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
    if (path.size() > kMaxPath) {
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

void CButtonOperate::SetCaptionColor(ColorRef color) {
    m_caption_color = ToQColor(color);
}

void CButtonOperate::SetShown(bool shown) {
    m_shown = shown;
}

QSize CButtonOperate::sizeHint() const {
    const QImage& press = m_images[static_cast<std::size_t>(ButtonState::Press)].plain;
    return press.isNull() ? m_images[0].plain.size() : press.size();
}

void CButtonOperate::paintEvent(QPaintEvent*) {
    if (!m_shown) {
        return;
    }
    // Pressed beats hover; the Disable image is kept but never drawn.
    const ButtonState state = isDown()  ? ButtonState::Press
                              : m_hover ? ButtonState::MouseOver
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
        painter.setFont(SkinCellFont(kCaptionPixels, kCaptionWeight));
        painter.setPen(m_caption_color);
        // Without its Normal image (no skin) the caption still needs a rectangle to
        // be centred in: the button's own.
        const QRect box = normal.isNull() ? rect() : QRect(QPoint(0, 0), normal.size());
        painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip, m_caption);
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
    QAbstractButton::mousePressEvent(event);
}

void CButtonOperate::mouseDoubleClickEvent(QMouseEvent* event) {
    // A quick second click is an ordinary press, not a lost one.
    mousePressEvent(event);
}

}  // namespace orvandel
