#include "controls/scroll_bar_control.h"

#include <QAbstractScrollArea>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>

#include "controls/skin_bitmap.h"

namespace orvandel {
namespace {
constexpr std::size_t kMaxPath = 260;
constexpr int kBarWidth = 13;
constexpr int kArrow = 13;
constexpr int kMinHeight = 45;     // at this height or less nothing is drawn
constexpr int kThumbOverhang = 4;  // the thumb reaches this far past the list's own
constexpr int kThumbInset = 3;

QScrollBar* OwnerBar(QAbstractScrollArea* owner, int kind) {
    if (owner == nullptr) {
        return nullptr;
    }
    QScrollBar* bar = kind == CScrollBarControl::kVertical ? owner->verticalScrollBar()
                                                           : owner->horizontalScrollBar();
    // A bar the list does not show has no geometry to follow.
    if (bar == nullptr || !bar->isVisibleTo(owner)) {
        return nullptr;
    }
    return bar;
}

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

CScrollBarControl::CScrollBarControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    // What the drawing leaves uncovered shows the list's white.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
}

CScrollBarControl::~CScrollBarControl() = default;

void CScrollBarControl::SetOwner(QAbstractScrollArea* owner, int kind) {
    m_owner = owner;
    m_kind = kind == kHorizontal ? kHorizontal : kVertical;
}

bool CScrollBarControl::SetSlotImage(const std::u16string& path, int slot) {
    if (path.size() > kMaxPath) {
        return false;
    }
    // Every arrow is drawn into a 13 x 13 cell.
    SkinBitmapSet image = LoadSkinBitmapSet(path, QSize(kBarWidth, kArrow));
    if (image.isNull() || slot < 0 || slot >= kSlotCount) {
        return false;
    }
    m_slots[static_cast<std::size_t>(slot)] = std::move(image);
    return true;
}

void CScrollBarControl::Reposition() {
    QWidget* parent = parentWidget();
    if (parent == nullptr || m_owner == nullptr) {
        return;
    }
    // The list goes to the bottom of its siblings so that the bars lie above it.
    // Only when it is not there yet: restacking repaints, and this runs from the
    // list's own paint.
    if (m_owner->parentWidget() == parent) {
        for (QObject* child : parent->children()) {
            if (child->isWidgetType()) {
                if (child != m_owner) {
                    m_owner->lower();
                }
                break;
            }
        }
    }
    QRect target;
    if (QScrollBar* bar = OwnerBar(m_owner, m_kind)) {
        target = QRect(parent->mapFromGlobal(bar->mapToGlobal(QPoint(0, 0))), bar->size());
    }
    setGeometry(target);
    show();
    update();
}

void CScrollBarControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_kind == kVertical) {
        PaintVertical(painter);
    } else {
        PaintHorizontal(painter);
    }
}

void CScrollBarControl::PaintVertical(QPainter& painter) {
    const QScrollBar* bar = OwnerBar(m_owner, kVertical);
    if (bar == nullptr) {
        return;
    }
    const int h = bar->height();
    if (h <= kMinHeight) {
        return;
    }
    const QRect slider = SliderRect(*bar);
    CopyImage(painter, QRect(0, 0, kBarWidth, kArrow), m_slots[0]);
    CopyImage(painter, QRect(0, h - kArrow, kBarWidth, kArrow), m_slots[4]);

    const QRect track(0, kArrow, kBarWidth, h - 2 * kArrow);
    painter.fillRect(track, QColor(255, 255, 255, 255));
    painter.fillRect(track, QColor(0, 0, 0, 0x33));
    if (slider.isEmpty()) {
        return;
    }
    // Kept within the track: the real bar's arrow buttons can be as short as ours,
    // and the overhang would then cover the arrow images.
    const int t1 = slider.top() - kThumbOverhang;
    const int t2 = slider.top() + slider.height() + kThumbOverhang;
    painter.setClipRect(track);
    painter.fillRect(QRect(kThumbInset, t1, kBarWidth - 2 * kThumbInset, t2 - t1),
                     QColor(0, 0, 0, 0x7F));
}

void CScrollBarControl::PaintHorizontal(QPainter& painter) {
    if (m_owner == nullptr) {
        return;
    }
    const QScrollBar* bar = OwnerBar(m_owner, kHorizontal);
    if (bar == nullptr) {
        return;
    }
    // The arrow cells are square, as thick as the list's own bar.
    const int bh = bar->height();
    int bw = bh;
    const int w = bar->width();
    if (w < 2 * bw + 1) {
        bw = (w - 1) / 2;
    }
    CopyImage(painter, QRect(0, 0, bw, bh), m_slots[8]);
    CopyImage(painter, QRect(w - bw, 0, bw, bh), m_slots[12]);
}

}  // namespace orvandel
