// High-density skin images: the loader's choice of the @2x twin and its fall-backs,
// and the controls drawing either at the logical size of the plain image, at
// device pixel ratios 1, 1.5 and 2.
#include <QPainter>
#include <QtTest>

#include "controls/button_operate.h"
#include "controls/scroll_bar_list.h"
#include "controls/skin_bitmap.h"
#include "test_images.h"

using namespace orvandel;

namespace {

// A widget rendered into an image of `ratio` over `background`.
QImage Render(QWidget& widget, qreal ratio, const QColor& background) {
    QImage image(widget.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(background);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The part of `image` (in device pixels) that differs from `background`, in
// logical pixels.
QRectF Drawn(const QImage& image, const QColor& background) {
    const qreal ratio = image.devicePixelRatio();
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) != background) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0)
        return {};
    return QRectF(left / ratio, top / ratio, (right - left + 1) / ratio,
                  (bottom - top + 1) / ratio);
}

// `face` over `background`, as the control should put it on the device.
QImage Over(const QColor& background, const QImage& face, QSize device_size) {
    QImage out(device_size, QImage::Format_ARGB32_Premultiplied);
    out.fill(background);
    QPainter p(&out);
    QImage pixels = face;
    pixels.setDevicePixelRatio(1);  // drawn pixel for pixel
    p.drawImage(QPoint(0, 0), pixels);
    return out;
}

QImage Plain(const QImage& image) {
    QImage out = image.convertToFormat(QImage::Format_RGB32);
    out.setDevicePixelRatio(1);
    return out;
}

}  // namespace

class SkinDenseTest : public QObject {
    Q_OBJECT

private slots:
    void twinPathAndSelection() {
        QCOMPARE(DenseSkinPath(u"img\\a_b.png"), std::u16string(u"img\\a_b@2x.png"));
        QCOMPARE(DenseSkinPath(u"/x/y.png"), std::u16string(u"/x/y@2x.png"));
        QVERIFY(DenseSkinPath(u"img\\a.bmp").empty());
        QVERIFY(DenseSkinPath(u".png").empty());
        QVERIFY(DenseSkinPath(u"").empty());

        const std::u16string plain = m_images.Solid("pick.png", 10, 6, Qt::red);
        m_images.Solid("pick@2x.png", 20, 12, Qt::blue);
        const SkinBitmapSet set = LoadSkinBitmapSet(plain, QSize(10, 6));
        QCOMPARE(set.plain.size(), QSize(10, 6));
        QCOMPARE(set.dense.size(), QSize(20, 12));
        QCOMPARE(set.dense.devicePixelRatio(), 2.0);
        QCOMPARE(set.For(1.0).pixelColor(0, 0), QColor(Qt::red));
        QCOMPARE(set.For(1.25).pixelColor(0, 0), QColor(Qt::blue));
        QCOMPARE(set.For(2.0).pixelColor(0, 0), QColor(Qt::blue));
        QCOMPARE(set.For(3.0).pixelColor(0, 0), QColor(Qt::blue));
    }

    // A missing, broken, wrongly sized or oversized twin leaves the plain image; a
    // missing plain image fails as before, twin or not.
    void twinFallbacks() {
        const std::u16string none = m_images.Solid("none.png", 10, 6, Qt::red);
        QVERIFY(LoadSkinBitmapSet(none, QSize(10, 6)).dense.isNull());
        QCOMPARE(LoadSkinBitmapSet(none, QSize(10, 6)).For(2.0).size(), QSize(10, 6));

        const std::u16string odd = m_images.Solid("odd.png", 10, 6, Qt::red);
        m_images.Solid("odd@2x.png", 21, 12, Qt::blue);
        QVERIFY(LoadSkinBitmapSet(odd, QSize(10, 6)).dense.isNull());

        const std::u16string big = m_images.Solid("big.png", 10, 6, Qt::red);
        m_images.Declared("big@2x.png", 20000, 12);
        QVERIFY(LoadSkinBitmapSet(big, QSize(10, 6)).dense.isNull());

        const std::u16string cut = m_images.Solid("cut.png", 10, 6, Qt::red);
        QImage blue(20, 12, QImage::Format_ARGB32);
        blue.fill(Qt::blue);
        m_images.Truncated("cut@2x.png", blue, 40);
        QVERIFY(LoadSkinBitmapSet(cut, QSize(10, 6)).dense.isNull());
        QVERIFY(!LoadSkinBitmapSet(cut, QSize(10, 6)).isNull());

        m_images.Solid("gone@2x.png", 20, 12, Qt::blue);
        const QString gone = m_images.Dir() + QStringLiteral("/gone.png");
        QVERIFY(LoadSkinBitmapSet(gone.toStdU16String(), QSize(10, 6)).isNull());
    }

    // A button face at its logical size on every ratio; at 2 the twin's own pixels.
    void buttonFaceAtEachRatio() {
        QImage plain(12, 8, QImage::Format_ARGB32);
        plain.fill(QColor(200, 30, 30, 180));
        QImage twin(24, 16, QImage::Format_ARGB32);
        twin.fill(Qt::transparent);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 24; ++x)
                twin.setPixelColor(x, y, QColor(x * 10, y * 15, 90, 120 + x * 5));
        }
        const std::u16string path = m_images.Save("face.png", plain);
        m_images.Save("face@2x.png", twin);

        QWidget host;
        host.resize(30, 20);
        CButtonOperate button(&host);
        button.setGeometry(0, 0, 12, 8);
        QVERIFY(button.SetStateImage(path, 0));
        const QColor bg(20, 20, 20);
        for (qreal ratio : {1.0, 1.5, 2.0}) {
            const QImage drawn = Render(button, ratio, bg);
            QCOMPARE(Drawn(drawn, bg), QRectF(0, 0, 12, 8));
        }
        const QImage dense = Render(button, 2.0, bg);
        const QImage expected = Over(
            bg, LoadSkinBitmap(m_images.Dir().toStdU16String() + u"/face@2x.png", QSize(12, 8)),
            QSize(24, 16));
        QCOMPARE(Plain(dense), Plain(expected));
        // Ratio 1 keeps the plain file's pixels.
        const QImage one = Render(button, 1.0, bg);
        QCOMPARE(Plain(one), Plain(Over(bg, LoadSkinBitmap(path, QSize(12, 8)), QSize(12, 8))));
    }

    // The device icon of a list row: centred in its column at 68 x 44 logical
    // pixels, the plain file's pixels at 1 and the twin's at 2.
    void listIconAtEachRatio() {
        QImage plain(68, 44, QImage::Format_ARGB32);
        plain.fill(QColor(40, 40, 40));
        QImage twin(136, 88, QImage::Format_ARGB32);
        for (int y = 0; y < 88; ++y) {
            for (int x = 0; x < 136; ++x)
                twin.setPixelColor(x, y, QColor(x, y * 2, 60));
        }
        const std::u16string path = m_images.Save("dev.png", plain);
        m_images.Save("dev@2x.png", twin);

        CScrollBarList list;
        list.resize(300, 200);
        list.SetRows({ListRow(path, false)});
        QCOMPARE(list.ItemCount(), 1);
        CompareListPixels(list, QPoint(0, 0), QSize(68, 44), {{1.0, plain}, {2.0, twin}});
    }

    // The warning badge over a row's icon, as the device icons: the plain file's
    // pixels at 1 and its @2x twin's at 2, never the plain file blown up.
    void listBadgeAtEachRatio() {
        QImage icon(68, 44, QImage::Format_ARGB32);
        icon.fill(QColor(40, 40, 40));
        QImage plain(16, 16, QImage::Format_ARGB32);
        plain.fill(QColor(250, 200, 0));
        QImage twin(32, 32, QImage::Format_ARGB32);
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x)
                twin.setPixelColor(x, y, QColor(x * 8, y * 8, 200));
        }
        const std::u16string icon_path = m_images.Save("row.png", icon);
        const std::u16string badge_path = m_images.Save("warn.png", plain);
        m_images.Save("warn@2x.png", twin);

        CScrollBarList list;
        list.resize(300, 200);
        list.SetWarningBadge(badge_path, 16, 16, 46, 26);
        list.SetRows({ListRow(icon_path, true)});
        CompareListPixels(list, QPoint(46, 26), QSize(16, 16), {{1.0, plain}, {2.0, twin}});
    }

private:
    static RowView ListRow(const std::u16string& icon, bool badge) {
        RowTexts texts;
        texts.icon_path = icon;
        texts.lines = {u"Name", u"IP", u"MAC"};
        texts.address = u"192.168.1.2";
        texts.badge = badge;
        return RowView(texts);
    }

    // Renders row 0 of `list` at each ratio and compares the area at `offset`
    // within the centred 68 x 44 icon rectangle with the expected file pixels.
    void CompareListPixels(CScrollBarList& list, QPoint offset, QSize size,
                           const std::vector<std::pair<qreal, QImage>>& expected) {
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.clearSelection();
        list.setCurrentIndex({});
        const QRect cell = list.visualRect(list.model()->index(0, 0));
        const QRect icon = QRect(
            QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, QSize(68, 44), cell).topLeft() +
                offset,
            size);
        QWidget* viewport = list.viewport();
        // The file's pixels at 1 and 2, each exactly covering the logical
        // rectangle. (At 1.5 the row's icon lies between device pixels.)
        for (const auto& [ratio, pixels] : expected) {
            const QImage drawn = Render(*viewport, ratio, Qt::white);
            const QRect device =
                QRectF(QPointF(icon.topLeft()) * ratio, QSizeF(icon.size()) * ratio).toRect();
            QCOMPARE(device.size(), pixels.size());
            const QImage got = Plain(drawn.copy(device));
            const QImage want = Plain(pixels);
            int largest = 0;
            for (int y = 0; y < want.height(); ++y) {
                for (int x = 0; x < want.width(); ++x) {
                    const QRgb a = got.pixel(x, y), b = want.pixel(x, y);
                    largest =
                        std::max({largest, std::abs(qRed(a) - qRed(b)),
                                  std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
                }
            }
            QVERIFY2(largest == 0,
                     qPrintable(QStringLiteral("ratio %1: off by %2").arg(ratio).arg(largest)));
        }
    }

    test::ImageFolder m_images;
};

QTEST_MAIN(SkinDenseTest)
#include "skin_dense_test.moc"
