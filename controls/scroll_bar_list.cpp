#include "controls/scroll_bar_list.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <algorithm>

#include "controls/device_address.h"
#include "controls/enter_key.h"
#include "controls/focus_ring.h"
#include "controls/skin_bitmap.h"
#include "platform/qt/open_url.h"

namespace orvandel {
namespace {

QString Text(std::u16string_view text) {
    return QStringView(text.data(), static_cast<qsizetype>(text.size())).toString();
}
constexpr int kBarThickness = 13;
constexpr int kRestMs = 200;
constexpr int kRowPadding = 8;  // air between the three-line blocks
constexpr int kTextIndent = 4;
constexpr int kAddressRole = Qt::UserRole + 1;
constexpr int kCopyIpRole = Qt::UserRole + 2;
constexpr int kCopyMacRole = Qt::UserRole + 3;
constexpr int kDetailsRole = Qt::UserRole + 4;
constexpr int kBadgeRole = Qt::UserRole + 6;        // QPixmap over the icon's corner
constexpr int kBadgeOffsetRole = Qt::UserRole + 7;  // QPoint within the icon
constexpr int kBadgeSizeRole = Qt::UserRole + 8;    // QSize the badge is bounded by

// The row's tooltip: why its page may not open, then its details, each as plain
// text, escaped, so that markup in a device's reply shows as the characters it is.
// The warning's sentences wrap; the details keep their lines.
QString RowToolTip(const RowView& view) {
    QString tip;
    if (!view.Warning().empty())
        tip += Qt::convertFromPlainText(Text(view.Warning()), Qt::WhiteSpaceNormal);
    if (!view.DetailsShown().empty())
        tip += Qt::convertFromPlainText(Text(view.DetailsShown()), Qt::WhiteSpacePre);
    return tip;
}

// An icon from a skin image and its @2x twin: the painter picks by its ratio.
QIcon SkinIcon(const std::u16string& path, QSize size) {
    const SkinBitmapSet images = LoadSkinBitmapSet(path, size);
    QIcon icon;
    if (!images.isNull()) {
        icon.addPixmap(QPixmap::fromImage(images.plain));
        if (!images.dense.isNull()) {
            icon.addPixmap(QPixmap::fromImage(images.dense));
        }
    }
    return icon;
}

// Draws the icon centred in its column and the row text as plain lines, one
// under the other; never as markup.
class DeviceRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget* widget = opt.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

        if (index.column() == 0) {
            // For the ratio of the device painted on: the @2x icon on a dense one.
            const QPixmap pixmap =
                opt.icon.pixmap(QSize(CScrollBarList::kIconWidth, CScrollBarList::kIconHeight),
                                PaintedDeviceRatio(*painter));
            if (!pixmap.isNull()) {
                const QSize size = pixmap.deviceIndependentSize().toSize();
                const QRect target =
                    QStyle::alignedRect(opt.direction, Qt::AlignCenter, size, opt.rect);
                painter->drawPixmap(target, pixmap);
                const QIcon badge = index.data(kBadgeRole).value<QIcon>();
                if (!badge.isNull()) {
                    const QRect area(target.topLeft() + index.data(kBadgeOffsetRole).toPoint(),
                                     index.data(kBadgeSizeRole).toSize());
                    const QPixmap face = badge.pixmap(area.size(), PaintedDeviceRatio(*painter));
                    painter->drawPixmap(
                        QRect(area.topLeft(), face.deviceIndependentSize().toSize()), face);
                }
            }
            return;
        }
        const bool selected = opt.state & QStyle::State_Selected;
        painter->save();
        painter->setFont(opt.font);
        painter->setPen(opt.palette.color(QPalette::Normal,
                                          selected ? QPalette::HighlightedText : QPalette::Text));
        const QStringList lines = index.data(Qt::DisplayRole).toString().split(u'\n');
        const QFontMetrics fm(opt.font);
        const int block = fm.lineSpacing() * static_cast<int>(lines.size());
        QRect line_rect(opt.rect.left() + kTextIndent,
                        opt.rect.top() + (opt.rect.height() - block) / 2,
                        opt.rect.width() - kTextIndent, fm.lineSpacing());
        for (const QString& line : lines) {
            painter->drawText(line_rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                              fm.elidedText(line, Qt::ElideRight, line_rect.width()));
            line_rect.translate(0, fm.lineSpacing());
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QFontMetrics fm(option.font);
        const int text = 3 * fm.lineSpacing();
        const int height = qMax(CScrollBarList::kIconHeight, text) + kRowPadding;
        return {index.column() == 0 ? CScrollBarList::kIconColumnWidth : 0, height};
    }
};
}  // namespace

CScrollBarList::CScrollBarList(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setIndentation(0);
    setUniformRowHeights(true);
    setItemsExpandable(false);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    setIconSize(QSize(kIconWidth, kIconHeight));
    setItemDelegate(new DeviceRowDelegate(this));
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::Fixed);
    // The skin's bar, 13 pixels wide; the style lays out its arrows and slider.
    m_vbar = new CScrollBarControl(this);
    setVerticalScrollBar(m_vbar);  // the scroll area owns it from here
    m_vbar->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { width: %1px; }").arg(kBarThickness));
    // The rows always fit the width (FitTextColumn): the list never scrolls sideways,
    // not by wheel or keys either, which would cut the icons.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setColumnCount(0);
    setMouseTracking(true);

    m_rest_timer.setSingleShot(true);
    m_rest_timer.setInterval(kRestMs);
    connect(&m_rest_timer, &QTimer::timeout, this, &CScrollBarList::SelectRowUnderPointer);
    connect(this, &QAbstractItemView::clicked, this, &CScrollBarList::OpenRow);
}

void CScrollBarList::ClearDevices() {
    clear();
    setColumnCount(0);
    m_icons.clear();
    m_given.clear();
    m_row_of_view.clear();
    // A new search starts at the top, with the bars of the new rows only.
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
}

void CScrollBarList::CreateColumns() {
    setColumnCount(2);
    const int list_width = width();
    header()->resizeSection(0, kIconColumnWidth);
    m_text_width = list_width - (m_device_count <= 6 ? 76 : 92);
    FitTextColumn();
}

// The text column keeps the width it got at creation as long as it fits beside the
// icon column and, once the rows overflow, the vertical bar; otherwise it takes the
// room there is. Row heights follow the font, so six rows may already overflow.
void CScrollBarList::FitTextColumn() {
    if (columnCount() < 2) {
        return;
    }
    const int rows = topLevelItemCount();
    const bool overflows = rows > 0 && rows * sizeHintForRow(0) > height();
    const int room = width() - kIconColumnWidth - (overflows ? kBarThickness : 0);
    header()->resizeSection(1, std::max(0, std::min(m_text_width, room)));
}

void CScrollBarList::resizeEvent(QResizeEvent* event) {
    QTreeWidget::resizeEvent(event);
    FitTextColumn();
}

const QIcon& CScrollBarList::Icon(const std::u16string& path) {
    // Decoded once per fill and shared by its rows; a failure is remembered too.
    auto cached = m_icons.find(path);
    if (cached == m_icons.end()) {
        const QIcon icon =
            path.size() > kMaxSkinPath ? QIcon() : SkinIcon(path, QSize(kIconWidth, kIconHeight));
        cached = m_icons.emplace(path, icon).first;
    }
    return cached->second;
}

void CScrollBarList::ApplyView(QTreeWidgetItem& item, const RowView& view) {
    item.setText(1, Text(view.Line(0)) + u'\n' + Text(view.Line(1)) + u'\n' + Text(view.Line(2)));
    item.setData(0, kAddressRole, Text(view.Address()));
    item.setData(0, kCopyIpRole, Text(view.CopyIp()));
    item.setData(0, kCopyMacRole, Text(view.CopyMac()));
    item.setData(0, kDetailsRole, Text(view.Details()));
    const QString name = Text(view.AccessibleName());
    const QString tip = RowToolTip(view);
    // A reader announces whichever cell is current: both carry the whole row.
    for (int column = 0; column < 2; ++column) {
        item.setData(column, Qt::AccessibleTextRole, name);
        item.setData(column, Qt::ToolTipRole, tip);
    }
    if (view.Badge() && !m_badge.isNull()) {
        item.setData(0, kBadgeRole, m_badge);
        item.setData(0, kBadgeOffsetRole, m_badge_offset);
        item.setData(0, kBadgeSizeRole, m_badge_size);
    } else {
        item.setData(0, kBadgeRole, QVariant());
    }
}

void CScrollBarList::SetRows(const std::vector<RowView>& views) {
    std::vector<std::pair<std::u16string, std::u16string>> given;
    given.reserve(views.size());
    for (const RowView& view : views) {
        given.emplace_back(view.IconPath(), view.Address());
    }
    if (!given.empty() && given == m_given) {
        for (std::size_t v = 0; v < views.size(); ++v) {
            if (QTreeWidgetItem* item = topLevelItem(m_row_of_view[v])) {
                ApplyView(*item, views[v]);
            }
        }
        return;
    }
    if (topLevelItemCount() > 0) {
        ClearDevices();
    }
    m_given = std::move(given);
    m_row_of_view.assign(views.size(), -1);
    m_device_count = static_cast<int>(views.size());
    for (std::size_t v = 0; v < views.size(); ++v) {
        const QIcon& icon = Icon(m_given[v].first);  // the row's icon path
        if (icon.isNull()) {
            continue;  // no icon, no row
        }
        if (topLevelItemCount() == 0) {
            CreateColumns();
        }
        auto item = std::make_unique<QTreeWidgetItem>();
        item->setIcon(0, icon);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        ApplyView(*item, views[v]);
        m_row_of_view[v] = topLevelItemCount();
        addTopLevelItem(item.release());  // the tree owns its items
    }
    FitTextColumn();
}

void CScrollBarList::SetWarningBadge(const std::u16string& path, int width, int height, int left,
                                     int top) {
    m_badge = QIcon();
    if (path.size() > kMaxSkinPath || width <= 0 || height <= 0) {
        return;
    }
    m_badge = SkinIcon(path, QSize(width, height));
    m_badge_offset = QPoint(left, top);
    m_badge_size = QSize(width, height);
}

bool CScrollBarList::SetScrollImage(const std::u16string& path, int index) {
    if (path.size() > kMaxSkinPath || index < 0 || index > 15) {
        return false;
    }
    if (index < 8) {
        m_vbar->SetSlotImage(path, index);
    }
    return true;
}

void CScrollBarList::paintEvent(QPaintEvent* event) {
    QTreeWidget::paintEvent(event);
    // The row the keys act on, while they reach the list: the style's own focus
    // frame is a pale tint (1.1:1 on white).
    const QModelIndex current = currentIndex();
    if (FocusRingVisible() && current.isValid()) {
        QRect row = visualRect(model()->index(current.row(), 0));
        for (int column = 1; column < columnCount(); ++column) {
            row |= visualRect(model()->index(current.row(), column));
        }
        row.setRight(std::max(row.right(), viewport()->width() - 1));
        QPainter painter(viewport());
        DrawFocusRing(painter, QRectF(row), FocusAccentColor());
    }
}

void CScrollBarList::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QTreeWidget::drawRow(painter, option, index);
    // The columns stop short of the viewport's right edge: the row's highlight goes
    // on to it, so a selected row is marked across its whole width.
    const int end = header()->length() - header()->offset();
    if (end >= viewport()->width())
        return;
    QStyleOptionViewItem strip = option;
    strip.rect = QRect(end, option.rect.top(), viewport()->width() - end, option.rect.height());
    if (selectionModel()->isSelected(index))
        strip.state |= QStyle::State_Selected;
    strip.viewItemPosition = QStyleOptionViewItem::End;
    style()->drawPrimitive(QStyle::PE_PanelItemViewItem, &strip, painter, this);
}

void CScrollBarList::mousePressEvent(QMouseEvent* event) {
    if (m_focus_visible) {
        m_focus_visible = false;
        viewport()->update();
    }
    QTreeWidget::mousePressEvent(event);
}

void CScrollBarList::mouseMoveEvent(QMouseEvent* event) {
    m_pointer = event->position().toPoint();
    m_rest_timer.start();
    QTreeWidget::mouseMoveEvent(event);
}

void CScrollBarList::leaveEvent(QEvent* event) {
    m_rest_timer.stop();
    QTreeWidget::leaveEvent(event);
}

void CScrollBarList::SelectRowUnderPointer() {
    const QModelIndex index = indexAt(m_pointer);
    if (index.isValid()) {
        setCurrentIndex(index);
    }
}

void CScrollBarList::SetRowMenuTexts(const DeviceRowMenuTexts& texts) {
    m_menu_texts = texts;
}

int CScrollBarList::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : indexOfTopLevelItem(selected.front());
}

void CScrollBarList::CopyRowText(int row, int role) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    if (item == nullptr) {
        return;
    }
    const QString text = item->data(0, role).toString();
    if (!text.isEmpty()) {
        QGuiApplication::clipboard()->setText(text);
    }
}

// Makes `row` current and the one selected row, even when it already is current
// (the view's own keys select only when the current row changes).
void CScrollBarList::SelectRow(int row) {
    if (row < 0 || row >= topLevelItemCount()) {
        return;
    }
    const QModelIndex index = model()->index(row, 0);
    selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

void CScrollBarList::focusInEvent(QFocusEvent* event) {
    const Qt::FocusReason reason = event->reason();
    // A menu or dialog lending the focus back leaves the ring as it was.
    if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
        m_focus_visible = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                          reason == Qt::ShortcutFocusReason;
    }
    QTreeWidget::focusInEvent(event);
    // The keyboard arrives on a row that Return opens: the current one, the first
    // the first time.
    if (SelectedRow() < 0 && topLevelItemCount() > 0) {
        const QModelIndex current = currentIndex();
        SelectRow(current.isValid() ? current.row() : 0);
    }
    viewport()->update();  // the focus ring spans the whole row
}

void CScrollBarList::focusOutEvent(QFocusEvent* event) {
    QTreeWidget::focusOutEvent(event);
    viewport()->update();
}

void CScrollBarList::keyPressEvent(QKeyEvent* event) {
    if (!m_focus_visible) {
        m_focus_visible = true;
        viewport()->update();
    }
    if (event->modifiers() == Qt::NoModifier &&
        (event->key() == Qt::Key_Home || event->key() == Qt::Key_End)) {
        SelectRow(event->key() == Qt::Key_Home ? 0 : topLevelItemCount() - 1);
        event->accept();
        return;
    }
    const int row = SelectedRow();
    if (IsEnterKey(event)) {
        if (row >= 0) {
            OpenRow(model()->index(row, 0));
        }
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        CopyRowText(row, kCopyIpRole);
        event->accept();
        return;
    }
    // The Menu key reaches contextMenuEvent from the platform; Shift+F10 does not.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        QContextMenuEvent menu_event(QContextMenuEvent::Keyboard, QPoint(), QPoint(),
                                     event->modifiers());
        contextMenuEvent(&menu_event);
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CScrollBarList::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (event->reason() == QContextMenuEvent::Mouse) {
        // A right click first selects the row it lands on; the empty area has no menu.
        const QModelIndex index = indexAt(event->pos());
        if (!index.isValid()) {
            return;
        }
        setCurrentIndex(index);
        ExecRowMenu(index.row(), event->globalPos());
        return;
    }
    // From the keyboard the menu belongs to the selected row, under its text.
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    const QModelIndex index = model()->index(row, 0);
    scrollTo(index);
    const QRect rect = visualRect(index);
    ExecRowMenu(row,
                viewport()->mapToGlobal(QPoint(rect.left() + kIconColumnWidth, rect.bottom())));
}

void CScrollBarList::ExecRowMenu(int row, const QPoint& global_pos) {
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("rowMenu"));
    const QPersistentModelIndex index = model()->index(row, 0);
    auto add = [&menu](const std::u16string& text, const char* name) {
        QAction* action = menu.addAction(QString::fromStdU16String(text));
        action->setObjectName(QLatin1String(name));
        return action;
    };
    connect(add(m_menu_texts.open_page, "openDevicePageAction"), &QAction::triggered, this,
            [this, index] { OpenRow(index); });
    connect(add(m_menu_texts.copy_ip, "copyIpAction"), &QAction::triggered, this,
            [this, index] { CopyRowText(index.row(), kCopyIpRole); });
    connect(add(m_menu_texts.copy_mac, "copyMacAction"), &QAction::triggered, this,
            [this, index] { CopyRowText(index.row(), kCopyMacRole); });
    connect(add(m_menu_texts.copy_details, "copyDetailsAction"), &QAction::triggered, this,
            [this, index] { CopyRowText(index.row(), kDetailsRole); });
    menu.exec(global_pos);
}

void CScrollBarList::OpenRow(const QModelIndex& index) {
    if (!index.isValid()) {
        return;
    }
    const QTreeWidgetItem* item = topLevelItem(index.row());
    if (item == nullptr) {
        return;
    }
    const QString ip = item->data(0, kAddressRole).toString();
    if (IsOpenableDeviceAddress(ip)) {
        OpenUrl(QStringLiteral("http://") + ip);
    }
}

}  // namespace orvandel
