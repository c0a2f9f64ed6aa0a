// Every skin file the windows name is in resources/img/ at the size its layout
// record gives, and loads through the skin loader.
#include <QImageReader>
#include <QtTest>

#include "controls/skin_bitmap.h"
#include "platform/skin_path.h"

using namespace orvandel;

namespace {
struct Named {
    QString path;
    QSize size;
};

std::vector<Named> LayoutImages() {
    std::vector<Named> all = {
        {R"(img\finder_win_bg_shadow.png)", {320, 10}},
        {R"(img\finder_win_icon_apicon.png)", {45, 45}},
        {R"(img\finder_win_icon_apname.png)", {200, 36}},
        {R"(img\finder_win_icon_logo.png)", {82, 14}},
        {R"(img\finder_win_diagram_diagram1.png)", {264, 170}},
        {R"(img\finder_win_diagram_diagram2.png)", {264, 170}},
        {R"(img\finder_win_diagram_internet.png)", {264, 170}},
        {R"(img\finder_win_icon_dot_normal.png)", {10, 10}},
        {R"(img\finder_win_icon_dot_focus.png)", {10, 10}},
        {R"(img\finder_win_icon_error.png)", {41, 41}},
        {R"(img\finder_win_icon_warning.png)", {41, 41}},
        {R"(img\finder_win_icon_ok.png)", {41, 41}},
        {R"(img\finder_win_startup_image_launch.png)", {320, 230}},
        {R"(img\finder_win_icon_device_tr400_normal.png)", {68, 44}},
        {R"(img\finder_win_icon_device_tr9100_normal.png)", {68, 44}},
        {R"(img\finder_win_icon_device_tr400_disable.png)", {68, 44}},
        {R"(img\finder_win_icon_device_tr9100_disable.png)", {68, 44}},
    };
    for (int i = 0; i < 12; ++i) {
        all.push_back({QString(R"(img\finder_win_icon_waiting_indicator%1.png)").arg(i), {41, 41}});
    }
    const struct {
        const char* stem;
        const char* tail;
        QSize size;
    } buttons[] = {
        {"setting_", "", {36, 36}},    {"next_", "", {25, 40}},
        {"previous_", "", {25, 40}},   {"commbutton_", "_resize", {100, 30}},
        {"commbutton_", "", {41, 30}}, {"scrollup_", "", {13, 13}},
        {"scrolldown_", "", {13, 13}},
    };
    for (const auto& b : buttons) {
        for (const char* state : {"normal", "mouseover", "press", "disable"}) {
            all.push_back(
                {QString(R"(img\finder_win_btn_%1%2%3.png)").arg(b.stem, state, b.tail), b.size});
        }
    }
    return all;
}
}  // namespace

class SkinFilesTest : public QObject {
    Q_OBJECT

private slots:
    void everyNamedImageHasItsSize_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        for (const Named& n : LayoutImages()) {
            QTest::newRow(qPrintable(n.path)) << n.path << n.size;
        }
    }
    void everyNamedImageHasItsSize() {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        const std::filesystem::path file = ResolveSkinPath(path.toStdU16String());
        QVERIFY2(!file.empty(), qPrintable(path));
        QImageReader reader(QString::fromStdString(file.string()), "png");
        QCOMPARE(reader.size(), size);
        const QImage loaded = LoadSkinBitmap(path.toStdU16String());
        QVERIFY(!loaded.isNull());
        QCOMPARE(loaded.size(), size);
    }

    // The skin bar copies its arrows without blending: they must be opaque.
    void scrollArrowsAreOpaque() {
        for (const char* name : {R"(img\finder_win_btn_scrollup_normal.png)",
                                 R"(img\finder_win_btn_scrolldown_normal.png)"}) {
            const QImage img = LoadSkinBitmap(QString(name).toStdU16String());
            QVERIFY(!img.isNull());
            for (int y = 0; y < img.height(); ++y) {
                for (int x = 0; x < img.width(); ++x) {
                    QCOMPARE(qAlpha(img.pixel(x, y)), 255);
                }
            }
        }
    }
};

QTEST_MAIN(SkinFilesTest)
#include "skin_files_test.moc"
