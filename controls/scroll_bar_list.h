// CScrollBarList: the list of found devices. Each row shows the model icon and
// three text lines (name, IP line, MAC line); a click, or Return on the selected
// row, opens the device's web page. A row's context menu (right click, Menu key,
// Shift+F10) opens the page or copies the row's IP, MAC or details; Ctrl+C copies
// the IP.
// Its vertical scroll bar is the skin's (CScrollBarControl); it never scrolls sideways.
#pragma once

#include <QIcon>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <string>
#include <unordered_map>
#include <vector>

#include "controls/scroll_bar_control.h"
#include "localization/row_view.h"

namespace orvandel {

// The row menu's entries in the current language.
struct DeviceRowMenuTexts {
    std::u16string open_page, copy_ip, copy_mac, copy_details;
};

class CScrollBarList : public QTreeWidget {
    Q_OBJECT

public:
    static constexpr int kIconWidth = 68;
    static constexpr int kIconHeight = 44;
    static constexpr int kIconColumnWidth = 72;

    explicit CScrollBarList(QWidget* parent = nullptr);

    // Removes every row, the columns and the icons, and scrolls back to the top.
    void ClearDevices();
    // Shows one row per view, in order. When the list already shows the rows of
    // these views (same icons and addresses, in order: a language switch), only
    // their texts change, and selection, focus and scroll position stay. Otherwise
    // the rows are replaced; the first row creates the columns, the text column
    // sized by the number of views. A view's icon is loaded with LoadSkinBitmap
    // (bounded by the 68 x 44 cell), once per path until the next ClearDevices; a
    // view whose icon does not load gets no row. A click opens "http://" +
    // address when IsOpenableDeviceAddress accepts it.
    void SetRows(const std::vector<RowView>& views);
    int ItemCount() const { return topLevelItemCount(); }
    void SetRowMenuTexts(const DeviceRowMenuTexts& texts);

    // The badge drawn over the icon of rows whose view asks for it, at (left, top)
    // within the icon's rectangle and bounded by width x height; its @2x file is
    // used on dense screens, as for the icons. An image that does not load draws no
    // badge. Applies to rows set later.
    void SetWarningBadge(const std::u16string& path, int width, int height, int left, int top);

    // Slots 0-7 go to the vertical bar (0 up arrow, 4 down arrow); 8-15 were the
    // horizontal bar's, which the list does not have: accepted, and not loaded.
    // False for a path over 260 units or a slot outside 0-15; an image that does
    // not load leaves the slot as it was.
    bool SetScrollImage(const std::u16string& path, int index);

    CScrollBarControl* VerticalSkinBar() const { return m_vbar; }
    // Whether the row's focus ring shows: the list has the focus from a key.
    bool FocusRingVisible() const { return m_focus_visible && hasFocus(); }

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void CreateColumns();
    void FitTextColumn();
    void OpenRow(const QModelIndex& index);
    void SelectRowUnderPointer();
    int SelectedRow() const;
    void SelectRow(int row);
    void CopyRowText(int row, int role) const;
    // Whether `path` has a usable icon; decodes it on first use.
    const QIcon& Icon(const std::u16string& path);
    void ApplyView(QTreeWidgetItem& item, const RowView& view);
    void ExecRowMenu(int row, const QPoint& global_pos);

    CScrollBarControl* m_vbar = nullptr;  // owned by the scroll area
    int m_device_count = 0;
    // What the last SetRows was given (icon and address per view) and which row
    // each view got (-1: none), so that a refill with the same devices keeps its rows.
    std::vector<std::pair<std::u16string, std::u16string>> m_given;
    std::vector<int> m_row_of_view;
    int m_text_width = 0;  // the text column's width as created
    std::unordered_map<std::u16string, QIcon> m_icons;
    QIcon m_badge;  // null: no badge
    QPoint m_badge_offset;
    QSize m_badge_size;
    QTimer m_rest_timer;  // the row under a resting pointer becomes the selected row
    QPoint m_pointer;
    DeviceRowMenuTexts m_menu_texts;
    // The ring shows for focus from the keyboard only; the mouse takes it away.
    bool m_focus_visible = false;
};

}  // namespace orvandel
