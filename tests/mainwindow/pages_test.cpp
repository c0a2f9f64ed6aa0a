// The main window's page machine and language commands on a fake engine.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QTimer>
#include <QtTest>

#include "about/dialog_about.h"
#include "mainwindow/diagnosis_link.h"
#include "window_harness.h"

using namespace orvandel;
using namespace orvandel::test;

Q_DECLARE_METATYPE(WinRect)

namespace {

std::vector<DeviceInfo> TwoDevices() {
    return {MakeDevice(u"Studio A", u"TR9100", u"192.168.1.10", u"aa:bb:cc:dd:ee:01"),
            MakeDevice(u"Kitchen", u"TR400", u"192.168.1.9", u"aa:bb:cc:dd:ee:02")};
}

}  // namespace

// Stays off screen (see WindowHarness::paint).
struct LogicHarness : WindowHarness {
    LogicHarness() { paint = false; }
};

class FinderPagesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The About dialog keeps its own settings file in the working directory.
        QVERIFY(m_cwd.isValid());
        QVERIFY(QDir::setCurrent(m_cwd.path()));
    }

    void launchShowsButtonsOnlyAtTheEnd() {
        LogicHarness h;
        h.Open(40);
        QVERIFY(!h.window->LaunchDone());
        for (auto* b : {h.Button("settingButton"), h.Button("nextButton"),
                        h.Button("previousButton"), h.Button("searchButton")}) {
            QVERIFY(!h.Visible(b));
        }
        QTRY_VERIFY_WITH_TIMEOUT(h.window->LaunchDone(), 5000);
        QVERIFY(h.Visible(h.Button("settingButton")));
        QVERIFY(h.Visible(h.Button("nextButton")) && h.Button("nextButton")->IsShown());
        QVERIFY(h.Visible(h.Button("searchButton")));
        QVERIFY(!h.Visible(h.Button("previousButton")) && !h.Button("previousButton")->IsShown());
        QVERIFY(!h.Visible(h.DeviceList()));

        const PageSlots& s = h.window->Slots();
        const UiStrings& u = h.window->Strings();
        QCOMPARE(Q(s.headline), Q(u.IntroText.text));
        QCOMPARE(Q(s.title), QString("Step 1: Turn Device On"));
        QCOMPARE(s.headline_rect, (WinRect{12, 75, 308, 128}));
        QCOMPARE(s.title_rect, (WinRect{12, 143, 308, 160}));
        QCOMPARE(s.body_rect, (WinRect{12, 163, 308, 211}));
        QCOMPARE(Q(s.dot1), Q(u.PageDot1.focus.path));
        QCOMPARE(Q(s.dot2), Q(u.PageDot2.normal.path));
        QCOMPARE(h.SearchCaption(), QString("Begin Search"));
        QCOMPARE(h.window->StepIndex(), 0);
        QCOMPARE(h.window->windowTitle(), QString("Orvandel"));
        QCOMPARE(h.window->size(), QSize(320, 460));
        // Icons for every size a desktop asks for, from title bars to switchers.
        const QList<QSize> sizes = h.window->windowIcon().availableSizes();
        for (const int side : {16, 24, 32, 48, 64, 128, 256})
            QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
    }

    void launchSteps_data() {
        QTest::addColumn<int>("frame_count");
        QTest::addColumn<int>("step");
        QTest::addColumn<float>("alpha");
        QTest::addColumn<int>("frame");
        QTest::newRow("first") << 12 << 0 << 0.0f << 0;
        QTest::newRow("rising") << 12 << 3 << 0.375f << 3;
        QTest::newRow("almost") << 12 << 7 << 0.875f << 7;
        QTest::newRow("full at step 8") << 12 << 8 << 1.0f << 8;
        QTest::newRow("stays full") << 12 << 11 << 1.0f << 11;
        QTest::newRow("second turn") << 12 << 12 << 1.0f << 0;
        QTest::newRow("last") << 12 << 17 << 1.0f << 5;
    }
    void launchSteps() {
        QFETCH(int, frame_count);
        QFETCH(int, step);
        QFETCH(float, alpha);
        QFETCH(int, frame);
        QCOMPARE(LaunchStepCount(12), 18);
        QCOMPARE(LaunchStepCount(0), 0);
        QCOMPARE(LaunchStepCount(-3), 0);
        QCOMPARE(LaunchStepCount(1), 2);
        QCOMPARE(LaunchStepCount(1 << 30), 18);  // no more frames than the layout holds
        const LaunchStep s = LaunchStepAt(step, frame_count);
        QCOMPARE(s.alpha, alpha);
        QCOMPARE(s.frame, frame);
    }

    void nextAndPrevious() {
        LogicHarness h;
        QVERIFY(h.OpenReady());
        const UiStrings& u = h.window->Strings();
        const std::u16string headline = h.window->Slots().headline;
        h.Click(h.Button("nextButton"));
        QCOMPARE(h.window->StepIndex(), 1);
        QCOMPARE(Q(h.window->Slots().title), Q(u.Step2Title.text));
        QCOMPARE(Q(h.window->Slots().body), Q(u.Step2Text.text));
        QCOMPARE(Q(h.window->Slots().diagram), Q(u.Step2Diagram.path));
        QCOMPARE(Q(h.window->Slots().dot1), Q(u.PageDot1.normal.path));
        QCOMPARE(Q(h.window->Slots().dot2), Q(u.PageDot2.focus.path));
        QCOMPARE(Q(h.window->Slots().headline), Q(headline));
        QVERIFY(!h.Visible(h.Button("nextButton")));
        QVERIFY(h.Visible(h.Button("previousButton")));

        h.Click(h.Button("previousButton"));
        QCOMPARE(h.window->StepIndex(), 0);
        QCOMPARE(Q(h.window->Slots().title), Q(u.Step1Title.text));
        QCOMPARE(Q(h.window->Slots().diagram), Q(u.Step1Diagram.path));
        QVERIFY(h.Visible(h.Button("nextButton")));
        QVERIFY(!h.Visible(h.Button("previousButton")));
    }

    void nextAndPreviousIgnored_data() {
        QTest::addColumn<bool>("network_down");
        QTest::newRow("while searching") << false;
        QTest::newRow("after a failed network check") << true;
    }
    void nextAndPreviousIgnored() {
        QFETCH(bool, network_down);
        LogicHarness h;
        QVERIFY(h.OpenReady());
        *h.network = !network_down;
        h.ClickSearch();
        QCOMPARE(h.window->IsSearching(), !network_down);
        QCOMPARE(h.window->NetworkAlive(), !network_down);
        const PageSlots before = h.window->Slots();
        h.window->OnNext();
        h.window->OnPrevious();
        h.window->OnNext();
        QCOMPARE(h.window->StepIndex(), 0);
        QCOMPARE(Q(h.window->Slots().title), Q(before.title));
        QVERIFY(!h.Visible(h.Button("nextButton")));
        QVERIFY(!h.Visible(h.Button("previousButton")));
    }

    void searchEndsWithResults_data() {
        QTest::addColumn<bool>("by_timer");
        QTest::newRow("time-out") << true;
        QTest::newRow("Stop") << false;
    }
    void searchEndsWithResults() {
        QFETCH(bool, by_timer);
        LogicHarness h;
        h.SetDevices(TwoDevices());
        h.SetDuration(by_timer ? 150 : 60000);
        QVERIFY(h.OpenReady());
        h.ClickSearch();

        // Searching page.
        const UiStrings& u = h.window->Strings();
        QVERIFY(h.window->IsSearching());
        QCOMPARE(Q(h.window->Slots().headline), QString::fromUtf8("Searching …"));
        QCOMPARE(h.window->Slots().headline_rect, (WinRect{68, 90, 308, 128}));
        QVERIFY(h.window->Slots().diagram.empty() && h.window->Slots().dot1.empty());
        QCOMPARE(h.SearchCaption(), QString("Stop"));
        QVERIFY(!h.Visible(h.Button("nextButton")));
        QVERIFY(!h.Visible(h.DeviceList()));
        {
            std::lock_guard lock(h.engine->lock);
            QCOMPARE(h.engine->last_timing.duration_ms, u.SearchDuration);
            QCOMPARE(h.engine->last_timing.interval_ms, u.IndicatorInterval);
            QCOMPARE(h.engine->last_timing.frame_count, u.IndicatorFrameCount);
        }
        QTRY_VERIFY(h.engine->ticks > 2);

        if (!by_timer)
            h.ClickSearch();
        QTRY_VERIFY_WITH_TIMEOUT(!h.window->IsSearching(), 5000);
        QCOMPARE(h.engine->stops.load(), 1);
        QCOMPARE(h.engine->starts.load(), 1);
        QVERIFY(h.window->HasResults());
        QVERIFY(h.window->HasSearched());
        QVERIFY(h.Visible(h.DeviceList()));
        QCOMPARE(h.DeviceList()->ItemCount(), 2);
        QCOMPARE(Q(h.window->Slots().headline), QString("Search results: found 2 devices"));
        QCOMPARE(h.window->Slots().headline_rect, (WinRect{68, 90, 296, 58}));
        QVERIFY(h.window->Slots().title.empty() && h.window->Slots().body.empty());
        QCOMPARE(h.SearchCaption(), QString("Search Again"));
        QVERIFY(!h.Visible(h.Button("nextButton")));
        QVERIFY(!h.Visible(h.Button("previousButton")));
    }

    void notFoundFromStep2ShowsStep1() {
        LogicHarness h;
        QVERIFY(h.OpenReady());
        h.Click(h.Button("nextButton"));
        QCOMPARE(h.window->StepIndex(), 1);
        h.ClickSearch();
        h.ClickSearch();
        QVERIFY(!h.window->IsSearching());
        QVERIFY(!h.window->HasResults());
        QCOMPARE(h.window->StepIndex(), 0);
        const UiStrings& u = h.window->Strings();
        QCOMPARE(Q(h.window->Slots().headline), Q(u.NotFoundTitle.text));
        QCOMPARE(h.window->Slots().headline_rect, (WinRect{68, 82, 308, 128}));
        QCOMPARE(Q(h.window->Slots().title), Q(u.Step1Title.text));
        QCOMPARE(Q(h.window->Slots().body), Q(u.Step1Text.text));
        QCOMPARE(Q(h.window->Slots().diagram), Q(u.Step1Diagram.path));
        QVERIFY(h.Visible(h.Button("nextButton")));
        QVERIFY(!h.Visible(h.Button("previousButton")));
        QCOMPARE(h.SearchCaption(), QString("Search Again"));
        // From here Next works as on the step pages and keeps the headline.
        h.Click(h.Button("nextButton"));
        QCOMPARE(h.window->StepIndex(), 1);
        QCOMPARE(Q(h.window->Slots().headline), Q(u.NotFoundTitle.text));
    }

    // The "Why?" link: on every not-found page, in the current language, in the
    // accessible description, and gone on every other page; without a verdict it
    // says that no cause was found and what was checked. The page's own texts stay
    // as they are.
    void notFoundWhyLinkFollowsTheDiagnosis() {
        LogicHarness h;
        QVERIFY(h.OpenReady());
        auto* why = h.window->findChild<CDiagnosisLink*>(QStringLiteral("diagnosisLink"));
        QVERIFY(why != nullptr);
        // Named before it ever shows, so that a reader never meets an unnamed button.
        QCOMPARE(why->accessibleName(), Q(h.window->Strings().Diagnosis.why_label));
        h.ClickSearch();
        h.ClickSearch();
        QVERIFY(h.Visible(why));  // no verdict: the link all the same
        const QString no_cause = Q(h.window->Strings().DiagnosisNoCause);
        QVERIFY(!no_cause.isEmpty());
        QCOMPARE(why->toolTip(), no_cause);
        QCOMPARE(why->BoxText(),
                 no_cause + QStringLiteral("\n\n") + Q(h.window->Strings().DiagnosisChecked));
        QVERIFY(why->BoxText().contains(QStringLiteral("8888")));
        h.window->OnLanguage(kCmdSimplifiedChinese);
        QCOMPARE(why->toolTip(), QStringLiteral("在这台电脑上没有找到原因。"));
        h.window->OnLanguage(kCmdEnglish);
        const PageSlots plain = h.window->Slots();
        const QString plain_description =
            h.window->accessibleDescription().chopped(no_cause.size() + 1);

        h.SetDiagnosis(SampleVerdicts());
        h.ClickSearch();
        QVERIFY(!h.Visible(why));  // searching
        h.ClickSearch();
        QVERIFY(h.Visible(why));
        const UiStrings& u = h.window->Strings();
        QCOMPARE(why->text(), Q(u.Diagnosis.why_label));
        QCOMPARE(why->geometry(), QRect(104, 420, 98, 30));
        const QString first = QStringLiteral("Another program holds port 8888.");
        QCOMPARE(why->FirstLine(), first);
        QCOMPARE(why->toolTip(), first);
        QCOMPARE(why->accessibleDescription(), first);
        QCOMPARE(h.window->accessibleDescription(), plain_description + u'\n' + first);
        QCOMPARE(Q(h.window->Slots().headline), Q(plain.headline));
        QCOMPARE(Q(h.window->Slots().title), Q(plain.title));
        QCOMPARE(Q(h.window->Slots().body), Q(plain.body));
        QCOMPARE(h.window->Slots().headline_rect, plain.headline_rect);
        // Every verdict, summary and fix, with its values.
        const QString box = why->BoxText();
        QVERIFY2(box.contains(QStringLiteral("other-finder (process 4242)")), qPrintable(box));
        QVERIFY2(box.contains(QStringLiteral("net.ipv4.conf.enp3s0.rp_filter = 2")),
                 qPrintable(box));
        QVERIFY2(box.contains(QStringLiteral("cannot tell without administrator rights")),
                 qPrintable(box));
        QCOMPARE(box.count(QStringLiteral("\n\n")), 2);

        // Step 2 keeps the not-found page, and the link.
        h.Click(h.Button("nextButton"));
        QVERIFY(h.Visible(why));
        h.window->OnLanguage(kCmdJapanese);
        QVERIFY(h.Visible(why));
        QCOMPARE(why->text(), QStringLiteral("原因は？"));
        QCOMPARE(why->toolTip(), Q(h.window->Strings().Diagnosis.line[3]));
        QVERIFY(h.window->accessibleDescription().endsWith(why->toolTip()));
        QVERIFY(why->BoxText().contains(QStringLiteral("other-finder")));
        h.window->OnLanguage(kCmdEnglish);
        QCOMPARE(why->toolTip(), first);

        // Results and the no-internet page have no link.
        h.SetDevices(TwoDevices());
        h.ClickSearch();
        h.ClickSearch();
        QVERIFY(h.window->HasResults());
        QVERIFY(!h.Visible(why));
        QVERIFY(!h.window->accessibleDescription().contains(first));
        h.SetDevices({});
        h.ClickSearch();
        h.ClickSearch();
        QVERIFY(h.Visible(why));
        *h.network = false;
        h.ClickSearch();
        QVERIFY(!h.Visible(why));
    }

    void noInternetPageThenSearchAgain() {
        LogicHarness h;
        QVERIFY(h.OpenReady());
        h.Click(h.Button("nextButton"));
        *h.network = false;
        h.ClickSearch();
        const UiStrings& u = h.window->Strings();
        QVERIFY(!h.window->NetworkAlive());
        QVERIFY(!h.window->IsSearching());
        QCOMPARE(h.engine->starts.load(), 0);
        QCOMPARE(Q(h.window->Slots().headline), QString("No internet connection"));
        QCOMPARE(h.window->Slots().headline_rect, (WinRect{68, 90, 308, 128}));
        QCOMPARE(h.window->Slots().title_rect, (WinRect{12, 143, 296, 177}));
        QCOMPARE(Q(h.window->Slots().diagram), Q(u.InternetDiagram.path));
        QVERIFY(h.window->Slots().dot1.empty() && h.window->Slots().dot2.empty());
        QVERIFY(!h.Visible(h.Button("nextButton")));
        QVERIFY(!h.Visible(h.Button("previousButton")));
        QCOMPARE(h.SearchCaption(), QString("Begin Search"));
        QCOMPARE(h.window->StepIndex(), 1);

        *h.network = true;
        h.ClickSearch();
        QVERIFY(h.window->IsSearching());
        QCOMPARE(h.engine->starts.load(), 1);
    }

    void noInternetDuringSearchAbandonsIt() {
        LogicHarness h;
        h.SetDevices(TwoDevices());
        QVERIFY(h.OpenReady());
        h.ClickSearch();
        const std::uint64_t first = h.window->SearchGeneration();
        *h.network = false;
        h.ClickSearch();
        QVERIFY(!h.window->IsSearching());
        QCOMPARE(h.engine->abandons.load(), 1);
        QCOMPARE(h.engine->stops.load(), 0);
        QVERIFY(!h.engine->timer_running);

        *h.network = true;
        h.ClickSearch();
        QVERIFY(h.window->SearchGeneration() != first);
        // A time-out of the abandoned search must not end the new one.
        QVERIFY(h.ReplayTimeout(first));
        QTest::qWait(20);
        QVERIFY(h.window->IsSearching());
        // While the new search's own time-out, delivered the same way, does.
        QVERIFY(h.ReplayTimeout(h.window->SearchGeneration()));
        QTRY_VERIFY_WITH_TIMEOUT(!h.window->IsSearching(), 2000);
    }

    void staleTimeoutStartsNothing() {
        LogicHarness h;
        h.SetDevices(TwoDevices());
        QVERIFY(h.OpenReady());
        h.ClickSearch();
        const std::uint64_t generation = h.window->SearchGeneration();
        h.ClickSearch();  // Stop
        QVERIFY(h.window->HasResults());
        QVERIFY(h.ReplayTimeout(generation));
        QTest::qWait(20);
        QVERIFY(!h.window->IsSearching());
        QCOMPARE(h.engine->starts.load(), 1);
        QVERIFY(h.Visible(h.DeviceList()));
    }

    void secondSearchHidesListAtOnce() {
        LogicHarness h;
        h.SetDevices(TwoDevices());
        QVERIFY(h.OpenReady());
        h.ClickSearch();
        h.ClickSearch();
        QVERIFY(h.Visible(h.DeviceList()));
        QCOMPARE(h.window->Found().size(), std::size_t(2));
        h.ClickSearch();
        QVERIFY(h.window->IsSearching());
        QVERIFY(!h.Visible(h.DeviceList()));
        QVERIFY(h.window->Found().empty());
        h.ClickSearch();
        QVERIFY(h.Visible(h.DeviceList()));
    }

    void closeDuringSearchJoinsTheTimer() {
        LogicHarness h;
        QVERIFY(h.OpenReady());
        h.ClickSearch();
        QTRY_VERIFY(h.engine->ticks > 0);
        QVERIFY(h.engine->timer_running);
        h.window->show();  // a hidden dialog ignores Esc
        QTest::keyClick(h.window.get(), Qt::Key_Escape);
        QVERIFY(!h.window->isVisible());
        QVERIFY(!h.engine->timer_running);
        QCOMPARE(h.engine->stops.load(), 1);
        h.window.reset();
        QVERIFY(!h.engine->engine_alive);
        QTest::qWait(20);  // queued repaints of the gone window must be dropped
    }

    void closeDuringLaunchStopsTheAnimation() {
        LogicHarness h;
        h.Open(200);
        QTest::qWait(50);
        QElapsedTimer timer;
        timer.start();
        h.window->close();
        h.window.reset();
        QVERIFY2(timer.elapsed() < 150, "closing waited for the whole animation step");
        QTest::qWait(20);
    }

    // --- Language commands ---------------------------------------------------------

    void japaneseOnStep2KeepsStep2() {
        LogicHarness h;
        QVERIFY(h.OpenReady());
        h.Click(h.Button("nextButton"));
        h.window->OnLanguage(kCmdJapanese);
        const UiStrings& u = h.window->Strings();
        QCOMPARE(u.Language(), kJapanese);
        QCOMPARE(h.window->StepIndex(), 1);
        QCOMPARE(Q(h.window->Slots().title),
                 QString::fromUtf8("ステップ2: ネットワークの状態を確認する"));
        QCOMPARE(Q(h.window->Slots().body), Q(u.Step2Text.text));
        QCOMPARE(Q(h.window->Slots().headline), Q(u.IntroText.text));
        QVERIFY(h.Visible(h.Button("previousButton")));
        QVERIFY(!h.Visible(h.Button("nextButton")));
        QCOMPARE(h.SearchCaption(), QString::fromUtf8("検索開始"));
    }

    void languageOnResultsKeepsListAndCount() {
        LogicHarness h;
        h.SetDevices(TwoDevices());
        QVERIFY(h.OpenReady());
        h.ClickSearch();
        h.ClickSearch();
        QCOMPARE(h.DeviceList()->ItemCount(), 2);
        h.window->OnLanguage(kCmdTraditionalChinese);
        QCOMPARE(Q(h.window->Slots().headline), QString::fromUtf8("搜尋結果：共找到2臺裝置"));
        QCOMPARE(h.window->Slots().headline_rect, (WinRect{68, 90, 296, 58}));
        QVERIFY(h.window->Slots().title.empty());
        QCOMPARE(h.DeviceList()->ItemCount(), 2);
        QVERIFY(h.Visible(h.DeviceList()));
        QVERIFY(h.window->HasResults());
        QVERIFY(!h.Visible(h.Button("nextButton")));
        QVERIFY(!h.Visible(h.Button("previousButton")));
        QCOMPARE(h.SearchCaption(), QString::fromUtf8("重新搜尋"));
        h.window->OnLanguage(kCmdJapanese);
        QCOMPARE(h.window->Slots().headline_rect, (WinRect{68, 82, 296, 58}));
    }

    void languageDuringSearchLeavesSearchRunning() {
        LogicHarness h;
        h.SetDevices(TwoDevices());
        h.SetDuration(300);
        QVERIFY(h.OpenReady());
        h.ClickSearch();
        h.window->OnLanguage(kCmdSimplifiedChinese);
        QVERIFY(h.window->IsSearching());
        QCOMPARE(Q(h.window->Slots().headline), QString::fromUtf8("搜寻中…"));
        QCOMPARE(h.window->Slots().headline_rect, (WinRect{68, 90, 364, 128}));
        QCOMPARE(h.SearchCaption(), QString::fromUtf8("停止"));
        QVERIFY(!h.Visible(h.Button("nextButton")));
        QTRY_VERIFY_WITH_TIMEOUT(!h.window->IsSearching(), 5000);
        QCOMPARE(h.engine->starts.load(), 1);
        QCOMPARE(Q(h.window->Slots().headline), QString::fromUtf8("搜寻结果：共找到2台装置"));
    }

    void languageOnNoInternetPage() {
        LogicHarness h;
        QVERIFY(h.OpenReady());
        *h.network = false;
        h.ClickSearch();
        h.window->OnLanguage(kCmdEnglish);
        QCOMPARE(Q(h.window->Slots().headline), QString("No internet connection"));
        QCOMPARE(h.SearchCaption(), QString("Search Again"));
        QVERIFY(!h.Visible(h.Button("nextButton")));
        QVERIFY(!h.Visible(h.Button("previousButton")));
        // Network back, nothing found: the not-found page shows step 1.
        *h.network = true;
        h.ClickSearch();
        h.ClickSearch();
        QCOMPARE(Q(h.window->Slots().headline), Q(h.window->Strings().NotFoundTitle.text));
        QCOMPARE(Q(h.window->Slots().title), Q(h.window->Strings().Step1Title.text));
        QVERIFY(h.Visible(h.Button("nextButton")));
    }

    void menuEntriesOrderAndIds_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("submenu");
        QTest::addColumn<QString>("about");
        QTest::addColumn<QString>("tooltip");  // the setting button's
        QTest::newRow("English") << kCmdEnglish << "Language"
                                 << "About Orvandel"
                                 << "Language and About";
        QTest::newRow("Simplified Chinese")
            << kCmdSimplifiedChinese << QString::fromUtf8("变更语言")
            << QString::fromUtf8("关于 Orvandel") << QString::fromUtf8("语言和关于");
        QTest::newRow("Traditional Chinese")
            << kCmdTraditionalChinese << QString::fromUtf8("變更語言")
            << QString::fromUtf8("關於 Orvandel") << QString::fromUtf8("語言與關於");
        QTest::newRow("Japanese") << kCmdJapanese << QString::fromUtf8("言語")
                                  << QString::fromUtf8("Orvandel について")
                                  << QString::fromUtf8("言語とバージョン情報");
    }
    void menuEntriesOrderAndIds() {
        QFETCH(int, command);
        QFETCH(QString, submenu);
        QFETCH(QString, about);
        QFETCH(QString, tooltip);
        LogicHarness h;
        QVERIFY(h.OpenReady());
        h.window->OnLanguage(command);
        QCOMPARE(h.Button("settingButton")->toolTip(), tooltip);

        QStringList top_texts, language_texts;
        QList<int> ids;
        bool checked_or_grey = false;
        QPoint menu_pos;
        QTimer::singleShot(50, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            menu_pos = menu->pos();
            for (QAction* a : menu->actions()) {
                top_texts << a->text();
                checked_or_grey |= a->isChecked() || !a->isEnabled();
                if (a->menu()) {
                    for (QAction* l : a->menu()->actions()) {
                        language_texts << l->text();
                        ids << l->data().toInt();
                        checked_or_grey |= l->isChecked() || !l->isEnabled();
                    }
                } else {
                    ids << a->data().toInt();
                }
            }
            menu->close();
        });
        // The pointer elsewhere: the menu goes to the click on the button (Wayland
        // tells no pointer position), which under X11 is where the pointer is.
        QCursor::setPos(QPoint(400, 300));
        h.Click(h.Button("settingButton"));
        QCOMPARE(top_texts, (QStringList{submenu, about}));
        QCOMPARE(language_texts,
                 (QStringList{"English", QString::fromUtf8("简体中文"),
                              QString::fromUtf8("繁體中文"), QString::fromUtf8("日本語")}));
        QCOMPARE(ids, (QList<int>{32797, 32798, 32799, 32800, 32801}));
        QCOMPARE(menu_pos, h.Button("settingButton")->mapToGlobal(QPoint(2, 2)));
        QVERIFY(!checked_or_grey);
    }

    void menuChoiceSwitchesLanguageAndSettingsFile() {
        LogicHarness h;
        QVERIFY(h.OpenReady());
        QTimer::singleShot(50, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            QAction* japanese = menu->actions().at(0)->menu()->actions().at(3);
            japanese->trigger();
            menu->close();
        });
        h.Click(h.Button("settingButton"));
        QTRY_COMPARE(h.window->Strings().Language(), kJapanese);
        QCOMPARE(h.SearchCaption(), QString::fromUtf8("検索開始"));

        QFile file(QString::fromStdString(h.SettingsPath().string()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().trimmed(), QByteArray("LANGUAGE\t17"));
        file.close();

        // The next start opens in Japanese.
        h.window.reset();
        QVERIFY(h.OpenReady());
        QCOMPARE(h.window->Strings().Language(), kJapanese);
        QCOMPARE(Q(h.window->Slots().title),
                 QString::fromUtf8("ステップ1: デバイスの電源を入れる"));
        QCOMPARE(h.SearchCaption(), QString::fromUtf8("検索開始"));
    }

    void aboutOpensInTheWindowLanguage() {
        LogicHarness h;
        QVERIFY(h.OpenReady());
        h.window->OnLanguage(kCmdJapanese);
        bool seen = false;
        LanguageId language = kEnglish;
        QTimer::singleShot(50, [&] {
            auto* about = dynamic_cast<CDialogAbout*>(QApplication::activeModalWidget());
            if (!about)
                return;
            seen = about->parentWidget() == h.window.get();
            language = about->Language();
            about->reject();
        });
        h.window->OnAbout();
        QVERIFY(seen);
        QCOMPARE(language, kJapanese);
        // It shares the window's settings file, not one of the working directory.
        QVERIFY(!QFile::exists(QDir::current().filePath("setting.cfg")));
    }

private:
    QTemporaryDir m_cwd;
};

QTEST_MAIN(FinderPagesTest)
#include "pages_test.moc"
