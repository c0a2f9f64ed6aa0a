// The window as a native Wayland client, under the compositor that
// scripts/e2e-wayland.sh starts (skipped on any other platform): the fixed client
// size, step 1 on screen, the setting menu at the click that pressed the button,
// the About box as a modal child, and Esc closing the window.
//
// ORVANDEL_GRAB_DIR: where the grabs go. ORVANDEL_WAYLAND_SHOT: a file this test
// creates once step 1 is shown; it then waits (up to 20 s) for FILE.done, so that
// the script can take the compositor's own screenshot first.
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include "window_harness.h"

using namespace orvandel;
using namespace orvandel::test;

class WaylandWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (QGuiApplication::platformName() != QLatin1String("wayland"))
            QSKIP("needs QT_QPA_PLATFORM=wayland and a compositor (scripts/e2e-wayland.sh)");
        QVERIFY(m_cwd.isValid());
        QVERIFY(QDir::setCurrent(m_cwd.path()));
        m_out = qEnvironmentVariable("ORVANDEL_GRAB_DIR");
        if (!m_out.isEmpty())
            QVERIFY(QDir().mkpath(m_out));
    }

    void stepOneMenuAboutAndEsc() {
        WindowHarness h;
        h.Open(40);  // with the launch animation
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        QTRY_VERIFY_WITH_TIMEOUT(h.window->LaunchDone(), 5000);
        QCOMPARE(h.window->size(), QSize(320, 460));
        QCOMPARE(h.window->windowHandle()->size(), QSize(320, 460));
        QCOMPARE(h.window->minimumSize(), h.window->maximumSize());

        const QImage step1 = h.window->grab().toImage();
        Save(step1, "wayland-step1.png");
        // The header's accent line, as the step 1 page paints it.
        QCOMPARE(step1.pixelColor(160, 63), QColor(242, 121, 0));
        WaitForCompositorShot();

        // The menu opens where the click that pressed the setting button was.
        CButtonOperate* setting = h.Button("settingButton");
        const QPoint click(9, 11);
        QPoint menu_at;
        bool menu_shown = false;
        QTimer::singleShot(0, this, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(QApplication::activePopupWidget() != nullptr, 5000);
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QVERIFY(QTest::qWaitForWindowExposed(menu));
            menu_shown = menu->isVisible();
            menu_at = menu->pos();
            Save(menu->grab().toImage(), "wayland-menu.png");
            menu->close();
        });
        QTest::mouseClick(setting, Qt::LeftButton, {}, click);
        QVERIFY(menu_shown);
        QCOMPARE(menu_at, setting->mapToGlobal(click));

        // The About box: modal, and a child of the main window for the compositor.
        bool about_ok = false;
        QTimer::singleShot(0, this, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() != nullptr, 5000);
            QWidget* about = QApplication::activeModalWidget();
            QVERIFY(about != h.window.get());
            QVERIFY(QTest::qWaitForWindowExposed(about));
            about_ok = about->isModal() && about->parentWidget() == h.window.get() &&
                       about->windowHandle()->transientParent() == h.window->windowHandle();
            Save(about->grab().toImage(), "wayland-about.png");
            about->close();
        });
        h.window->OnAbout();
        QVERIFY(about_ok);

        QTest::keyClick(h.window.get(), Qt::Key_Escape);
        QTRY_VERIFY(!h.window->isVisible());
    }

private:
    void Save(const QImage& image, const QString& name) {
        if (!m_out.isEmpty())
            QVERIFY(image.save(QDir(m_out).filePath(name)));
    }

    void WaitForCompositorShot() {
        const QString marker = qEnvironmentVariable("ORVANDEL_WAYLAND_SHOT");
        if (marker.isEmpty())
            return;
        QFile file(marker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker + ".done"), 20000);
    }

    QTemporaryDir m_cwd;
    QString m_out;
};

QTEST_MAIN(WaylandWindowTest)
#include "wayland_test.moc"
