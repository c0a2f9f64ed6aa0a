#include "controls/scroll_bar_control.h"

#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>

#include "controls/skin_bitmap.h"

namespace orvandel {
namespace {
constexpr int kBarWidth = 13;
constexpr int kArrow = 13;
constexpr int kMinHeight = 45;     // at this height or less nothing is drawn
constexpr int kThumbOverhang = 4;  // the thumb reaches this far past the list's own
constexpr int kThumbInset = 3;

QRect SliderRect(const QScrollBar& bar) {
    QStyleOptionSlider opt;
    opt.initFrom(&bar);
    opt.subControls = QStyle::SC_All;
    opt.activeSubControls = QStyle::SC_None;
    opt.orientation = bar.orientation();
    opt.minimum = bar.minimum();
    opt.maximum = bar.maximum();
    opt.sliderPosition = bar.sliderPosition();
    opt.sliderValue = bar.value();
    opt.singleStep = bar.singleStep();
    opt.pageStep = bar.pageStep();
    opt.upsideDown = bar.invertedAppearance();
    if (bar.orientation() == Qt::Horizontal) {
        opt.state |= QStyle::State_Horizontal;
    }
    return bar.style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider,
                                       &bar);
}

// Copies the whole image into `target`, stretched, without blending; on a dense
// device the @2x twin fills the same logical rectangle.
void CopyImage(QPainter& painter, const QRect& target, const SkinBitmapSet& set) {
    const QImage& image = set.For(PaintedDeviceRatio(painter));
    if (image.isNull() || target.isEmpty()) {
        return;
    }
    painter.save();
    SmoothWhenResampled(painter, image.devicePixelRatio());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(target, image, image.rect());
    painter.restore();
}
}  // namespace

CScrollBarControl::CScrollBarControl(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {
    setFocusPolicy(Qt::NoFocus);
}

CScrollBarControl::~CScrollBarControl() = default;

bool CScrollBarControl::SetSlotImage(const std::u16string& path, int slot) {
    if (path.size() > kMaxSkinPath) {
        return false;
    }
    // Every arrow is drawn into a 13 x 13 cell.
    SkinBitmapSet image = LoadSkinBitmapSet(path, QSize(kBarWidth, kArrow));
    if (image.isNull() || slot < 0 || slot >= kSlotCount) {
        return false;
    }
    m_slots[static_cast<std::size_t>(slot)] = std::move(image);
    update();
    return true;
}

void CScrollBarControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // What the drawing leaves uncovered shows the list's white.
    painter.fillRect(rect(), Qt::white);
    const int h = height();
    if (h <= kMinHeight) {
        return;
    }
    const QRect slider = SliderRect(*this);
    CopyImage(painter, QRect(0, 0, kBarWidth, kArrow), m_slots[0]);
    CopyImage(painter, QRect(0, h - kArrow, kBarWidth, kArrow), m_slots[4]);

    const QRect track(0, kArrow, kBarWidth, h - 2 * kArrow);
    painter.fillRect(track, QColor(255, 255, 255, 255));
    painter.fillRect(track, QColor(0, 0, 0, 0x33));
    if (slider.isEmpty()) {
        return;
    }
    // Kept within the track: the style's arrow buttons can be as short as ours,
    // and the overhang would then cover the arrow images.
    const int t1 = slider.top() - kThumbOverhang;
    const int t2 = slider.top() + slider.height() + kThumbOverhang;
    painter.setClipRect(track);
    painter.fillRect(QRect(kThumbInset, t1, kBarWidth - 2 * kThumbInset, t2 - t1),
                     QColor(0, 0, 0, 0x7F));
}

}  // namespace orvandel
