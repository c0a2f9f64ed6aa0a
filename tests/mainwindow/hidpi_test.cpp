// The window on screens of device pixel ratio 1, 1.5 and 2: every skin image at
// its layout rectangle in logical pixels, the @2x files' own pixels at 2, and the
// setting button and the About box's OK button drawn from their twins.
// ORVANDEL_GRAB_DIR: where the step 1 grabs at each ratio go.
#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QtTest>

#include "about/dialog_about.h"
#include "controls/skin_bitmap.h"
#include "window_harness.h"

using namespace orvandel;
using namespace orvandel::test;

namespace {

// Where an element lies and what the window paints under it.
struct Placed {
    const char* name;
    const UiImageElement* element;
    QColor background;
};

std::vector<Placed> StepOneImages(const UiStrings& s) {
    return {{"app icon", &s.AppIcon, QColor(32, 32, 32)},
            {"app name", &s.AppName, QColor(32, 32, 32)},
            {"maker logo", &s.MakerLogo, QColor(25, 25, 25)},
            {"diagram", &s.Step1Diagram, QColor(255, 255, 255)},
            {"page dot 1", &s.PageDot1.normal, QColor(255, 255, 255)},
            {"page dot 2", &s.PageDot2.normal, QColor(255, 255, 255)}};
}

// The bounding box, in logical pixels, of what differs from `background` in
// `area` (logical) of `image`.
QRectF Drawn(const QImage& image, const QRect& area, const QColor& background) {
    const qreal r = image.devicePixelRatio();
    const QRect device(qFloor(area.left() * r), qFloor(area.top() * r), qCeil(area.width() * r),
                       qCeil(area.height() * r));
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    for (int y = device.top(); y <= device.bottom(); ++y) {
        for (int x = device.left(); x <= device.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int d = std::max({std::abs(c.red() - background.red()),
                                    std::abs(c.green() - background.green()),
                                    std::abs(c.blue() - background.blue())});
            if (d > 6) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0)
        return {};
    return QRectF(left / r, top / r, (right - left + 1) / r, (bottom - top + 1) / r);
}

QRect RectOf(const UiImageElement& e) {
    return QRect(e.left, e.top, e.width, e.height);
}

// The @2x file over `background`, as the window must show it at ratio 2.
QImage DenseOver(const UiImageElement& e, const QColor& background) {
    QImage twin = LoadSkinBitmap(DenseSkinPath(e.path), QSize(e.width, e.height));
    twin.setDevicePixelRatio(1);  // drawn pixel for pixel
    QImage out(twin.size(), QImage::Format_RGB32);
    out.fill(background);
    QPainter p(&out);
    p.drawImage(QPoint(0, 0), twin);
    p.end();
    out.setDevicePixelRatio(1);
    return out;
}

QImage RenderAt(QWidget& widget, qreal ratio, const QColor& background) {
    QImage image(widget.size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(background);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

}  // namespace

class FinderHiDpiTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_cwd.isValid());
        QVERIFY(QDir::setCurrent(m_cwd.path()));
        m_out = qEnvironmentVariable("ORVANDEL_GRAB_DIR");
        if (!m_out.isEmpty())
            QVERIFY(QDir().mkpath(m_out));
    }

    // Each image covers the same logical rectangle at every ratio: what is drawn
    // around it at 1.5 and 2 lies within one logical pixel of what is drawn at 1,
    // and never outside the element's rectangle.
    void imagesKeepTheirLogicalRectangles() {
        WindowHarness h;
        QVERIFY(h.OpenReady());
        const std::vector<Placed> images = StepOneImages(h.window->Strings());
        std::vector<QRectF> at_one;
        for (qreal ratio : {1.0, 1.5, 2.0}) {
            const QImage buffer = h.window->RenderClientArea(ratio);
            QCOMPARE(buffer.size(), QSize(320, 460) * ratio);
            if (!m_out.isEmpty())
                QVERIFY(buffer.save(
                    QDir(m_out).filePath(QStringLiteral("hidpi-step1-%1x.png").arg(ratio))));
            for (std::size_t i = 0; i < images.size(); ++i) {
                const Placed& p = images[i];
                const QRect rect = RectOf(*p.element);
                const QRectF drawn = Drawn(buffer, rect.adjusted(-3, -3, 3, 3), p.background);
                QVERIFY2(!drawn.isEmpty(), p.name);
                QVERIFY2(QRectF(rect).adjusted(-0.01, -0.01, 0.01, 0.01).contains(drawn),
                         qPrintable(QStringLiteral("%1 at ratio %2 drawn outside its rectangle")
                                        .arg(p.name)
                                        .arg(ratio)));
                if (ratio == 1.0) {
                    at_one.push_back(drawn);
                    continue;
                }
                const QRectF one = at_one[i];
                const qreal off = std::max({std::abs(drawn.left() - one.left()),
                                            std::abs(drawn.top() - one.top()),
                                            std::abs(drawn.right() - one.right()),
                                            std::abs(drawn.bottom() - one.bottom())});
                QVERIFY2(off <= 1.0, qPrintable(QStringLiteral("%1 at ratio %2 off by %3")
                                                    .arg(p.name)
                                                    .arg(ratio)
                                                    .arg(off)));
            }
        }
    }

    // At ratio 2 the window shows the @2x files' own pixels, none resampled.
    void ratioTwoShowsTheDenseFiles() {
        WindowHarness h;
        QVERIFY(h.OpenReady());
        const QImage buffer = h.window->RenderClientArea(2.0);
        for (const Placed& p : StepOneImages(h.window->Strings())) {
            if (QByteArray(p.name).startsWith("page dot"))
                continue;  // which of the two files depends on the page
            const QRect r = RectOf(*p.element);
            const QImage expected = DenseOver(*p.element, p.background);
            QCOMPARE(expected.size(), r.size() * 2);
            const QImage part = buffer.copy(QRect(r.topLeft() * 2, r.size() * 2))
                                    .convertToFormat(QImage::Format_RGB32);
            QVERIFY2(part == expected, p.name);
        }
    }

    // At 1.5 the twin is scaled down smoothly: the icon is the twin drawn with
    // smooth resampling into its logical rectangle, not a nearest-pixel pick.
    void fractionalRatioIsSmooth() {
        WindowHarness h;
        QVERIFY(h.OpenReady());
        const UiImageElement& icon = h.window->Strings().AppIcon;
        const QRect r = RectOf(icon);
        QVERIFY(r.left() % 2 == 0 && r.top() % 2 == 0);  // on the device pixel grid at 1.5
        QImage part = h.window->RenderClientArea(1.5)
                          .copy(QRect(r.topLeft() * 3 / 2, r.size() * 3 / 2))
                          .convertToFormat(QImage::Format_RGB32);
        part.setDevicePixelRatio(1);
        QImage twin = LoadSkinBitmap(DenseSkinPath(icon.path), r.size());
        twin.setDevicePixelRatio(1);
        auto drawn = [&](bool smooth) {
            QImage out(r.size() * 3 / 2, QImage::Format_RGB32);
            out.setDevicePixelRatio(1.5);
            out.fill(QColor(32, 32, 32));
            QPainter p(&out);
            p.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
            p.drawImage(QRectF(QPointF(0, 0), QSizeF(r.size())), twin,
                        QRectF(QPointF(0, 0), QSizeF(twin.size())));
            p.end();
            out.setDevicePixelRatio(1);
            return out;
        };
        QVERIFY(drawn(true) != drawn(false));
        QVERIFY(part == drawn(true));
    }

    // The setting button and the About box's OK button: the face at its logical
    // size at every ratio, the @2x face's pixels at 2.
    void buttonsDrawTheirTwins() {
        WindowHarness h;
        QVERIFY(h.OpenReady());
        const UiStrings& s = h.window->Strings();
        const QColor header(32, 32, 32);
        CButtonOperate* setting = h.Button("settingButton");
        QCOMPARE(setting->size(),
                 QSize(s.SettingButton.normal().width, s.SettingButton.normal().height));
        QImage two = RenderAt(*setting, 2.0, header);
        two.setDevicePixelRatio(1);
        QCOMPARE(two, DenseOver(s.SettingButton.normal(), header));

        CDialogAbout about(kEnglish, h.SettingsPath(), h.window.get());
        auto* ok = about.findChild<CButtonOperate*>(QStringLiteral("aboutOkButton"));
        QVERIFY(ok);
        const UiImageElement& face = s.AboutOkButton.normal();
        const QColor white(255, 255, 255);
        for (qreal ratio : {1.0, 1.5, 2.0}) {
            const QImage drawn = RenderAt(*ok, ratio, white);
            const QRectF at = Drawn(drawn, QRect(QPoint(0, 0), ok->size()), white);
            QVERIFY2(QRectF(0, 0, face.width, face.height)
                         .adjusted(-0.01, -0.01, 0.01, 0.01)
                         .contains(at),
                     qPrintable(QStringLiteral("ratio %1").arg(ratio)));
            QVERIFY(at.width() > face.width - 2 && at.height() > face.height - 2);
        }
        QImage two_ok = RenderAt(*ok, 2.0, white).copy(0, 0, face.width * 2, face.height * 2);
        two_ok.setDevicePixelRatio(1);
        // The caption is drawn over the face: compare the face outside its text.
        const QImage expected = DenseOver(face, white);
        int same = 0;
        for (int y = 0; y < expected.height(); ++y) {
            for (int x = 0; x < 6; ++x)
                same += two_ok.pixel(x, y) == expected.pixel(x, y) ? 1 : 0;
        }
        QCOMPARE(same, expected.height() * 6);
    }

private:
    QTemporaryDir m_cwd;
    QString m_out;
};

QTEST_MAIN(FinderHiDpiTest)
#include "hidpi_test.moc"
