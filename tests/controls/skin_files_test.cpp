// Every skin file the windows name is in resources/img/ at the size its layout
// record gives, and loads through the skin loader.
#include <QImageReader>
#include <QtTest>
#include <algorithm>
#include <tuple>

#include "controls/skin_bitmap.h"
#include "localization/ui_strings.h"
#include "platform/skin_path.h"

using namespace orvandel;

namespace {
struct Named {
    QString path;
    QSize size;
};

// Every image record of the layout, in every language.
std::vector<Named> LayoutImages() {
    std::vector<Named> all;
    auto add = [&all](const UiImageElement& e) {
        all.push_back({QString::fromStdU16String(e.path), QSize(e.width, e.height)});
    };
    for (LanguageId id : {kEnglish, kTraditionalChinese, kSimplifiedChinese, kJapanese}) {
        UiStrings ui("unused-setting.cfg");
        ui.BuildLanguage(id);
        for (const UiImageElement* e :
             {&ui.HeaderShadow, &ui.AppIcon, &ui.AppName, &ui.MakerLogo, &ui.Step1Diagram,
              &ui.Step2Diagram, &ui.InternetDiagram, &ui.PageDot1.normal, &ui.PageDot1.focus,
              &ui.PageDot2.normal, &ui.PageDot2.focus, &ui.ErrorIcon, &ui.WarningIcon, &ui.OkIcon,
              &ui.LaunchImage, &ui.WarningBadge}) {
            add(*e);
        }
        for (const UiButtonImages* b :
             {&ui.SettingButton, &ui.NextButton, &ui.PreviousButton, &ui.SearchButton,
              &ui.ScrollUpButton, &ui.ScrollDownButton, &ui.AboutOkButton}) {
            for (const UiImageElement& e : b->states) {
                add(e);
            }
        }
        for (int i = 0; i < ui.IndicatorFrameCount; ++i) {
            add(ui.SearchIndicator[static_cast<std::size_t>(i)]);
            add(ui.LaunchIndicator[static_cast<std::size_t>(i)]);
        }
        for (const auto* icons : {&ui.DeviceIconNormal, &ui.DeviceIconDisabled}) {
            for (const auto& [model, e] : *icons) {
                add(e);
            }
        }
    }
    std::sort(all.begin(), all.end(), [](const Named& a, const Named& b) {
        return std::make_tuple(a.path, a.size.width(), a.size.height()) <
               std::make_tuple(b.path, b.size.width(), b.size.height());
    });
    all.erase(std::unique(all.begin(), all.end(),
                          [](const Named& a, const Named& b) {
                              return a.path == b.path && a.size == b.size;
                          }),
              all.end());
    return all;
}
}  // namespace

class SkinFilesTest : public QObject {
    Q_OBJECT

private slots:
    void everyNamedImageHasItsSize_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        const std::vector<Named> images = LayoutImages();
        // 16 single images, 7 buttons of 4 states, 12 indicator frames, 4 device icons.
        QCOMPARE(images.size(), std::size_t{16 - 2 + 28 + 12 + 4});
        for (const Named& n : images) {
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
        const QImage loaded = LoadSkinBitmap(path.toStdU16String(), size);
        QVERIFY(!loaded.isNull());
        QCOMPARE(loaded.size(), size);
    }

    // Every named image has its high-density twin at twice the size, which the
    // loader takes for a dense screen.
    void everyNamedImageHasItsTwin_data() { everyNamedImageHasItsSize_data(); }
    void everyNamedImageHasItsTwin() {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        const std::filesystem::path file = ResolveSkinPath(DenseSkinPath(path.toStdU16String()));
        QVERIFY2(!file.empty(), qPrintable(path));
        QImageReader reader(QString::fromStdString(file.string()), "png");
        QCOMPARE(reader.size(), size * 2);
        const SkinBitmapSet set = LoadSkinBitmapSet(path.toStdU16String(), size);
        QCOMPARE(set.dense.size(), size * 2);
        QCOMPARE(set.For(2.0).deviceIndependentSize(), QSizeF(size));
    }

    // The skin bar copies its arrows without blending: they must be opaque.
    void scrollArrowsAreOpaque() {
        for (const char* name : {R"(img\finder_win_btn_scrollup_normal.png)",
                                 R"(img\finder_win_btn_scrolldown_normal.png)",
                                 R"(img\finder_win_btn_scrollup_normal@2x.png)",
                                 R"(img\finder_win_btn_scrolldown_normal@2x.png)"}) {
            const QImage img = LoadSkinBitmap(QString(name).toStdU16String(), QSize(13, 13));
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
