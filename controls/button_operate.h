// CButtonOperate: a push button whose whole face is a skin image per state, with
// an optional caption drawn on top.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <array>
#include <string>
#include <vector>

#include "controls/focus_ring.h"
#include "controls/skin_bitmap.h"
#include "localization/ui_elements.h"
#include "platform/qt/fonts.h"

namespace orvandel {

class CButtonOperate : public QAbstractButton {
    Q_OBJECT

public:
    explicit CButtonOperate(QWidget* parent = nullptr);
    ~CButtonOperate() override;

    // state: 0 Normal, 1 MouseOver, 2 Press, 3 Disable; anything else is Normal.
    // False when the path is over 260 units or the image does not load; the
    // state then keeps its previous image. The owner places the button first: its
    // size is the layout's, which bounds the image (LoadSkinBitmap).
    bool SetStateImage(const std::u16string& path, int state);

    // None of the setters repaints: the owner updates what it changed.
    void SetCaption(const std::u16string& text);  // at most 1023 units are kept
    QString Caption() const { return m_caption; }
    // Every caption the button shows in turn (the current one among them): all are
    // drawn at the one size that fits the widest, so the face does not change size
    // from page to page.
    void SetCaptionSet(const std::vector<std::u16string>& captions);
    // The caption font as the next paint draws it.
    QFont CaptionFontNow() const;
    void SetCaptionColor(ColorRef color);
    // The forms the caption's ideographs are drawn in (its language's).
    void SetCaptionForms(CjkForms forms) { m_caption_forms = forms; }
    // While false the button draws nothing, visible or not.
    void SetShown(bool shown);
    bool IsShown() const { return m_shown; }
    // Colour of the ring drawn while the button has keyboard focus.
    void SetFocusRingColor(ColorRef color);
    // Whether the latest click came from a key (Return, Enter, Space) rather than the
    // mouse: a menu it opens then goes under the button, not at the pointer.
    bool ClickedByKey() const { return m_clicked_by_key; }
    // Whether the focus ring shows: the button has the focus and it came from a key.
    bool FocusRingVisible() const { return m_focus_visible && hasFocus(); }

    QSize sizeHint() const override;

    // Where, in the button, the last mouse press was; the centre before any. A menu
    // the button opens goes there: Wayland tells clients no global pointer position.
    QPoint PressPosition() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool m_hover = false;
    bool m_pressed_once = false;
    QPoint m_press_position;
    std::array<SkinBitmapSet, 4> m_images;
    bool m_shown = true;
    bool m_has_caption = false;
    QString m_caption;
    std::vector<QString> m_caption_set;
    CjkForms m_caption_forms = CjkForms::kTraditional;
    QColor m_caption_color = Qt::white;
    QColor m_focus_ring_color = FocusAccentColor();
    // The ring shows only for focus that came from the keyboard; the mouse hides it.
    // A popup or another window taking the focus for a while leaves it as it was.
    bool m_focus_visible = false;
    bool m_clicked_by_key = false;
};

}  // namespace orvandel
