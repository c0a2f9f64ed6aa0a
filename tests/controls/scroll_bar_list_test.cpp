#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QToolTip>
#include <QtTest>

#include "controls/device_address.h"
#include "controls/scroll_bar_list.h"
#include "localization/ui_strings.h"
#include "test_images.h"
#include "tests/fakes/url_recorder.h"

using namespace orvandel;
using orvandel::test::Near;

namespace {
QString Q(const std::u16string& s) {
    return QString::fromStdU16String(s);
}
const QColor kIconA(220, 40, 40);
const QColor kIconB(40, 160, 60);
const QColor kUp(30, 60, 220);
const QColor kDown(200, 120, 0);
const QColor kTrack(204, 204, 204);  // white under black at alpha 51
const QColor kThumb(102, 102, 102);  // the track under black at alpha 127
}  // namespace

// Counts the paint events of one widget.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

class ScrollBarListTest : public QObject {
    Q_OBJECT

private:
    test::ImageFolder m_images;
    std::u16string m_icon_a, m_icon_b, m_up, m_down;
    test::UrlRecorder m_sink;

    // The main window's arrangement: a 320 x 460 window, the list at 0, 135.
    struct Window {
        QWidget top;
        CScrollBarList* list;
        explicit Window(int list_height = 270) {
            top.resize(320, 460);
            list = new CScrollBarList(&top);
            list->setGeometry(0, 135, 320, list_height);
        }
    };

    // `view` with some of its texts changed by `edit`.
    template <typename Edit>
    static RowView Edited(const RowView& view, Edit&& edit) {
        RowTexts texts = view.Texts();
        edit(texts);
        return RowView(texts);
    }
    static RowView Row(const std::u16string& icon, const std::u16string& name,
                       const std::u16string& ip, const std::u16string& warning = {}) {
        RowTexts texts;
        texts.icon_path = icon;
        texts.lines = {name, u"    IP: " + ip, u"    MAC: 00:11:22:33:44:55"};
        texts.address = ip;
        texts.copy_ip = ip;
        texts.warning = warning;
        texts.badge = !warning.empty();
        return RowView(texts);
    }
    std::vector<RowView> Rows(int n) const {
        std::vector<RowView> views;
        for (int i = 0; i < n; ++i) {
            const std::u16string ip = u"10.0.0." + QString::number(i + 1).toStdU16String();
            views.push_back(Row(i % 2 ? m_icon_b : m_icon_a, u"Device", ip));
        }
        return views;
    }
    void Fill(CScrollBarList& list, int n) {
        list.ClearDevices();
        list.SetRows(Rows(n));
        QCOMPARE(list.ItemCount(), n);
    }

    static QPoint RowPoint(CScrollBarList& list, int row, int column) {
        return list.visualRect(list.model()->index(row, column)).center();
    }

    // Scrolls the real bar and reads the skin: arrows, track, and a thumb over the
    // real slider extended by 4 pixels at each end (kept within the track).
    void CheckThumb(QScrollBar* real, CScrollBarControl* skin, int value, int* top) {
        real->setValue(value);
        QApplication::processEvents();
        QApplication::processEvents();
        const QImage img = skin->grab().toImage();
        const int h = img.height();
        QVERIFY(Near(img.pixelColor(6, 6), kUp));
        QVERIFY(Near(img.pixelColor(6, h - 7), kDown));
        // The thumb spans the real slider and 4 more pixels at each end.
        QStyleOptionSlider opt;
        opt.initFrom(real);
        opt.orientation = Qt::Vertical;
        opt.minimum = real->minimum();
        opt.maximum = real->maximum();
        opt.sliderPosition = real->sliderPosition();
        opt.sliderValue = real->value();
        opt.singleStep = real->singleStep();
        opt.pageStep = real->pageStep();
        const QRect slider = real->style()->subControlRect(QStyle::CC_ScrollBar, &opt,
                                                           QStyle::SC_ScrollBarSlider, real);
        int first = -1, last = -1;
        for (int y = 13; y < h - 13; ++y) {
            QVERIFY(Near(img.pixelColor(1, y), kTrack));
            if (Near(img.pixelColor(6, y), kThumb)) {
                last = y;
                first = first < 0 ? y : first;
            } else {
                QVERIFY(Near(img.pixelColor(6, y), kTrack));
            }
        }
        QCOMPARE(first, qMax(13, slider.top() - 4));
        QCOMPARE(last, qMin(h - 14, slider.bottom() + 4));
        *top = first;
    }

private slots:
    void initTestCase() {
        m_icon_a = m_images.Solid("a.png", 68, 44, kIconA);
        m_icon_b = m_images.Solid("b.png", 68, 44, kIconB);
        m_up = m_images.Solid("up.png", 13, 13, kUp);
        m_down = m_images.Solid("down.png", 13, 13, kDown);
        QDesktopServices::setUrlHandler("http", &m_sink, "Open");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler("http"); }
    void init() { m_sink.opened.clear(); }

    // The text column is sized by the number of views given, icons or not.
    void columnsFollowTheCountAtCreation_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("one_missing");
        QTest::addColumn<int>("text_width");
        QTest::newRow("six") << 6 << false << 320 - 76;
        QTest::newRow("seven") << 7 << false << 320 - 92;
        QTest::newRow("seven, one without icon") << 7 << true << 320 - 92;
    }
    void columnsFollowTheCountAtCreation() {
        QFETCH(int, count);
        QFETCH(bool, one_missing);
        QFETCH(int, text_width);
        Window w(1000);  // room for every row: no bar takes from the column
        CScrollBarList& list = *w.list;
        QCOMPARE(list.columnCount(), 0);
        list.ClearDevices();
        std::vector<RowView> views = Rows(count);
        if (one_missing)
            views[3] = Edited(views[3], [&](RowTexts& t) { t.icon_path = m_images.Missing(); });
        list.SetRows(views);
        QCOMPARE(list.ItemCount(), count - (one_missing ? 1 : 0));
        QCOMPARE(list.columnCount(), 2);
        QCOMPARE(list.header()->sectionSize(0), 72);
        QCOMPARE(list.header()->sectionSize(1), text_width);
        QVERIFY(list.isHeaderHidden());

        // Refilled after a clear: the count given now decides.
        list.ClearDevices();
        QCOMPARE(list.columnCount(), 0);
        QCOMPARE(list.ItemCount(), 0);
        list.SetRows(Rows(1));
        QCOMPARE(list.header()->sectionSize(1), 320 - 76);
    }

    void missingIconGivesNoRow() {
        Window w;
        CScrollBarList& list = *w.list;
        list.SetRows({Row(m_images.Missing(), u"Lost", u"10.0.0.9")});
        QCOMPARE(list.columnCount(), 0);
        QCOMPARE(list.ItemCount(), 0);
        list.SetRows(
            {Row(m_images.Missing(), u"Lost", u"10.0.0.9"), Row(m_icon_b, u"Found", u"10.0.0.2")});
        QCOMPARE(list.ItemCount(), 1);
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        const QImage img = list.viewport()->grab().toImage();
        // The first row shows the second device's own icon, centred in the 72-pixel column.
        const QRect cell = list.visualRect(list.model()->index(0, 0));
        // (The current row's highlight may tint the cell a little.)
        QVERIFY(Near(img.pixelColor(cell.center()), kIconB, 24));
        QVERIFY(Near(img.pixelColor(cell.left() + 3, cell.center().y()), kIconB, 24));
        QVERIFY(!Near(img.pixelColor(cell.left() + 1, cell.center().y()), kIconB, 24));
        QCOMPARE(list.model()->index(0, 1).data(Qt::AccessibleTextRole).toString(), QString());
    }

    // The same devices again (a language switch) change only the texts: the
    // selection and scroll position stay. Other devices make new rows from the top.
    void refillWithTheSameDevicesKeepsTheRows() {
        Window w;
        CScrollBarList& list = *w.list;
        list.setGeometry(0, 135, 320, 120);
        std::vector<RowView> views = Rows(9);
        list.SetRows(views);
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        list.setCurrentIndex(list.model()->index(5, 0));
        list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum());
        const int scrolled = list.verticalScrollBar()->value();
        QVERIFY(scrolled > 0);
        for (RowView& view : views) {
            view = Edited(view, [](RowTexts& t) {
                t.lines[0] = u"Ger\u00e4t";
                t.accessible_name = u"Ger\u00e4t, TR400";
                t.details_shown = u"Name: Ger\u00e4t";
            });
        }
        list.SetRows(views);
        QCOMPARE(list.ItemCount(), 9);
        QCOMPARE(list.currentIndex().row(), 5);
        QCOMPARE(list.verticalScrollBar()->value(), scrolled);
        QVERIFY(list.model()->index(8, 1).data().toString().startsWith(u"Ger\u00e4t\n"));
        QCOMPARE(list.model()->index(8, 0).data(Qt::AccessibleTextRole).toString(),
                 QString::fromUtf16(u"Ger\u00e4t, TR400"));
        QVERIFY(list.model()->index(8, 1).data(Qt::ToolTipRole).toString().contains(u"Name:"));

        views.pop_back();
        list.SetRows(views);
        QCOMPARE(list.ItemCount(), 8);
        QCOMPARE(list.verticalScrollBar()->value(), 0);
        QVERIFY(!list.currentIndex().isValid() || list.currentIndex().row() == 0);
    }

    void clickOpensTheStoredAddress_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("column");
        QTest::newRow("text column") << "Studio A" << 1;
        QTest::newRow("icon column") << "Studio A" << 0;
        QTest::newRow("name with IP:") << "Hall IP: 6.6.6.6" << 1;
        QTest::newRow("name with the IP line") << "x\n    IP: evil.example" << 1;
    }
    void clickOpensTheStoredAddress() {
        QFETCH(QString, name);
        QFETCH(int, column);
        Window w;
        CScrollBarList& list = *w.list;
        list.SetRows({Row(m_icon_a, u"Other", u"10.1.1.1"),
                      Row(m_icon_a, name.toStdU16String(), u"192.168.1.20")});
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, RowPoint(list, 1, column));
        QCOMPARE(m_sink.opened, QList<QUrl>{QUrl("http://192.168.1.20")});
    }

    void clickOutsideRowsOpensNothing() {
        Window w;
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        QTest::mouseClick(w.list->viewport(), Qt::LeftButton, {}, QPoint(100, 100));
        Fill(*w.list, 1);
        QTest::mouseClick(w.list->viewport(), Qt::LeftButton, {}, QPoint(100, 200));
        QVERIFY(m_sink.opened.isEmpty());
    }

    void onlyDottedDecimalAddressesOpen_data() {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<bool>("opens");
        QTest::newRow("plain") << "192.168.1.20" << true;
        QTest::newRow("first unicast") << "1.0.0.0" << true;
        QTest::newRow("below loopback") << "126.255.255.255" << true;
        QTest::newRow("above loopback") << "128.0.0.1" << true;
        QTest::newRow("last unicast") << "223.255.255.255" << true;
        // Well formed, but not one remote host: refused like a malformed address.
        QTest::newRow("zeros") << "0.0.0.0" << false;
        QTest::newRow("this network") << "0.1.2.3" << false;
        QTest::newRow("loopback") << "127.0.0.1" << false;
        QTest::newRow("loopback top") << "127.255.255.254" << false;
        QTest::newRow("multicast first") << "224.0.0.1" << false;
        QTest::newRow("discovery group") << "234.8.8.8" << false;
        QTest::newRow("multicast last") << "239.255.255.255" << false;
        QTest::newRow("reserved") << "240.0.0.1" << false;
        QTest::newRow("top") << "255.255.255.255" << false;
        QTest::newRow("path") << "192.168.1.1/admin" << false;
        QTest::newRow("userinfo") << "1.2.3.4@evil.example" << false;
        QTest::newRow("scheme") << "javascript:alert(1)" << false;
        QTest::newRow("host name") << "evil.example" << false;
        QTest::newRow("over 255") << "256.1.1.1" << false;
        QTest::newRow("three parts") << "1.2.3" << false;
        QTest::newRow("five parts") << "1.2.3.4.5" << false;
        QTest::newRow("leading zero") << "01.2.3.4" << false;
        QTest::newRow("empty part") << "1..3.4" << false;
        QTest::newRow("spaces") << " 1.2.3.4" << false;
        QTest::newRow("port") << "1.2.3.4:80" << false;
        QTest::newRow("sign") << "+1.2.3.4" << false;
        QTest::newRow("wide digits") << QString::fromUtf16(u"１.２.３.４") << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("newline") << "1.2.3.4\n" << false;
    }
    void onlyDottedDecimalAddressesOpen() {
        QFETCH(QString, ip);
        QFETCH(bool, opens);
        QCOMPARE(IsOpenableDeviceAddress(ip), opens);
        const QString tag = QTest::currentDataTag();
        const bool well_formed = opens || tag == "zeros" || tag == "this network" ||
                                 tag.startsWith("loopback") || tag.startsWith("multicast") ||
                                 tag == "discovery group" || tag == "reserved" || tag == "top";
        QCOMPARE(IsDottedDecimalIPv4(ip), well_formed);
        Window w;
        w.list->SetRows({Row(m_icon_a, u"Dev", ip.toStdU16String())});
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        // Listed and counted whatever the address.
        QCOMPARE(w.list->ItemCount(), 1);
        QTest::mouseClick(w.list->viewport(), Qt::LeftButton, {}, RowPoint(*w.list, 0, 1));
        QCOMPARE(m_sink.opened, opens ? QList<QUrl>{QUrl("http://" + ip)} : QList<QUrl>{});
    }

    // The text column fits beside the icons and, when the rows overflow, beside the
    // vertical bar; the rows never move sideways and the icons stay whole.
    void neverScrollsSideways_data() {
        QTest::addColumn<QList<int>>("fills");
        QTest::newRow("5") << QList<int>{5};
        QTest::newRow("6") << QList<int>{6};
        QTest::newRow("7") << QList<int>{7};
        QTest::newRow("9") << QList<int>{9};
        QTest::newRow("6, 5, 9, 3") << QList<int>{6, 5, 9, 3};
    }
    void neverScrollsSideways() {
        QFETCH(QList<int>, fills);
        Window w;
        CScrollBarList& list = *w.list;
        list.SetScrollImage(m_up, 0);
        list.SetScrollImage(m_down, 4);
        // Row heights follow the font: make room for five and a half rows, as the
        // window's 270 pixels hold with its font.
        Fill(list, 1);
        const int row_height = list.sizeHintForRow(0);
        list.setGeometry(0, 135, 320, 5 * row_height + row_height / 2);
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        for (const int n : fills) {
            // As the window lists a search: hidden, cleared, filled, shown.
            list.hide();
            Fill(list, n);
            list.show();
            QApplication::processEvents();
            QApplication::processEvents();
            const QString at = QStringLiteral("%1 devices").arg(n);

            const bool overflows = n * list.sizeHintForRow(0) > list.height();
            QCOMPARE(overflows, n >= 6);
            const int part_width = 320 - (n <= 6 ? 76 : 92);
            QCOMPARE(list.header()->sectionSize(1),
                     std::min(part_width, 320 - 72 - 13 * overflows));
            QVERIFY2(list.header()->length() <= list.viewport()->width(), qPrintable(at));
            QVERIFY2(!list.horizontalScrollBar()->isVisible(), qPrintable(at));
            QCOMPARE(list.horizontalScrollBar()->maximum(), 0);
            QCOMPARE(list.verticalScrollBar()->value(), 0);  // a new fill starts at the top
            QCOMPARE(list.verticalScrollBar()->isVisible(), overflows);
            QCOMPARE(list.verticalScrollBar(), list.VerticalSkinBar());

            // Neither a sideways wheel nor the arrow keys shift the rows.
            QWheelEvent wheel(QPointF(100, 20), list.viewport()->mapToGlobal(QPointF(100, 20)),
                              QPoint(), QPoint(-240, 0), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(list.viewport(), &wheel);
            list.setFocus();
            QTest::keyClick(&list, Qt::Key_Right);
            QTest::keyClick(&list, Qt::Key_End);
            QCOMPARE(list.horizontalScrollBar()->value(), 0);
            QTest::keyClick(&list, Qt::Key_Home);
            list.clearFocus();  // the focus ring lies over the icon's first column
            QApplication::processEvents();

            // Each visible row's icon whole: 68 pixels from x 2 (centred in 72).
            const QImage img = w.top.grab(list.geometry()).toImage();
            for (int row = 0; row < n; ++row) {
                const QRect cell = list.visualRect(list.model()->index(row, 0));
                if (cell.bottom() > list.viewport()->height()) {
                    break;
                }
                const QColor colour = row % 2 ? kIconB : kIconA;
                const int y = cell.center().y();
                QVERIFY2(cell.left() == 0, qPrintable(at));
                QVERIFY2(Near(img.pixelColor(2, y), colour, 24), qPrintable(at));
                QVERIFY2(Near(img.pixelColor(69, y), colour, 24), qPrintable(at));
                QVERIFY2(!Near(img.pixelColor(70, y), colour, 24), qPrintable(at));
            }
            // No strip of a horizontal bar under the rows.
            QVERIFY(!list.horizontalScrollBar()->isVisible());
        }
    }

    // Icons are bounded by their 68 x 44 cell (4 times each side at most), a broken
    // file fails like a missing one, and the rows of one fill share one decoded icon.
    void iconsBoundedAndShared() {
        Window w;
        CScrollBarList& list = *w.list;
        QImage icon(68, 44, QImage::Format_ARGB32);
        icon.fill(kIconA);
        const std::u16string huge = m_images.Declared("huge.png", 5000, 5000);
        const std::u16string cut = m_images.Truncated("cut.png", icon, 60);
        const std::u16string largest = m_images.Solid("x4.png", 272, 176, kIconA);
        const std::u16string too_wide = m_images.Solid("wide.png", 273, 44, kIconA);
        const std::u16string too_high = m_images.Solid("high.png", 68, 177, kIconA);
        std::vector<RowView> bad;
        for (const auto& path : {huge, cut, too_wide, too_high}) {
            bad.push_back(Row(path, u"Bad", u"10.0.0.9"));
        }
        list.SetRows(bad);
        QCOMPARE(list.ItemCount(), 0);
        QCOMPARE(list.columnCount(), 0);
        list.SetRows({Row(largest, u"Big", u"10.0.0.1"), Row(m_icon_b, u"B1", u"10.0.0.2"),
                      Row(huge, u"Bad", u"10.0.0.9"), Row(m_icon_b, u"B2", u"10.0.0.3")});
        QCOMPARE(list.ItemCount(), 3);
        QCOMPARE(list.topLevelItem(1)->icon(0).cacheKey(),
                 list.topLevelItem(2)->icon(0).cacheKey());
        QVERIFY(list.topLevelItem(0)->icon(0).cacheKey() !=
                list.topLevelItem(1)->icon(0).cacheKey());
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        const QImage img = list.viewport()->grab().toImage();
        const QRect cell = list.visualRect(list.model()->index(1, 0));
        QVERIFY(Near(img.pixelColor(cell.center()), kIconB, 24));

        // Once per fill: the next search reads the file again.
        const std::u16string changed = m_images.Solid("b.png", 68, 44, kIconA);
        QCOMPARE(changed, m_icon_b);
        list.ClearDevices();
        list.SetRows({Row(m_icon_b, u"B1", u"10.0.0.2")});
        QApplication::processEvents();
        const QImage again = list.viewport()->grab().toImage();
        QVERIFY(Near(again.pixelColor(list.visualRect(list.model()->index(0, 0)).center()), kIconA,
                     24));
        m_images.Solid("b.png", 68, 44, kIconB);
    }

    void deviceTextIsNeverMarkup() {
        Window w;
        RowView view =
            Row(m_icon_b, u"<font color=\"#ff0000\" size=7>XXXXXXXXXX</font>", u"10.0.0.1");
        view = Edited(view, [](RowTexts& t) {
            t.lines[1] = u"    IP: <b style=\"color:red\">10.0.0.1</b>";
            t.lines[2] = u"    MAC: <span style=\"background:red\">AA</span>";
        });
        w.list->SetRows({view});
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        const QImage img = w.list->viewport()->grab().toImage();
        const QRect cell = w.list->visualRect(w.list->model()->index(0, 1));
        int ink = 0;
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x <= cell.right(); ++x) {
                const QColor c = img.pixelColor(x, y);
                QVERIFY2(!(c.red() > 150 && c.green() < 90 && c.blue() < 90), "red text drawn");
                ink += c.lightness() < 128;
            }
        }
        QVERIFY(ink > 50);  // the markup shows as its literal characters
        QCOMPARE(w.list->model()->index(0, 1).data().toString().count(u'\n'), 2);
    }

    void restingPointerSelectsTheRow() {
        Window w;
        Fill(*w.list, 3);
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        QTest::mouseMove(w.list->viewport(), RowPoint(*w.list, 1, 1));
        QTRY_COMPARE(w.list->currentIndex().row(), 1);
        QTest::mouseMove(w.list->viewport(), RowPoint(*w.list, 2, 0));
        QTRY_COMPARE(w.list->currentIndex().row(), 2);
        QCOMPARE(w.list->selectionModel()->selectedRows().size(), 1);
        // The whole row is highlighted, the icon cell included.
        QVERIFY(w.list->selectionModel()->isSelected(w.list->model()->index(2, 0)));
    }

    void skinBarDrawsArrowsTrackAndThumb() {
        Window w;
        CScrollBarList& list = *w.list;
        Fill(list, 20);
        QVERIFY(list.SetScrollImage(m_up, 0));
        QVERIFY(list.SetScrollImage(m_down, 4));
        QVERIFY(!list.SetScrollImage(m_up, 16));
        QVERIFY(!list.SetScrollImage(std::u16string(261, u'x'), 0));
        QVERIFY(list.SetScrollImage(m_images.Missing(), 0));  // loads nothing, still true
        QVERIFY(list.SetScrollImage(m_up, 8));                // no horizontal bar: kept nowhere
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        QScrollBar* real = list.verticalScrollBar();
        QTRY_VERIFY(real->isVisible());
        CScrollBarControl* skin = list.VerticalSkinBar();
        QCOMPARE(real, skin);
        QCOMPARE(skin->width(), 13);
        QCOMPARE(skin->mapTo(&list, QPoint(12, 0)).x(), list.width() - 1);  // at the right edge

        // The skin's bar scrolls: a click on its down arrow moves the rows.
        QTest::mouseClick(skin, Qt::LeftButton, {}, QPoint(6, skin->height() - 6));
        QVERIFY(real->value() > 0);
        real->setValue(0);

        int top_at_mid = 0, top_at_end = 0, top_at_start = 0;
        CheckThumb(real, skin, real->maximum() / 2, &top_at_mid);
        CheckThumb(real, skin, real->maximum(), &top_at_end);
        CheckThumb(real, skin, 0, &top_at_start);
        QVERIFY(top_at_end > top_at_mid);
        QVERIFY(top_at_start < top_at_mid);
    }

    void verticalSkinNeedsMoreThan45Pixels_data() {
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("drawn");
        QTest::newRow("45") << 45 << false;
        QTest::newRow("46") << 46 << true;
    }
    void verticalSkinNeedsMoreThan45Pixels() {
        QFETCH(int, height);
        QFETCH(bool, drawn);
        Window w(height);
        Fill(*w.list, 10);
        w.list->SetScrollImage(m_up, 0);
        w.list->SetScrollImage(m_down, 4);
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        CScrollBarControl* skin = w.list->VerticalSkinBar();
        QTRY_COMPARE(skin->height(), height);
        const QImage img = skin->grab().toImage();
        if (!drawn) {
            for (int y = 0; y < height; ++y) {
                QVERIFY(Near(img.pixelColor(6, y), Qt::white));
            }
            return;
        }
        QVERIFY(Near(img.pixelColor(6, 12), kUp));
        QVERIFY(Near(img.pixelColor(6, 33), kDown));
        // 20 pixels of track between the arrows.
        QVERIFY(Near(img.pixelColor(1, 13), kTrack));
        QVERIFY(Near(img.pixelColor(1, 32), kTrack));
    }

    // A scroll repaints the rows and the bar once each, and then nothing more: no
    // geometry work from inside a paint that would start another.
    void repaintingSettles() {
        Window w;
        Fill(*w.list, 20);
        w.list->SetScrollImage(m_up, 0);
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        PaintCounter counter;
        PaintCounter bar_counter;
        w.list->viewport()->installEventFilter(&counter);
        w.list->VerticalSkinBar()->installEventFilter(&bar_counter);
        w.list->verticalScrollBar()->setValue(3);
        QTest::qWait(50);
        const int after_scroll = counter.paints;
        const int bar_after_scroll = bar_counter.paints;
        QVERIFY(after_scroll >= 1);
        QVERIFY(bar_after_scroll >= 1);
        const QRect bar_at = w.list->VerticalSkinBar()->geometry();
        QTest::qWait(150);
        QCOMPARE(counter.paints, after_scroll);
        QCOMPARE(bar_counter.paints, bar_after_scroll);
        QCOMPARE(w.list->VerticalSkinBar()->geometry(), bar_at);
    }

    // Rows 0 and 2 warn, row 1 does not; the badge (16 x 16 at 46, 26 of the icon)
    // covers the icon's lower right corner of the warning rows only.
    void warningRowsShowTheBadgeAndAPlainTooltip() {
        const QColor badge_color(250, 200, 0);
        const std::u16string badge = m_images.Solid("badge.png", 16, 16, badge_color);
        Window w;
        CScrollBarList& list = *w.list;
        list.SetWarningBadge(badge, 16, 16, 46, 26);
        std::vector<RowView> views = Rows(3);
        views[0] = Edited(views[0], [](RowTexts& t) {
            t.warning = u"At 192.168.0.57, <b>not</b> here & there\nsecond line";
            t.badge = true;
        });
        views[2] = Edited(views[2], [](RowTexts& t) {
            t.warning = u"Shared address";
            t.badge = true;
        });
        list.SetRows(views);
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        const QImage img = list.viewport()->grab().toImage();
        for (int row = 0; row < 3; ++row) {
            const QRect cell = list.visualRect(list.model()->index(row, 0));
            const QRect icon =
                QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, QSize(68, 44), cell);
            const QColor corner = img.pixelColor(icon.left() + 54, icon.top() + 34);
            const QColor icon_color = row % 2 ? kIconB : kIconA;
            QVERIFY2(Near(corner, row == 1 ? icon_color : badge_color, 24),
                     qPrintable(QString("row %1").arg(row)));
            // The rest of the icon is untouched.
            QVERIFY(Near(img.pixelColor(icon.left() + 10, icon.top() + 10), icon_color, 24));
        }
        const QString tip = list.model()->index(0, 1).data(Qt::ToolTipRole).toString();
        // Shown as plain text: the markup of the text is escaped, never obeyed.
        QCOMPARE(tip, Qt::convertFromPlainText(
                          QStringLiteral("At 192.168.0.57, <b>not</b> here & there\nsecond line"),
                          Qt::WhiteSpaceNormal));
        QVERIFY(tip.contains(QStringLiteral("&lt;b&gt;")));
        QCOMPARE(list.model()->index(0, 0).data(Qt::ToolTipRole).toString(), tip);
        QVERIFY(list.model()->index(1, 1).data(Qt::ToolTipRole).toString().isEmpty());
    }

    // The tooltip of a device with a long name, as Qt lays it out in a tooltip: no
    // line starts inside a label ("名" of "名前" alone on a line was seen in Japanese).
    void tooltipNeverBreaksInsideALabel_data() {
        QTest::addColumn<int>("language");
        QTest::newRow("Japanese") << int(kJapanese);
        QTest::newRow("English") << int(kEnglish);
        QTest::newRow("Traditional Chinese") << int(kTraditionalChinese);
        QTest::newRow("Simplified Chinese") << int(kSimplifiedChinese);
    }
    void tooltipNeverBreaksInsideALabel() {
        QFETCH(int, language);
        QTemporaryDir dir;
        UiStrings strings(std::filesystem::path(dir.path().toStdString()) / "setting.cfg");
        strings.SetLanguage(language);
        FoundDevice device;
        device.record.device_name = std::u16string(70, u'W');
        device.record.model = u"TR400";
        device.record.ip = u"10.0.0.1";
        device.record.id = u"0c:1a:2b:3c:4d:5e";
        device.record.master_version = std::u16string(90, u'1');
        device.verdict.status = ReachStatus::kOtherNetwork;
        const RowView view =
            Edited(MakeRowView(device, strings), [&](RowTexts& t) { t.icon_path = m_icon_a; });
        Window w;
        CScrollBarList& list = *w.list;
        list.SetRows({view});
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        const QString tip = list.model()->index(0, 1).data(Qt::ToolTipRole).toString();
        QToolTip::showText(list.viewport()->mapToGlobal(RowPoint(list, 0, 1)), tip, &list);
        QLabel* label = nullptr;
        QTRY_VERIFY((label = [] {
                        for (QWidget* top : QApplication::topLevelWidgets()) {
                            if (top->inherits("QTipLabel") && top->isVisible())
                                return qobject_cast<QLabel*>(top);
                        }
                        return static_cast<QLabel*>(nullptr);
                    }()) != nullptr);
        // The tooltip's own layout: its font, its width, its text.
        QTextDocument doc;
        doc.setDefaultFont(label->font());
        doc.setDocumentMargin(0);
        doc.setHtml(label->text());
        doc.setTextWidth(label->contentsRect().width() - 2 * label->margin());
        QVERIFY(doc.size().width() > 0);  // lays the document out
        const DeviceDetailLabels& l = strings.DetailLabels;
        const QStringList words = {Q(l.name), Q(l.model), Q(l.firmware), Q(l.ip), Q(l.mac)};
        const QChar joiner(0x2060);
        QStringList broken;
        int lines = 0;
        for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
            const QTextLayout* layout = block.layout();
            const QString text = block.text();
            lines += layout->lineCount();
            for (int i = 1; i < layout->lineCount(); ++i) {
                const int at = layout->lineAt(i).textStart();
                const QString before = QString(text.left(at)).remove(joiner);
                const QString after = QString(text.mid(at)).remove(joiner);
                for (const QString& word : words) {
                    for (int cut = 1; cut < word.size(); ++cut) {
                        if (before.endsWith(word.left(cut)) && after.startsWith(word.mid(cut)))
                            broken << before.right(8) + "|" + after.left(8);
                    }
                }
            }
        }
        QToolTip::hideText();
        QVERIFY(lines > 4);  // the long values did wrap
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join(u" ; ")));
    }

    void missingBadgeImageDrawsNoBadgeButKeepsTheTooltip() {
        Window w;
        CScrollBarList& list = *w.list;
        list.SetWarningBadge(m_images.Missing(), 16, 16, 46, 26);
        list.SetRows({Row(m_icon_a, u"Device", u"10.0.0.1", u"Other network")});
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        const QImage img = list.viewport()->grab().toImage();
        const QRect cell = list.visualRect(list.model()->index(0, 0));
        const QRect icon =
            QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, QSize(68, 44), cell);
        QVERIFY(Near(img.pixelColor(icon.left() + 54, icon.top() + 34), kIconA, 24));
        QVERIFY(!list.model()->index(0, 1).data(Qt::ToolTipRole).toString().isEmpty());
    }
};

QTEST_MAIN(ScrollBarListTest)
#include "scroll_bar_list_test.moc"
