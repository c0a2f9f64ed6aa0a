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
#include "controls/focus_ring.h"
#include "controls/skin_bitmap.h"
#include "platform/qt/open_url.h"
#include "text/display_safe.h"
#include "text/utf.h"

namespace orvandel {
namespace {
constexpr std::size_t kMaxPath = 260;
constexpr std::size_t kMaxRowText = 511;
constexpr int kBarThickness = 13;
constexpr int kRestMs = 200;
constexpr int kRowPadding = 8;  // air between the three-line blocks
constexpr int kTextIndent = 4;
constexpr int kAddressRole = Qt::UserRole + 1;
constexpr int kCopyIpRole = Qt::UserRole + 2;
constexpr int kCopyMacRole = Qt::UserRole + 3;
constexpr int kDetailsRole = Qt::UserRole + 4;
constexpr int kWarningRole = Qt::UserRole + 5;      // why the page may not open
constexpr int kBadgeRole = Qt::UserRole + 6;        // QPixmap over the icon's corner
constexpr int kBadgeOffsetRole = Qt::UserRole + 7;  // QPoint within the icon

// The row's tooltip: why its page may not open, then its details, each as plain
// text, escaped, so that markup in a device's reply shows as the characters it is.
// The warning's sentences wrap; the details keep their lines.
QString RowToolTip(const QTreeWidgetItem& item) {
    const QString warning = item.data(0, kWarningRole).toString();
    const QString details = item.data(0, kDetailsRole).toString();
    QString tip;
    if (!warning.isEmpty())
        tip += Qt::convertFromPlainText(warning, Qt::WhiteSpaceNormal);
    if (!details.isEmpty())
        tip += Qt::convertFromPlainText(details, Qt::WhiteSpacePre);
    return tip;
}

bool IsEnterKey(const QKeyEvent* event) {
    return (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
           (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter);
}

// The row text within its 511 units, as plain lines: device texts come off the
// network, so what could break the three-line layout or reorder what the user reads
// becomes a space. The name gives way, so that the address lines, which the user
// came for, stay whole.
QString RowText(const std::u16string& name, const std::u16string& ip_line,
                const std::u16string& mac_line) {
    const std::u16string lines =
        text::Cut(u'\n' + text::MakeDisplaySafe(ip_line) + u'\n' + text::MakeDisplaySafe(mac_line),
                  kMaxRowText);
    return QString::fromStdU16String(
        text::Cut(text::MakeDisplaySafe(name), kMaxRowText - lines.size()) + lines);
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
                const QPixmap badge = index.data(kBadgeRole).value<QPixmap>();
                if (!badge.isNull()) {
                    const QPoint at = target.topLeft() + index.data(kBadgeOffsetRole).toPoint();
                    painter->drawPixmap(QRect(at, badge.deviceIndependentSize().toSize()), badge);
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
    // The skin bars are 13 pixels wide; the real bars underneath match them.
    verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { width: %1px; }").arg(kBarThickness));
    horizontalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:horizontal { height: %1px; }").arg(kBarThickness));
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
    CreateSkinBars();
}

CScrollBarList::~CScrollBarList() {
    // The bars belong to our parent but follow this list: they go with it.
    delete m_hbar.data();
    delete m_vbar.data();
}

void CScrollBarList::CreateSkinBars() {
    QWidget* parent = parentWidget();
    if (parent == nullptr) {
        return;
    }
    for (int kind : {CScrollBarControl::kHorizontal, CScrollBarControl::kVertical}) {
        QPointer<CScrollBarControl>& bar = kind == CScrollBarControl::kHorizontal ? m_hbar : m_vbar;
        if (bar != nullptr) {
            if (bar->parentWidget() != parent) {
                bar->setParent(parent);
            }
        } else {
            bar = new CScrollBarControl(parent);  // owned by the parent, like the list
            bar->SetOwner(this, kind);
        }
        QRect r = geometry();
        if (kind == CScrollBarControl::kHorizontal) {
            r.setTop(r.bottom() + 1 - kBarThickness);
        } else {
            r.setLeft(r.right() + 1 - kBarThickness);
        }
        bar->setGeometry(r);
        bar->show();
        bar->Reposition();
    }
}

bool CScrollBarList::event(QEvent* event) {
    const bool result = QTreeWidget::event(event);
    if (event->type() == QEvent::ParentChange) {
        CreateSkinBars();
    }
    return result;
}

void CScrollBarList::ClearDevices() {
    clear();
    setColumnCount(0);
    m_icons.clear();
    // A new search starts at the top, with the bars of the new rows only.
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    if (m_bars_active) {
        RepositionSkinBars();
    }
}

void CScrollBarList::SetDeviceCount(int n) {
    m_device_count = n;
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

bool CScrollBarList::AddDevice(const std::u16string& icon_path, const std::u16string& name,
                               const std::u16string& ip_line, const std::u16string& mac_line,
                               const std::u16string& ip) {
    if (icon_path.size() > kMaxPath) {
        return false;
    }
    // Decoded once per fill and shared by its rows; a failure is remembered too.
    auto cached = m_icons.find(icon_path);
    if (cached == m_icons.end()) {
        const SkinBitmapSet images = LoadSkinBitmapSet(icon_path, QSize(kIconWidth, kIconHeight));
        QIcon icon;
        if (!images.isNull()) {
            icon.addPixmap(QPixmap::fromImage(images.plain));
            if (!images.dense.isNull()) {
                icon.addPixmap(QPixmap::fromImage(images.dense));
            }
        }
        cached = m_icons.emplace(icon_path, icon).first;
    }
    const QIcon& icon = cached->second;
    if (icon.isNull()) {
        return false;
    }
    if (topLevelItemCount() == 0) {
        CreateColumns();
    }

    auto item = std::make_unique<QTreeWidgetItem>();
    item->setIcon(0, icon);
    item->setText(1, RowText(name, ip_line, mac_line));
    item->setData(0, kAddressRole, QString::fromStdU16String(ip));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    addTopLevelItem(item.release());  // the tree owns its items
    FitTextColumn();
    return true;
}

void CScrollBarList::SetWarningBadge(const std::u16string& path, int width, int height, int left,
                                     int top) {
    m_badge = QPixmap();
    if (path.size() > kMaxPath || width <= 0 || height <= 0) {
        return;
    }
    const QImage image = LoadSkinBitmap(path, QSize(width, height));
    if (!image.isNull()) {
        m_badge = QPixmap::fromImage(image);
    }
    m_badge_offset = QPoint(left, top);
}

void CScrollBarList::SetRowWarning(int row, const std::u16string& tooltip, bool badge) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (item == nullptr) {
        return;
    }
    const bool warn = !tooltip.empty();
    // The texts carry addresses and interface names from outside: never markup.
    item->setData(0, kWarningRole, QString::fromStdU16String(tooltip));
    const QString tip = RowToolTip(*item);
    for (int column = 0; column < columnCount(); ++column) {
        item->setData(column, Qt::ToolTipRole, tip);
    }
    if (warn && badge && !m_badge.isNull()) {
        item->setData(0, kBadgeRole, m_badge);
        item->setData(0, kBadgeOffsetRole, m_badge_offset);
    } else {
        item->setData(0, kBadgeRole, QVariant());
    }
}

bool CScrollBarList::SetScrollImage(const std::u16string& path, int index) {
    if (path.size() > kMaxPath || index < 0 || index > 15) {
        return false;
    }
    CScrollBarControl* bar = index < 8 ? m_vbar.data() : m_hbar.data();
    if (bar != nullptr) {
        bar->SetSlotImage(path, index);
    }
    return true;
}

void CScrollBarList::SetScrollBarsActive(bool active) {
    m_bars_active = active;
}

void CScrollBarList::SetSkinBarsVisible(bool visible) {
    for (CScrollBarControl* bar : {m_hbar.data(), m_vbar.data()}) {
        if (bar != nullptr) {
            bar->setVisible(visible);
        }
    }
}

void CScrollBarList::paintEvent(QPaintEvent* event) {
    QTreeWidget::paintEvent(event);
    // The row the keys act on, while they reach the list: the style's own focus
    // frame is a pale tint (1.1:1 on white).
    const QModelIndex current = currentIndex();
    if (hasFocus() && current.isValid()) {
        QRect row = visualRect(model()->index(current.row(), 0));
        for (int column = 1; column < columnCount(); ++column) {
            row |= visualRect(model()->index(current.row(), column));
        }
        QPainter painter(viewport());
        DrawFocusRing(painter, QRectF(row), FocusAccentColor());
    }
    if (m_bars_active) {
        RepositionSkinBars();
    }
}

void CScrollBarList::RepositionSkinBars() {
    if (m_hbar != nullptr) {
        m_hbar->Reposition();
    }
    if (m_vbar != nullptr) {
        m_vbar->Reposition();
    }
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

bool CScrollBarList::SetRowInfo(int row, const DeviceRowInfo& info) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (item == nullptr) {
        return false;
    }
    const QString name = QString::fromStdU16String(info.accessible_name);
    item->setData(0, kCopyIpRole, QString::fromStdU16String(info.ip));
    item->setData(0, kCopyMacRole, QString::fromStdU16String(info.mac));
    item->setData(0, kDetailsRole, QString::fromStdU16String(info.details));
    const QString tip = RowToolTip(*item);
    // A reader announces whichever cell is current: both carry the whole row.
    for (int column = 0; column < columnCount(); ++column) {
        item->setData(column, Qt::AccessibleTextRole, name);
        item->setData(column, Qt::ToolTipRole, tip);
    }
    return true;
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
