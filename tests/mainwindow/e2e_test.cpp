// The window as the program builds it (system search engine, system network check)
// inside a network namespace with a simulated TR9100 on a veth link.
#include <QDesktopServices>
#include <QTemporaryDir>
#include <QtTest>

#include "controls/button_operate.h"
#include "controls/scroll_bar_list.h"
#include "controls/skin_bitmap.h"
#include "mainwindow/finder_dialog.h"
#include "tools/devicesim/net_lab.h"

using namespace orvandel;

class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls << url; }
};

class FinderEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void searchListsTheDeviceAndOpensItsPage() {
        const std::string why = sim::NetLab::Unavailable();
        if (!why.empty())
            QSKIP(("SKIPPED: " + why).c_str());
        QTemporaryDir cwd;
        QVERIFY(QDir::setCurrent(cwd.path()));

        sim::NetLab lab;
        std::string error;
        QVERIFY2(lab.Create(1, error), error.c_str());
        const std::string device_ip = sim::NetLab::DeviceAddress(1);
        sim::SimOptions options;
        options.address = device_ip;
        options.replies = {sim::MakeReply("Studio", "TR9100", "0c:1a:2b:3c:4d:5e", device_ip)};
        sim::RunningSim device(lab, 1, options);
        QVERIFY(device.Ready());
        QVERIFY(lab.EnterFinder());

        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("http", &catcher, "open");
        {
            // Not shown: this test also runs under TSan, and Qt paints on a thread
            // pool of its own that TSan cannot follow.
            CKestriTR400DeviceFinderDlg window;
            QTRY_VERIFY_WITH_TIMEOUT(window.LaunchDone(), 5000);
            auto* search = window.findChild<CButtonOperate*>(QStringLiteral("searchButton"));
            QTest::mouseClick(search, Qt::LeftButton, {}, QPoint(5, 5));
            QVERIFY(window.IsSearching());
            QCOMPARE(search->Caption(), QString("Stop"));
            // Ended by the search timer's time-out after five seconds.
            QTRY_VERIFY_WITH_TIMEOUT(!window.IsSearching(), 9000);
            QVERIFY(device.Commands() > 0);

            CScrollBarList* list = window.findChild<CScrollBarList*>(QStringLiteral("deviceList"));
            QVERIFY(window.HasResults());
            QVERIFY(list->isVisibleTo(&window));
            QCOMPARE(list->ItemCount(), 1);
            QCOMPARE(QString::fromStdU16String(window.Slots().headline),
                     QString("Search results: found 1 devices"));
            QTreeWidgetItem* row = list->topLevelItem(0);
            QVERIFY(row->text(1).startsWith("Studio\n"));
            QVERIFY(row->text(1).contains("MAC: 0C:1A:2B:3C:4D:5E"));
            const QImage shown = row->icon(0).pixmap(68, 44).toImage().convertToFormat(
                QImage::Format_ARGB32_Premultiplied);
            const QImage tr9100 =
                LoadSkinBitmap(window.Strings().DeviceIconNormal.at(1).path, QSize(68, 44));
            QVERIFY(!tr9100.isNull());
            QCOMPARE(shown, tr9100);

            const QRect rect = list->visualItemRect(row);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
            QCOMPARE(catcher.urls,
                     (QList<QUrl>{QUrl(QString::fromStdString("http://" + device_ip))}));
        }
        QDesktopServices::unsetUrlHandler("http");
        lab.LeaveFinder();
    }
};

QTEST_MAIN(FinderEndToEndTest)
#include "e2e_test.moc"
