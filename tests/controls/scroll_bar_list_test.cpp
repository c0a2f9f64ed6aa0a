#include <QDesktopServices>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QtTest>

#include "controls/device_address.h"
#include "controls/scroll_bar_list.h"
#include "test_images.h"

using namespace orvandel;
using orvandel::test::Near;

namespace {
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

// Records the URLs the list asks the desktop to open.
class UrlSink : public QObject {
    Q_OBJECT
public:
    QStringList urls;
public slots:
    void open(const QUrl& url) { urls << url.toString(); }
};

class ScrollBarListTest : public QObject {
    Q_OBJECT

private:
    test::ImageFolder m_images;
    std::u16string m_icon_a, m_icon_b, m_up, m_down;
    UrlSink m_sink;

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

    void Fill(CScrollBarList& list, int n) {
        list.ClearDevices();
        list.SetDeviceCount(n);
        for (int i = 0; i < n; ++i) {
            const std::u16string ip = u"10.0.0." + QString::number(i + 1).toStdU16String();
            QVERIFY(list.AddDevice(i % 2 ? m_icon_b : m_icon_a, u"Device", u"    IP: " + ip,
                                   u"    MAC: 00:11:22:33:44:55", ip));
        }
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
        QDesktopServices::setUrlHandler("http", &m_sink, "open");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler("http"); }
    void init() { m_sink.urls.clear(); }

    void columnsFollowTheCountAtCreation_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("later");
        QTest::addColumn<int>("text_width");
        QTest::newRow("six") << 6 << 6 << 320 - 76;
        QTest::newRow("seven") << 7 << 7 << 320 - 92;
        QTest::newRow("six, then told seven") << 6 << 7 << 320 - 76;
        QTest::newRow("seven, then told one") << 7 << 1 << 320 - 92;
    }
    void columnsFollowTheCountAtCreation() {
        QFETCH(int, count);
        QFETCH(int, later);
        QFETCH(int, text_width);
        Window w;
        CScrollBarList& list = *w.list;
        QCOMPARE(list.columnCount(), 0);
        list.ClearDevices();
        list.SetDeviceCount(count);
        QVERIFY(list.AddDevice(m_icon_a, u"One", u"    IP: 10.0.0.1", u"    MAC: x", u"10.0.0.1"));
        list.SetDeviceCount(later);
        QVERIFY(list.AddDevice(m_icon_b, u"Two", u"    IP: 10.0.0.2", u"    MAC: y", u"10.0.0.2"));
        QCOMPARE(list.columnCount(), 2);
        QCOMPARE(list.header()->sectionSize(0), 72);
        QCOMPARE(list.header()->sectionSize(1), text_width);
        QVERIFY(list.isHeaderHidden());

        // Refilled after a clear: the count read now decides.
        list.ClearDevices();
        QCOMPARE(list.columnCount(), 0);
        QCOMPARE(list.ItemCount(), 0);
        QVERIFY(list.AddDevice(m_icon_a, u"One", u"    IP: 10.0.0.1", u"    MAC: x", u"10.0.0.1"));
        QCOMPARE(list.header()->sectionSize(1), 320 - (later <= 6 ? 76 : 92));
    }

    void missingIconGivesNoRow() {
        Window w;
        CScrollBarList& list = *w.list;
        list.SetDeviceCount(2);
        QVERIFY(
            !list.AddDevice(m_images.Missing(), u"Lost", u"    IP: 10.0.0.9", u"m", u"10.0.0.9"));
        QCOMPARE(list.columnCount(), 0);
        QVERIFY(list.AddDevice(m_icon_b, u"Found", u"    IP: 10.0.0.2", u"m", u"10.0.0.2"));
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
        list.SetDeviceCount(2);
        QVERIFY(
            list.AddDevice(m_icon_a, u"Other", u"    IP: 10.1.1.1", u"    MAC: a", u"10.1.1.1"));
        QVERIFY(list.AddDevice(m_icon_a, name.toStdU16String(), u"    IP: 192.168.1.20",
                               u"    MAC: b", u"192.168.1.20"));
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, RowPoint(list, 1, column));
        QCOMPARE(m_sink.urls, QStringList{"http://192.168.1.20"});
    }

    void clickOutsideRowsOpensNothing() {
        Window w;
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        QTest::mouseClick(w.list->viewport(), Qt::LeftButton, {}, QPoint(100, 100));
        Fill(*w.list, 1);
        QTest::mouseClick(w.list->viewport(), Qt::LeftButton, {}, QPoint(100, 200));
        QVERIFY(m_sink.urls.isEmpty());
    }

    void onlyDottedDecimalAddressesOpen_data() {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<bool>("opens");
        QTest::newRow("plain") << "192.168.1.20" << true;
        QTest::newRow("zeros") << "0.0.0.0" << true;
        QTest::newRow("top") << "255.255.255.255" << true;
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
        QCOMPARE(IsDottedDecimalIPv4(ip), opens);
        Window w;
        w.list->SetDeviceCount(1);
        QVERIFY(w.list->AddDevice(m_icon_a, u"Dev",
                                  (QStringLiteral("    IP: ") + ip).toStdU16String(), u"m",
                                  ip.toStdU16String()));
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        QTest::mouseClick(w.list->viewport(), Qt::LeftButton, {}, RowPoint(*w.list, 0, 1));
        QCOMPARE(m_sink.urls, opens ? QStringList{"http://" + ip} : QStringList{});
    }

    void deviceTextIsNeverMarkup() {
        Window w;
        w.list->SetDeviceCount(1);
        QVERIFY(w.list->AddDevice(m_icon_b, u"<font color=\"#ff0000\" size=7>XXXXXXXXXX</font>",
                                  u"    IP: <b style=\"color:red\">10.0.0.1</b>",
                                  u"    MAC: <span style=\"background:red\">AA</span>",
                                  u"10.0.0.1"));
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
        list.SetScrollBarsActive(true);
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        QScrollBar* real = list.verticalScrollBar();
        QTRY_VERIFY(real->isVisible());
        CScrollBarControl* skin = list.VerticalSkinBar();
        QTRY_COMPARE(skin->geometry(), QRect(real->mapTo(&w.top, QPoint(0, 0)), real->size()));
        QCOMPARE(skin->width(), 13);

        // The pointer goes through the skin to the real bar.
        const QPoint down_arrow = skin->geometry().bottomLeft() + QPoint(6, -6);
        QVERIFY(w.top.childAt(down_arrow) != skin);

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
        w.list->SetScrollBarsActive(true);
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

    void horizontalArrowsShareANarrowBar_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("arrow");
        QTest::newRow("wide") << 60 << 13;
        QTest::newRow("27 fits both") << 27 << 13;
        QTest::newRow("26 is too narrow") << 26 << 12;
        QTest::newRow("narrow") << 20 << 9;
    }
    void horizontalArrowsShareANarrowBar() {
        QFETCH(int, width);
        QFETCH(int, arrow);
        Window w;
        CScrollBarList& list = *w.list;
        list.setGeometry(0, 135, width, 150);
        list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        list.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        Fill(list, 1);
        QVERIFY(list.SetScrollImage(m_up, 8));     // left arrow
        QVERIFY(list.SetScrollImage(m_down, 12));  // right arrow
        list.SetScrollBarsActive(true);
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        CScrollBarControl* skin = list.HorizontalSkinBar();
        QTRY_COMPARE(skin->width(), width);
        QCOMPARE(skin->height(), 13);
        const QImage img = skin->grab().toImage();
        QVERIFY(Near(img.pixelColor(0, 6), kUp));
        QVERIFY(Near(img.pixelColor(arrow - 1, 6), kUp));
        QVERIFY(!Near(img.pixelColor(arrow, 6), kUp));
        QVERIFY(Near(img.pixelColor(width - arrow, 6), kDown));
        QVERIFY(Near(img.pixelColor(width - 1, 6), kDown));
        QVERIFY(!Near(img.pixelColor(width - arrow - 1, 6), kDown));
    }

    // The bars move and restack from inside the list's paint; that must not make
    // the list paint again and again.
    void repaintingSettles() {
        Window w;
        Fill(*w.list, 20);
        w.list->SetScrollImage(m_up, 0);
        w.list->SetScrollBarsActive(true);
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        PaintCounter counter;
        w.list->viewport()->installEventFilter(&counter);
        w.list->verticalScrollBar()->setValue(3);
        QTest::qWait(50);
        const int after_scroll = counter.paints;
        QVERIFY(after_scroll >= 1);
        QTest::qWait(150);
        QCOMPARE(counter.paints, after_scroll);
    }

    void inactiveBarsStayPut() {
        Window w;
        Fill(*w.list, 20);
        w.top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.top));
        w.list->SetSkinBarsVisible(false);
        QApplication::processEvents();
        QVERIFY(!w.list->VerticalSkinBar()->isVisible());
        QVERIFY(!w.list->HorizontalSkinBar()->isVisible());
        w.list->SetScrollBarsActive(true);
        w.list->viewport()->repaint();
        QVERIFY(w.list->VerticalSkinBar()->isVisible());
    }
};

QTEST_MAIN(ScrollBarListTest)
#include "scroll_bar_list_test.moc"
