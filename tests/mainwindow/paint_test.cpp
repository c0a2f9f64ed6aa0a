// Pixels of the painted main window: bands, header icons, text colours and text
// layout rules, the launch page, and painting without the skin folder.
#include <unistd.h>
#include <QHeaderView>
#include <QPainter>
#include <QProcess>
#include <QScrollBar>
#include <QTextDocument>
#include <QtTest>

#include "build_config.h"
#include "controls/skin_bitmap.h"
#include "platform/skin_path.h"
#include "tests/controls/test_images.h"
#include "tests/sanitizers/sanitized.h"
#include "window_harness.h"

using namespace orvandel;
using namespace orvandel::test;

namespace {

// A window whose skin images all fail to load, or one fixed image for one path.
class SkinlessWindow : public CKestriTR400DeviceFinderDlg {
public:
    using CKestriTR400DeviceFinderDlg::CKestriTR400DeviceFinderDlg;
    std::u16string replaced_path;
    QImage replacement;

protected:
    QImage LoadSkinImage(const std::u16string& path, QSize) override {
        return path == replaced_path ? replacement : QImage();
    }
};

struct DarkRange {
    int darkest = 255;  // lowest grey value seen
    QRgb darkest_pixel = 0;
    int first_row = -1;
    int last_row = -1;
};

// Pixels clearly darker than the background inside rect.
DarkRange DarkPixels(const QImage& image, const QRect& rect, int threshold = 160) {
    DarkRange r;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int grey = std::max({qRed(p), qGreen(p), qBlue(p)});
            if (grey < r.darkest) {
                r.darkest = grey;
                r.darkest_pixel = p;
            }
            if (grey < threshold) {
                if (r.first_row < 0)
                    r.first_row = y;
                r.last_row = y;
            }
        }
    }
    return r;
}

QRgb Rgb(int r, int g, int b) {
    return qRgb(r, g, b);
}

void CheckBands(const QImage& image) {
    QCOMPARE(image.pixel(300, 58), Rgb(32, 32, 32));    // header bar
    QCOMPARE(image.pixel(300, 63), Rgb(242, 121, 0));   // accent line
    QCOMPARE(image.pixel(3, 100), Rgb(230, 230, 230));  // intro band
    QCOMPARE(image.pixel(3, 300), Rgb(255, 255, 255));  // content area
    QCOMPARE(image.pixel(150, 455), Rgb(25, 25, 25));   // footer bar
}

// The icon as it should look on the intro band at (17, 77).
QImage ExpectedIcon(const std::u16string& path) {
    QImage expected(41, 41, QImage::Format_ARGB32_Premultiplied);
    expected.fill(QColor(230, 230, 230));
    QPainter p(&expected);
    p.drawImage(QPoint(0, 0), LoadSkinBitmap(path, QSize(41, 41)), QRect(0, 0, 41, 41));
    return expected.convertToFormat(QImage::Format_RGB32);
}

// Where a child run of this test writes (and reads) its files; empty in a normal run.
QString ChildFolder() {
    return qEnvironmentVariable("ORVANDEL_CHILD_FOLDER");
}

// Runs one function of this test in a child process with `folder` as its folder.
// `wrap` is put before the command (for a private mount namespace).
bool RunChild(const QString& function, const QString& folder, QStringList wrap = {}) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ORVANDEL_CHILD_FOLDER", folder);
    env.remove("ORVANDEL_SOURCE_RESOURCES");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    const QStringList command =
        wrap + QStringList{QCoreApplication::applicationFilePath(), function};
    child.start(command.first(), command.mid(1));
    return child.waitForFinished(60000) && child.exitStatus() == QProcess::NormalExit &&
           child.exitCode() == 0;
}

using orvandel::test::kSanitized;

QImage IconArea(CKestriTR400DeviceFinderDlg& window) {
    return window.RenderClientArea().copy(17, 77, 41, 41).convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class FinderPaintTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_cwd.isValid());
        QVERIFY(QDir::setCurrent(m_cwd.path()));
    }

    void headerIconFollowsTheFlags_data() {
        QTest::addColumn<QString>("page");
        QTest::newRow("no internet") << "no internet";
        QTest::newRow("no internet after results") << "no internet after results";
        QTest::newRow("not found") << "not found";
        QTest::newRow("searching") << "searching";
        QTest::newRow("results") << "results";
    }
    void headerIconFollowsTheFlags() {
        QFETCH(QString, page);
        WindowHarness h;
        if (page.contains("results")) {
            h.SetDevices({MakeDevice(u"A", u"TR400", u"10.0.0.2", u"aa:00:00:00:00:01")});
        }
        QVERIFY(h.OpenReady());
        const UiStrings& u = h.window->Strings();
        if (page == "no internet after results") {
            h.ClickSearch();
            h.ClickSearch();
            QVERIFY(h.window->HasResults());
        }
        if (page.startsWith("no internet"))
            *h.network = false;
        h.ClickSearch();
        if (page == "not found" || page == "results")
            h.ClickSearch();
        CheckBands(h.window->RenderClientArea());

        const QImage actual = IconArea(*h.window);
        if (page.startsWith("no internet")) {
            QCOMPARE(actual, ExpectedIcon(u.ErrorIcon.path));
        } else if (page == "not found") {
            QCOMPARE(actual, ExpectedIcon(u.WarningIcon.path));
        } else if (page == "results") {
            QCOMPARE(actual, ExpectedIcon(u.OkIcon.path));
        } else {
            QTRY_VERIFY(h.engine->ticks > 1);
            const QImage shown = IconArea(*h.window);
            bool any_frame = false;
            for (int i = 0; i < u.IndicatorFrameCount; ++i) {
                any_frame |= shown == ExpectedIcon(u.SearchIndicator[i].path);
            }
            if (!any_frame)
                shown.save("searching-frame.png");
            QVERIFY(any_frame);
        }
    }

    void textColours() {
        WindowHarness h;
        QVERIFY(h.OpenReady());
        const QImage image = h.window->RenderClientArea();
        // Black is darker than the title colour can ever be: the headline is black.
        const DarkRange headline = DarkPixels(image, QRect(QPoint(70, 75), QPoint(308, 127)));
        QCOMPARE(headline.darkest, 0);
        const DarkRange title = DarkPixels(image, QRect(QPoint(12, 143), QPoint(308, 160)));
        QCOMPARE(title.darkest_pixel, Rgb(30, 30, 30));
        const DarkRange body = DarkPixels(image, QRect(QPoint(12, 163), QPoint(308, 211)));
        QVERIFY(body.darkest >= 30 && body.darkest < 120);
        QCOMPARE(qRed(body.darkest_pixel), qBlue(body.darkest_pixel));
    }

    void titleWrapsOrStaysOnOneLine_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("wraps");
        QTest::newRow("English") << kCmdEnglish << true;
        QTest::newRow("Japanese") << kCmdJapanese << true;
        QTest::newRow("Simplified Chinese") << kCmdSimplifiedChinese << false;
        QTest::newRow("Traditional Chinese") << kCmdTraditionalChinese << false;
    }
    void titleWrapsOrStaysOnOneLine() {
        // The no-internet title line is longer than its 284-pixel width in every
        // language; the Chinese rectangle is one line high.
        QFETCH(int, command);
        QFETCH(bool, wraps);
        WindowHarness h;
        QVERIFY(h.OpenReady());
        h.window->OnLanguage(command);
        *h.network = false;
        h.ClickSearch();
        const WinRect r = h.window->Slots().title_rect;
        const QImage image = h.window->RenderClientArea();
        const DarkRange title = DarkPixels(image, QRect(0, 140, 320, 70));
        QVERIFY(title.first_row >= r.top);
        if (wraps) {
            QVERIFY2(title.last_row > r.top + 20, "title did not wrap to a second line");
        } else {
            QVERIFY(title.last_row <= r.bottom + 3);
            const double middle = (title.first_row + title.last_row) / 2.0;
            QVERIFY(std::abs(middle - (r.top + r.bottom) / 2.0) <= 4.0);
        }
    }

    void resultHeadlineIsNotClippedByItsBottom() {
        WindowHarness h;
        h.SetDevices({MakeDevice(u"A", u"TR400", u"10.0.0.2", u"aa:00:00:00:00:01")});
        QVERIFY(h.OpenReady());
        h.ClickSearch();
        h.ClickSearch();
        QCOMPARE(h.window->Slots().headline_rect, (WinRect{68, 90, 296, 58}));
        const QImage image = h.window->RenderClientArea();
        const DarkRange text = DarkPixels(image, QRect(QPoint(68, 66), QPoint(319, 129)));
        // Drawn from the top edge although the bottom edge lies above it, and wrapped
        // within 228 pixels.
        QVERIFY(text.first_row >= 90 && text.first_row < 100);
        QVERIFY(DarkPixels(image, QRect(QPoint(297, 66), QPoint(319, 129))).first_row < 0);
    }

    void launchPageDrawsNoText() {
        WindowHarness h;
        h.Open(5000);  // frozen at its first step: launch image fully transparent
        const QImage image = h.window->RenderClientArea();
        const DarkRange above = DarkPixels(image, QRect(0, 0, 320, 320), 255);
        QCOMPARE(above.first_row, -1);
        QCOMPARE(image.pixel(300, 455), Rgb(25, 25, 25));
        QCOMPARE(image.pixel(3, 100), Rgb(255, 255, 255));  // no intro band yet
    }

    void withoutSkinImagesBandsAndTextsRemain() {
        WindowHarness h;
        SkinlessWindow window(
            std::make_unique<FakeEngine>(h.engine), [] { return true; }, h.SettingsPath(), 0);
        window.show();
        QTRY_VERIFY(window.LaunchDone());
        const QImage image = window.RenderClientArea();
        CheckBands(image);
        QCOMPARE(image.pixel(30, 30), Rgb(32, 32, 32));  // no app icon
        QVERIFY(DarkPixels(image, QRect(12, 75, 296, 50)).first_row >= 0);
        QVERIFY(DarkPixels(image, QRect(12, 143, 296, 17)).first_row >= 0);
        QVERIFY(DarkPixels(image, QRect(12, 163, 296, 48)).first_row >= 0);
    }

    void largeImageIsCutNotScaled() {
        WindowHarness h;
        SkinlessWindow window(
            std::make_unique<FakeEngine>(h.engine), [] { return true; }, h.SettingsPath(), 0);
        window.replaced_path = window.Strings().Step1Diagram.path;
        window.replacement = QImage(400, 400, QImage::Format_ARGB32_Premultiplied);
        window.replacement.fill(Qt::red);
        window.show();
        QTRY_VERIFY(window.LaunchDone());
        const QImage image = window.RenderClientArea();
        const QRgb red = qRgb(255, 0, 0);
        QCOMPARE(image.pixel(28, 214), red);
        QCOMPARE(image.pixel(291, 383), red);
        QVERIFY(image.pixel(292, 300) != red);
        QVERIFY(image.pixel(27, 300) != red);
        QVERIFY(image.pixel(100, 384) != red);
    }

    // Six rows overflow the 270-pixel list: the text column makes room for the bar.
    void sixDevicesFitBesideTheBar() {
        WindowHarness h;
        std::vector<DeviceInfo> devices;
        for (int i = 0; i < 6; ++i) {
            const std::u16string n = QString::number(i + 10).toStdU16String();
            devices.push_back(MakeDevice(u"Device " + n, i % 2 ? u"TR400" : u"TR9100",
                                         u"192.168.1." + n, u"0c:1a:2b:3c:4d:" + n));
        }
        h.SetDevices(devices);
        QVERIFY(h.OpenReady());
        h.ClickSearch();
        h.ClickSearch();
        CScrollBarList* list = h.DeviceList();
        QCOMPARE(list->ItemCount(), 6);
        QTRY_VERIFY(list->verticalScrollBar()->isVisible());
        QVERIFY(!list->horizontalScrollBar()->isVisible());
        QVERIFY(list->header()->length() <= list->viewport()->width());
        QCOMPARE(list->header()->sectionSize(1), 320 - 72 - 13);
        QCOMPARE(list->verticalScrollBar(), list->VerticalSkinBar());
        const QImage grab = h.window->grab().toImage();
        if (const QString out = qEnvironmentVariable("ORVANDEL_GRAB_DIR"); !out.isEmpty())
            grab.save(QDir(out).filePath("en-results-6.png"));
        // The list's last pixel row shows rows, not the white strip of a sideways bar.
        const int bottom = list->geometry().bottom();
        int white = 0;
        for (int x = 0; x < 300; ++x)
            white += grab.pixel(x, bottom) == qRgb(255, 255, 255);
        QVERIFY2(white < 300, "a blank strip at the bottom of the list");
    }

    // The selected row's highlight reaches the list's right edge, past the end of
    // its text column.
    void rowHighlightSpansTheList() {
        WindowHarness h;
        h.SetDevices({MakeDevice(u"Den", u"TR400", u"192.168.1.10", u"0c:1a:2b:3c:4d:10")});
        QVERIFY(h.OpenReady());
        h.ClickSearch();
        h.ClickSearch();
        CScrollBarList* list = h.DeviceList();
        list->setCurrentItem(list->topLevelItem(0));
        QWidget* viewport = list->viewport();
        const QRect row = list->visualItemRect(list->topLevelItem(0));
        QVERIFY(list->header()->length() < viewport->width());  // the column stops short
        const QImage image = viewport->grab().toImage();
        const QColor inside = image.pixelColor(list->header()->length() - 10, row.top() + 1);
        QVERIFY(inside != QColor(Qt::white));
        for (int x = list->header()->length(); x < image.width(); ++x)
            QCOMPARE(image.pixelColor(x, row.top() + 1), inside);
    }

    // The search button draws its three captions at one size: the ink of each
    // (a capital or a tall sign over a descender) is as tall as the others'.
    void oneCaptionSizeOnTheSearchButton_data() {
        QTest::addColumn<int>("command");
        QTest::newRow("English") << kCmdEnglish;
        QTest::newRow("Japanese") << kCmdJapanese;
        QTest::newRow("Simplified Chinese") << kCmdSimplifiedChinese;
    }
    void oneCaptionSizeOnTheSearchButton() {
        QFETCH(int, command);
        WindowHarness h;
        h.SetDuration(60000);
        QVERIFY(h.OpenReady());
        h.window->OnLanguage(command);
        CButtonOperate* search = h.Button("searchButton");
        auto ink_height = [&] {
            const QImage image = search->grab().toImage();
            int top = image.height(), bottom = -1;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (qMin(qMin(qRed(image.pixel(x, y)), qGreen(image.pixel(x, y))),
                             qBlue(image.pixel(x, y))) > 235) {
                        top = std::min(top, y);
                        bottom = std::max(bottom, y);
                    }
            return bottom - top + 1;
        };
        QList<int> heights, sizes;
        for (int page = 0; page < 3; ++page) {
            if (page > 0)
                h.ClickSearch();  // Stop, then Search Again
            heights << ink_height();
            sizes << search->CaptionFontNow().pixelSize();
        }
        QVERIFY2(
            heights[0] == heights[1] && heights[2] == heights[1],
            qPrintable(QStringLiteral("%1 %2 %3").arg(heights[0]).arg(heights[1]).arg(heights[2])));
        QCOMPARE(sizes[0], sizes[1]);
        QCOMPARE(sizes[2], sizes[1]);
    }

    // One device of each verdict: the badge covers the icon corner of every row but
    // the ok ones, and the tooltips name the addresses in the current language.
    void rowsWhosePageMayNotOpenShowBadgeAndTooltip() {
        const AdapterAddress eth0{"eth0", "10.77.0.1", 24};
        const std::vector<DeviceInfo> devices = {
            MakeDevice(u"Ok", u"TR400", u"10.77.0.20", u"0c:1a:2b:3c:4d:01"),
            MakeDevice(u"Other", u"TR400", u"192.168.0.57", u"0c:1a:2b:3c:4d:02"),
            MakeDevice(u"Fallback", u"TR400", u"169.254.12.34", u"0c:1a:2b:3c:4d:03"),
            MakeDevice(u"Twins", u"TR400", u"10.77.0.30", u"0c:1a:2b:3c:4d:05"),
            MakeDevice(u"Mine", u"TR400", u"10.77.0.1", u"0c:1a:2b:3c:4d:06"),
            MakeDevice(u"Also ok", u"TR400", u"10.77.0.21", u"0c:1a:2b:3c:4d:07")};
        std::vector<DeviceReply> replies;
        for (const DeviceInfo& d : devices)
            replies.push_back({d, {eth0}, ""});
        replies.push_back(
            {MakeDevice(u"Twin", u"TR400", u"10.77.0.30", u"0c:1a:2b:3c:4d:04"), {eth0}, ""});
        WindowHarness h;
        h.SetDevices(devices);
        {
            std::lock_guard lock(h.engine->lock);
            h.engine->verdicts.clear();
            for (const DeviceInfo& device : devices) {
                h.engine->verdicts.push_back(JudgeReachability(device.ip, replies, {"10.77.0.1"}));
            }
        }
        QVERIFY(h.OpenReady());
        h.ClickSearch();
        h.ClickSearch();
        auto* list = h.window->findChild<CScrollBarList*>("deviceList");
        QVERIFY(list != nullptr);
        QCOMPARE(list->ItemCount(), 6);
        list->clearSelection();
        list->setCurrentIndex({});
        QCoreApplication::processEvents();
        const QImage grab = h.window->grab().toImage();
        if (const QString out = qEnvironmentVariable("ORVANDEL_GRAB_DIR"); !out.isEmpty())
            grab.save(QDir(out).filePath("en-results-reachability.png"));

        // The badge area (16 x 16 at 46, 26 of the 68 x 44 icon) of each row, the
        // row scrolled into view, against the same area of the first ok row.
        auto badge_area = [&](int row) {
            const QModelIndex index = list->model()->index(row, 0);
            list->scrollTo(index);
            QCoreApplication::processEvents();
            const QImage image = list->viewport()->grab().toImage();
            const QRect icon = QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, QSize(68, 44),
                                                   list->visualRect(index));
            return image.copy(QRect(icon.topLeft() + QPoint(46, 26), QSize(16, 16)));
        };
        const QImage reference = badge_area(0);
        auto differing = [&](int row) {
            const QImage area = badge_area(row);
            int n = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    n += !Near(reference.pixelColor(x, y), area.pixelColor(x, y), 40);
            return n;
        };
        for (int row = 1; row < 5; ++row)
            QVERIFY2(differing(row) > 40, qPrintable(QString("no badge on row %1").arg(row)));
        QVERIFY2(differing(5) < 4, "a badge on an ok row");

        auto tip = [&](int row) {
            return list->model()->index(row, 1).data(Qt::ToolTipRole).toString();
        };
        // Ok rows carry only their details; a warning comes first, above them.
        const QString warning = QStringLiteral("<p>This device is at");
        QVERIFY(!tip(0).contains(warning));
        QVERIFY(!tip(5).contains(warning));
        QVERIFY(tip(1).startsWith(Qt::convertFromPlainText(
            QStringLiteral("This device is at 192.168.0.57, but this computer is on "
                           "10.77.0.0/24 (eth0). Its page will not open until both are on the "
                           "same network: give this computer an address in the device's network "
                           "for a moment, or reset the device's network settings."),
            Qt::WhiteSpaceNormal)));
        QVERIFY(tip(2).contains(QStringLiteral("169.254.12.34, an address it chose itself")));
        QVERIFY(tip(3).contains(QStringLiteral("2 devices use the address 10.77.0.30")));
        QVERIFY(tip(4).contains(QStringLiteral("10.77.0.1, which is this computer's own")));

        // The texts follow a language switch; count and clicks are untouched.
        h.window->OnLanguage(kCmdJapanese);
        QVERIFY(tip(1).contains(QStringLiteral("このデバイスのアドレスは 192.168.0.57 ですが")));
        QVERIFY(tip(1).contains(QStringLiteral("10.77.0.0/24（eth0）")));
        QVERIFY(tip(3).contains(QStringLiteral("2 台のデバイスが同じアドレス 10.77.0.30")));
        QCOMPARE(list->ItemCount(), 6);
        h.window->OnLanguage(kCmdEnglish);
        QVERIFY(tip(1).startsWith(QStringLiteral("<p>This device is at 192.168.0.57")));
    }

    // With no skin reachable at all (working folder, data folder and source tree),
    // the search button's caption still shows whole in the button. Runs in a private
    // mount namespace that hides the data folder and the source tree's resources.
    void noSkinShowsCaptionsWhole() {
        if (::geteuid() != 0)
            QSKIP("hiding the source tree needs a mount namespace (root)");
        QTemporaryDir folder;
        const QString hide =
            "mount --make-rprivate / && { [ ! -d \"$1\" ] || mount -t tmpfs none \"$1\"; } && "
            "{ [ ! -d \"$2\" ] || mount -t tmpfs none \"$2\"; } && shift 2 && exec \"$@\"";
        const QString sources =
            QString::fromStdString(orvandel::BuildTreeSourceResources(
                                       QCoreApplication::applicationFilePath().toStdString())
                                       .string());
        QVERIFY(RunChild("noSkinChild", folder.path(),
                         {"unshare", "-m", "sh", "-c", hide, "sh", sources, ORVANDEL_DATA_DIR}));
        if (const QString out = qEnvironmentVariable("ORVANDEL_GRAB_DIR"); !out.isEmpty())
            QImage(QDir(folder.path()).filePath("step1.png"))
                .save(QDir(out).filePath("en-step1-noskin.png"));
    }
    void noSkinChild() {
        if (ChildFolder().isEmpty())
            QSKIP("runs as a child of noSkinShowsCaptionsWhole");
        QVERIFY(QDir::setCurrent(ChildFolder()));
        WindowHarness h;
        QVERIFY(h.OpenReady());
        QVERIFY(ResolveSkinPath(h.window->Strings().AppIcon.path).empty());
        QVERIFY(ResolveSkinPath(h.window->Strings().SearchButton.normal().path).empty());
        const QImage grab = h.window->grab().toImage();
        grab.save("step1.png");
        CheckBands(grab);
        // The caption's white ink lies inside the button, off its edges, centred.
        const QRect button = h.Button("searchButton")->geometry();
        QRect ink;
        for (int y = 410; y < 460; ++y) {
            for (int x = 100; x < 320; ++x) {
                if (qGray(grab.pixel(x, y)) > 160)
                    ink |= QRect(x, y, 1, 1);
            }
        }
        QVERIFY(ink.width() > 30);
        QVERIFY(button.adjusted(1, 1, -1, -1).contains(ink));
        QVERIFY(qAbs(ink.center().x() - button.center().x()) <= 2);
        QVERIFY(qAbs(ink.center().y() - button.center().y()) <= 3);
    }

    // Device icons that declare a huge picture or are cut short: no rows, as for a
    // missing file, and little memory for 50 devices.
    void brokenIconsStayCheap() {
        if (kSanitized)
            QSKIP("sanitizers change the memory figures");
        test::ImageFolder images;
        QVERIFY(QDir(images.Dir()).mkpath("img"));
        images.Declared("img/finder_win_icon_device_tr400_normal.png", 5000, 5000);
        QImage icon(68, 44, QImage::Format_ARGB32);
        icon.fill(Qt::red);
        images.Truncated("img/finder_win_icon_device_tr9100_normal.png", icon, 70);
        QVERIFY(RunChild("brokenIconsChild", images.Dir()));
    }
    void brokenIconsChild() {
        if (ChildFolder().isEmpty())
            QSKIP("runs as a child of brokenIconsStayCheap");
        QVERIFY(QDir::setCurrent(ChildFolder()));
        WindowHarness h;
        std::vector<DeviceInfo> devices;
        for (int i = 0; i < 50; ++i) {
            const std::u16string n = QString::number(i + 1).toStdU16String();
            devices.push_back(MakeDevice(u"Device " + n, i % 2 ? u"TR400" : u"TR9100",
                                         u"10.0.0." + n, u"aa:00:00:00:00:" + n));
        }
        h.SetDevices(devices);
        QVERIFY(h.OpenReady());
        h.ClickSearch();
        h.ClickSearch();
        QVERIFY(h.window->HasResults());
        QCOMPARE(h.DeviceList()->ItemCount(), 0);
        h.window->grab();
        // The peak of this program's own memory (getrusage would also count the
        // parent's, from before the exec).
        QFile status("/proc/self/status");
        QVERIFY(status.open(QIODevice::ReadOnly));
        long peak_mb = -1;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                peak_mb = line.mid(6).trimmed().split(' ').first().toLong() / 1024;
        }
        qInfo("peak RSS %ld MB", peak_mb);
        QVERIFY(peak_mb > 0);
        QVERIFY(peak_mb < 60);
    }

private:
    QTemporaryDir m_cwd;
};

QTEST_MAIN(FinderPaintTest)
#include "paint_test.moc"
