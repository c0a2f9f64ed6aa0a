// CScrollBarControl: a flat skin laid over one of a list's own scroll bars.
//
// It is a sibling of the list, not a child, and is transparent to the mouse:
// clicks and drags go to the real scroll bar underneath, which does the
// scrolling. It keeps no scroll state; it reads the list's bar when it moves or
// paints.
#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>
#include <array>
#include <string>

#include "controls/skin_bitmap.h"

class QAbstractScrollArea;

namespace orvandel {

class CScrollBarControl : public QWidget {
    Q_OBJECT

public:
    static constexpr int kHorizontal = 0;
    static constexpr int kVertical = 1;
    static constexpr int kSlotCount = 16;

    explicit CScrollBarControl(QWidget* parent = nullptr);
    ~CScrollBarControl() override;

    void SetOwner(QAbstractScrollArea* owner, int kind);

    // Slots 0 (up) and 4 (down) are drawn by the vertical kind, 8 (left) and 12
    // (right) by the horizontal kind; the others are kept only. False for a path
    // over 260 units, an image that does not load, or a slot outside 0-15.
    bool SetSlotImage(const std::u16string& path, int slot);

    // Moves over the owner's scroll bar (an empty rectangle when that bar is not
    // shown), keeps the owner below its siblings, shows and repaints.
    void Reposition();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintVertical(QPainter& painter);
    void PaintHorizontal(QPainter& painter);

    QPointer<QAbstractScrollArea> m_owner;
    int m_kind = kVertical;
    std::array<SkinBitmapSet, kSlotCount> m_slots;
};

}  // namespace orvandel
