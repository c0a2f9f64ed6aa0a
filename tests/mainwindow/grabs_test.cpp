// Grabs every page of the window in each language. With ORVANDEL_GRAB_DIR set the
// grabs are written there as PNG files (the README's screenshots come from here).
#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <QtTest>

#include "window_harness.h"

using namespace orvandel;
using namespace orvandel::test;

class FinderGrabsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_cwd.isValid());
        QVERIFY(QDir::setCurrent(m_cwd.path()));
        m_out = qEnvironmentVariable("ORVANDEL_GRAB_DIR");
        if (!m_out.isEmpty())
            QVERIFY(QDir().mkpath(m_out));
    }

    void everyPage_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("tag");
        QTest::newRow("English") << kCmdEnglish << "en";
        QTest::newRow("Simplified Chinese") << kCmdSimplifiedChinese << "zh-hans";
        QTest::newRow("Traditional Chinese") << kCmdTraditionalChinese << "zh-hant";
        QTest::newRow("Japanese") << kCmdJapanese << "ja";
    }
    void everyPage() {
        QFETCH(int, command);
        QFETCH(QString, tag);
        WindowHarness h;
        h.SetDevices({MakeDevice(u"Living Room", u"TR9100", u"192.168.1.10", u"0c:1a:2b:3c:4d:01"),
                      MakeDevice(u"Studio", u"TR400", u"192.168.1.23", u"0c:1a:2b:3c:4d:02"),
                      MakeDevice(u"Kitchen", u"TR9100", u"192.168.1.7", u"0c:1a:2b:3c:4d:03")});
        h.Open(40);
        QTest::qWait(400);
        Save(h, tag, "launch");
        QTRY_VERIFY_WITH_TIMEOUT(h.window->LaunchDone(), 5000);
        h.window->OnLanguage(command);
        Save(h, tag, "step1");
        h.Click(h.Button("nextButton"));
        Save(h, tag, "step2");
        h.ClickSearch();
        QTRY_VERIFY(h.engine->ticks > 3);
        Save(h, tag, "searching");
        h.ClickSearch();
        QVERIFY(h.window->HasResults());
        const QImage results = Save(h, tag, "results");
        h.SetDevices({});
        h.ClickSearch();
        h.ClickSearch();
        Save(h, tag, "notfound");
        // With a diagnosis: the "Why?" link in the footer, and the box it opens.
        h.SetDiagnosis(SampleVerdicts());
        h.ClickSearch();
        h.ClickSearch();
        const QImage why = Save(h, tag, "notfound-why");
        QCOMPARE(why.deviceIndependentSize().toSize(), QSize(320, 460));
        QTest::mouseClick(h.window->findChild<QWidget*>(QStringLiteral("diagnosisLink")),
                          Qt::LeftButton);
        QWidget* box = nullptr;
        QTRY_VERIFY((box = h.window->findChild<QWidget*>(QStringLiteral("diagnosisBox"))) !=
                    nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(box));
        SaveWidget(box, tag, "why-box");
        box->close();
        *h.network = false;
        h.ClickSearch();
        Save(h, tag, "nointernet");
        QCOMPARE(results.deviceIndependentSize().toSize(), QSize(320, 460));

        // The setting menu and its language submenu, as the setting button opens them.
        QStringList entries;
        QTimer::singleShot(50, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            QMenu* languages = menu->actions().at(0)->menu();
            languages->popup(menu->mapToGlobal(QPoint(menu->width(), 0)));
            for (QAction* a : menu->actions())
                entries << a->text();
            for (QAction* a : languages->actions())
                entries << a->text();
            SaveWidget(menu, tag, "menu");
            SaveWidget(languages, tag, "menu-language");
            languages->close();
            menu->close();
        });
        h.window->OnSetting();
        QCOMPARE(entries.size(), 6);
    }

    // The results page with the list below, at and over the bars' threshold, the
    // second row warned (badge and tooltip).
    void resultCounts_data() {
        QTest::addColumn<int>("count");
        QTest::newRow("6 devices") << 6;
        QTest::newRow("7 devices") << 7;
        QTest::newRow("9 devices") << 9;
    }
    void resultCounts() {
        QFETCH(int, count);
        WindowHarness h;
        std::vector<DeviceInfo> devices;
        for (int i = 0; i < count; ++i) {
            const std::u16string n = QString::number(i + 10).toStdU16String();
            devices.push_back(MakeDevice(u"Device " + n, i % 2 ? u"TR400" : u"TR9100",
                                         u"192.168.1." + n, u"0c:1a:2b:3c:4d:" + n));
        }
        h.SetDevices(devices);
        {
            std::lock_guard lock(h.engine->lock);
            h.engine->verdicts.resize(2);
            h.engine->verdicts[1].status = ReachStatus::kConflict;
            h.engine->verdicts[1].conflict_count = 2;
        }
        QVERIFY(h.OpenReady());
        h.ClickSearch();
        h.ClickSearch();
        QVERIFY(h.window->HasResults());
        Save(h, "en", QStringLiteral("results-%1").arg(count));
    }

private:
    void SaveWidget(QWidget* widget, const QString& tag, const QString& what) {
        if (!m_out.isEmpty()) {
            widget->grab().save(QDir(m_out).filePath(tag + "-" + what + ".png"));
        }
    }

    QImage Save(WindowHarness& h, const QString& tag, const QString& page) {
        QCoreApplication::processEvents();
        const QImage image = h.window->grab().toImage();
        if (!m_out.isEmpty())
            image.save(QDir(m_out).filePath(tag + "-" + page + ".png"));
        return image;
    }

    QTemporaryDir m_cwd;
    QString m_out;
};

QTEST_MAIN(FinderGrabsTest)
#include "grabs_test.moc"
