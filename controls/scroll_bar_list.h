// CScrollBarList: the list of found devices. Each row shows the model icon and
// three text lines (name, IP line, MAC line); a click, or Return on the selected
// row, opens the device's web page. A row's context menu (right click, Menu key,
// Shift+F10) opens the page or copies the row's IP, MAC or details; Ctrl+C copies
// the IP.
// Two skin bars (CScrollBarControl) are laid over the list's own scroll bars.
#pragma once

#include <QIcon>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <string>
#include <unordered_map>

#include "controls/scroll_bar_control.h"

namespace orvandel {

// What a row offers beyond its painted lines; every text is plain and already
// display-safe (the owner passes network text through DisplaySafeText).
struct DeviceRowInfo {
    std::u16string accessible_name;  // read out for the row: name, model, IP, MAC
    std::u16string ip;               // copied by "Copy IP address" and Ctrl+C
    std::u16string mac;              // copied by "Copy MAC address", as the row shows it
    std::u16string details;          // the tooltip, and what "Copy details" copies
};

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
    ~CScrollBarList() override;

    // Removes every row, the columns and the icons, and scrolls back to the top.
    void ClearDevices();
    // The number of devices about to be listed; sizes the text column when the
    // first row creates the columns.
    void SetDeviceCount(int n);
    // Appends a row. The icon is loaded with LoadSkinBitmap (bounded by the 68 x 44
    // cell), once per path until the next ClearDevices; when it does not load the
    // device gets no row and this returns false. The row text is cut to 511 units
    // from the end of the name, so that the IP and MAC lines stay whole. `ip` is
    // kept as the row's address: a click opens "http://" + ip when
    // IsOpenableDeviceAddress accepts it.
    bool AddDevice(const std::u16string& icon_path, const std::u16string& name,
                   const std::u16string& ip_line, const std::u16string& mac_line,
                   const std::u16string& ip);
    int ItemCount() const { return topLevelItemCount(); }
    // Sets (or, after a language switch, replaces) a row's accessible name, copy
    // texts and tooltip. False for a row that does not exist.
    bool SetRowInfo(int row, const DeviceRowInfo& info);
    void SetRowMenuTexts(const DeviceRowMenuTexts& texts);

    // The badge drawn over the icon of rows with a warning, at (left, top) within
    // the icon's rectangle and bounded by width x height. An image that does not
    // load draws no badge. Applies to rows marked later.
    void SetWarningBadge(const std::u16string& path, int width, int height, int left, int top);
    // Marks row `row` with the badge and `tooltip`, shown as plain text; an empty
    // tooltip gives the row neither. `badge` false sets only the tooltip.
    void SetRowWarning(int row, const std::u16string& tooltip, bool badge = true);

    // Slots 0-7 go to the vertical bar (0 up arrow, 4 down arrow), 8-15 to the
    // horizontal one. False for a path over 260 units or a slot outside 0-15; an
    // image that does not load leaves the slot as it was.
    bool SetScrollImage(const std::u16string& path, int index);
    // While active, every repaint of the list moves and repaints both skin bars.
    void SetScrollBarsActive(bool active);
    void SetSkinBarsVisible(bool visible);

    CScrollBarControl* HorizontalSkinBar() const { return m_hbar; }
    CScrollBarControl* VerticalSkinBar() const { return m_vbar; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void CreateSkinBars();
    void CreateColumns();
    void FitTextColumn();
    void RepositionSkinBars();
    void OpenRow(const QModelIndex& index);
    void SelectRowUnderPointer();
    int SelectedRow() const;
    void SelectRow(int row);
    void CopyRowText(int row, int role) const;
    void ExecRowMenu(int row, const QPoint& global_pos);

    QPointer<CScrollBarControl> m_hbar;
    QPointer<CScrollBarControl> m_vbar;
    bool m_bars_active = false;
    int m_device_count = 0;
    int m_text_width = 0;  // the text column's width as created
    std::unordered_map<std::u16string, QIcon> m_icons;
    QPixmap m_badge;  // null: no badge
    QPoint m_badge_offset;
    QTimer m_rest_timer;  // the row under a resting pointer becomes the selected row
    QPoint m_pointer;
    DeviceRowMenuTexts m_menu_texts;
};

}  // namespace orvandel
