// CScrollBarControl: the list's vertical scroll bar, drawn from the skin: the up
// and down arrow images, a grey track and a darker thumb that reaches 4 pixels
// past the slider at each end. Installed on the list as its own scroll bar, so
// the scroll area places it and it does the scrolling; it only paints.
#pragma once

#include <QScrollBar>
#include <array>
#include <string>

#include "controls/skin_bitmap.h"

namespace orvandel {

class CScrollBarControl : public QScrollBar {
    Q_OBJECT

public:
    static constexpr int kSlotCount = 16;

    explicit CScrollBarControl(QWidget* parent = nullptr);
    ~CScrollBarControl() override;

    // Slots 0 (up arrow) and 4 (down arrow) are drawn; the others are kept only.
    // False for a path over 260 units, an image that does not load, or a slot
    // outside 0-15.
    bool SetSlotImage(const std::u16string& path, int slot);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::array<SkinBitmapSet, kSlotCount> m_slots;
};

}  // namespace orvandel
