// The window without a mouse and as a screen reader sees it: Tab order, keys on
// the buttons and the device list, the focus ring, the row menu and its copies,
// the row tooltip, and the accessible names, descriptions and events.
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QMenu>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>
#include <cmath>
#include <functional>

#include "about/dialog_about.h"
#include "controls/skin_color.h"
#include "tests/fakes/url_recorder.h"
#include "window_harness.h"

Q_DECLARE_METATYPE(orvandel::DeviceInfo)

using namespace orvandel;
using namespace orvandel::test;

namespace {

// The accessibility events of the running test; Qt delivers them only while
// accessibility is active.
QList<QAccessible::Event>* g_events = nullptr;
void RecordEvent(QAccessibleEvent* event) {
    if (g_events != nullptr && event->object() != nullptr && event->object()->isWidgetType() &&
        static_cast<QWidget*>(event->object())->isWindow())
        g_events->append(event->type());
}

QString AccessibleName(QObject* object) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    return iface != nullptr ? iface->text(QAccessible::Name) : QStringLiteral("<none>");
}

// Runs `check` on the popup menu as soon as it is open, then closes it. Each
// timer holds its own copy of the poller, so nothing refers to itself and leaks.
struct PopupPoller {
    std::function<void(QMenu*)> check;
    void operator()() const {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) {
            QTimer::singleShot(10, *this);
            return;
        }
        check(menu);
        menu->close();
    }
};

void OnNextPopup(std::function<void(QMenu*)> check) {
    QTimer::singleShot(0, PopupPoller{std::move(check)});
}

DeviceInfo FullDevice() {
    DeviceInfo d = MakeDevice(u"Studio A", u"TR9100", u"192.168.1.10", u"aa:bb:cc:dd:ee:01");
    d.sub_model = u"B";
    d.master_version = u"2.4.1";
    d.daily = u"20240301";
    d.uboot_version = u"1.1.0";
    d.dhcp = u"1";
    d.mask = u"255.255.255.0";
    d.gateway = u"192.168.1.1";
    d.dns = u"192.168.1.1";
    return d;
}

// The tooltip as a reader of its markup sees it.
// The tooltip's text as read: the word joiners that hold its labels together are
// invisible.
QString ToolTipPlain(const QString& tip) {
    QTextDocument doc;
    doc.setHtml(tip);
    return doc.toPlainText().replace(QChar::Nbsp, u' ').remove(QChar(0x2060));
}

// WCAG relative luminance and contrast ratio.
double Luminance(const QColor& c) {
    auto lin = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(c.red()) + 0.7152 * lin(c.green()) + 0.0722 * lin(c.blue());
}
double Contrast(const QColor& a, const QColor& b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Whether focus drew a ring round `control` (window pixels, ratio 1): the pixels
// whose colour changed by 3:1 or more reach round it, and every column and row
// crossing that ring meets one of them near each edge. Empty when it did;
// otherwise what is missing.
QString RingFaults(const QImage& before, const QImage& after, const QRect& control) {
    const QRect area = control.adjusted(-6, -6, 6, 6).intersected(after.rect());
    auto strong = [&](int x, int y) {
        return Contrast(before.pixelColor(x, y), after.pixelColor(x, y)) >= 3.0;
    };
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (strong(x, y))
                box |= QRect(x, y, 1, 1);
    if (box.isEmpty())
        return QStringLiteral("no pixel changed by 3:1");
    if (!box.contains(control.adjusted(4, 4, -4, -4)))
        return QStringLiteral("the 3:1 pixels do not surround the control");
    int gaps = 0;
    auto any = [&](int x0, int x1, int y0, int y1) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (strong(x, y))
                    return true;
        return false;
    };
    for (int x = box.left() + 4; x <= box.right() - 4; ++x) {
        gaps += !any(x, x, box.top(), box.top() + 3);
        gaps += !any(x, x, box.bottom() - 3, box.bottom());
    }
    for (int y = box.top() + 4; y <= box.bottom() - 4; ++y) {
        gaps += !any(box.left(), box.left() + 3, y, y);
        gaps += !any(box.right() - 3, box.right(), y, y);
    }
    return gaps == 0 ? QString() : QStringLiteral("%1 gaps in the 3:1 ring").arg(gaps);
}

// Pixels of `accent` on the top and bottom rows of what `w` paints: a drawn focus
// ring covers both rows whole.
int RingPixels(QWidget* w, const QColor& accent) {
    const QImage image = w->grab().toImage();
    int n = 0;
    for (int x = 0; x < image.width(); ++x)
        n += (image.pixelColor(x, 0) == accent) +
             (image.pixelColor(x, image.height() - 1) == accent);
    return n;
}

}  // namespace

class KeyboardTest : public QObject {
    Q_OBJECT

private:
    UrlRecorder m_recorder;
    std::unique_ptr<WindowHarness> m_h;
    QList<QAccessible::Event> m_events;

    CKestriTR400DeviceFinderDlg* W() { return m_h->window.get(); }
    template <typename T>
    T* Child(const char* name) {
        return W()->findChild<T*>(QLatin1String(name));
    }
    CButtonOperate* Button(const char* name) { return Child<CButtonOperate>(name); }
    CScrollBarList* List() { return Child<CScrollBarList>("deviceList"); }

    bool Open() {
        m_h = std::make_unique<WindowHarness>();
        if (!m_h->OpenReady())
            return false;
        // A popup of the previous test may still hold the activation.
        QApplication::setActiveWindow(W());
        return QTest::qWaitForWindowActive(W());
    }
    // Searches with `devices` answering and waits for the results page.
    bool OpenResults(std::vector<DeviceInfo> devices) {
        if (!Open())
            return false;
        m_h->SetDevices(std::move(devices));
        m_h->ClickSearch();
        m_h->ClickSearch();
        return W()->HasResults() && List()->isVisible();
    }
    // Focus arriving by Tab. The window may already have handed the widget the
    // focus on activation (then setFocus is a no-op and no Tab is seen).
    void FocusByTab(QWidget* w) {
        if (w->hasFocus())
            w->clearFocus();
        w->setFocus(Qt::TabFocusReason);
    }
    QTreeWidgetItem* Row(int row) { return List()->topLevelItem(row); }

private slots:
    void initTestCase() {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_recorder, "Open");
        QAccessible::installUpdateHandler(&RecordEvent);
        QAccessible::setActive(true);
        g_events = &m_events;
    }
    void cleanupTestCase() {
        g_events = nullptr;
        QAccessible::installUpdateHandler(nullptr);
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    }
    void init() {
        m_recorder.opened.clear();
        m_events.clear();
    }
    void cleanup() { m_h.reset(); }

    // --- Keyboard ------------------------------------------------------------------

    void tabOrderFollowsThePage_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("step 1") << "step1"
                                << QStringList{"settingButton", "nextButton", "searchButton"};
        QTest::newRow("step 2") << "step2"
                                << QStringList{"settingButton", "previousButton", "searchButton"};
        QTest::newRow("results") << "results"
                                 << QStringList{"settingButton", "deviceList", "searchButton"};
    }
    void tabOrderFollowsThePage() {
        QFETCH(QString, page);
        QFETCH(QStringList, order);
        if (page == "results") {
            QVERIFY(OpenResults({FullDevice()}));
        } else {
            QVERIFY(Open());
            if (page == "step2")
                W()->OnNext();
        }
        FocusByTab(Button("settingButton"));
        QStringList seen{QApplication::focusWidget()->objectName()};
        for (qsizetype i = 1; i < order.size() + 1; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen.append(QApplication::focusWidget()->objectName());
        }
        // Once round, then back to the start.
        QCOMPARE(seen, order + QStringList{order.front()});
    }

    void keysPressTheFocusedButton_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        const std::pair<const char*, int> keys[] = {
            {"Return", Qt::Key_Return}, {"keypad Enter", Qt::Key_Enter}, {"Space", Qt::Key_Space}};
        for (const char* button : {"nextButton", "previousButton", "searchButton"}) {
            for (const auto& [name, key] : keys) {
                const int modifiers = key == Qt::Key_Enter ? int(Qt::KeypadModifier) : 0;
                QTest::addRow("%s, %s", button, name) << button << key << modifiers;
            }
        }
    }
    void keysPressTheFocusedButton() {
        QFETCH(QString, button);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QVERIFY(Open());
        if (button == "previousButton")
            W()->OnNext();
        CButtonOperate* b = Button(button.toLatin1().constData());
        FocusByTab(b);
        QTest::keyClick(b, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        if (button == "nextButton")
            QCOMPARE(W()->StepIndex(), 1);
        else if (button == "previousButton")
            QCOMPARE(W()->StepIndex(), 0);
        else
            QVERIFY(W()->IsSearching());
    }

    void escapeEndsTheWindow_data() {
        QTest::addColumn<QString>("focus");
        QTest::newRow("on a button") << "nextButton";
        QTest::newRow("in the list") << "deviceList";
    }
    void escapeEndsTheWindow() {
        QFETCH(QString, focus);
        QVERIFY(OpenResults({FullDevice()}));
        QWidget* w = W()->findChild<QWidget*>(focus);
        FocusByTab(w);
        QTest::keyClick(w, Qt::Key_Escape);
        QVERIFY(!W()->isVisible());
        QCOMPARE(W()->result(), int(QDialog::Rejected));
    }

    void escapeClosesTheAboutBox() {
        QVERIFY(Open());
        bool seen = false;
        QString ok_name;
        QTimer::singleShot(0, this, [&] {
            QWidget* about = QApplication::activeModalWidget();
            QVERIFY(about != nullptr && about != W());
            seen = true;
            if (auto* ok = about->findChild<CButtonOperate*>("aboutOkButton"))
                ok_name = AccessibleName(ok);
            QTest::keyClick(about, Qt::Key_Escape);
        });
        W()->OnAbout();  // returns once the box has closed
        QVERIFY(seen);
        QCOMPARE(ok_name, Q(W()->Strings().AboutOkButton.normal().label));
        QVERIFY(W()->isVisible());
    }

    void settingMenuOpensUnderItsButtonFromTheKeyboard() {
        QVERIFY(Open());
        CButtonOperate* setting = Button("settingButton");
        FocusByTab(setting);
        QPoint at;
        OnNextPopup([&](QMenu* menu) { at = menu->pos(); });
        QTest::keyClick(setting, Qt::Key_Return);
        QCOMPARE(at, setting->mapToGlobal(QPoint(0, setting->height())));

        // A click after it opens the menu at the click again.
        OnNextPopup([&](QMenu* menu) { at = menu->pos(); });
        m_h->Click(setting);
        QCOMPARE(at, setting->mapToGlobal(QPoint(2, 2)));
    }

    // The not-found page's "Why?" link is flat and borderless: reached by the
    // keyboard it still draws the ring, and it is named before it ever shows.
    void whyLinkIsNamedAndShowsTheRing() {
        QVERIFY(Open());
        auto* why = W()->findChild<QPushButton*>(QStringLiteral("diagnosisLink"));
        QVERIFY(why != nullptr);
        const QString label = QString::fromStdU16String(W()->Strings().Diagnosis.why_label);
        QCOMPARE(why->accessibleName(), label);
        m_h->SetDiagnosis(SampleVerdicts());
        m_h->ClickSearch();
        m_h->ClickSearch();
        QVERIFY(m_h->Visible(why));
        const QColor accent = ToQColor(W()->Strings().AccentLine.color);
        auto ring_pixels = [&] { return RingPixels(why, accent); };
        QCOMPARE(ring_pixels(), 0);
        FocusByTab(why);
        QVERIFY(why->hasFocus());
        QCOMPARE(ring_pixels(), 2 * why->width());
    }

    // After the mouse alone, a click on a row and then searches, no control shows
    // the keyboard's ring or the hover face it brings: the search button looks as
    // it did before the click, and the list rings no row.
    void noRingAfterTheMouse() {
        QVERIFY(OpenResults({FullDevice()}));
        CButtonOperate* search = Button("searchButton");
        const QImage plain = search->grab().toImage();
        const QColor accent = ToQColor(W()->Strings().AccentLine.color);
        const QRect row = List()->visualItemRect(Row(0));
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, row.center());
        QCOMPARE(m_recorder.opened.size(), 1);
        QVERIFY(List()->hasFocus());
        const QImage list = List()->viewport()->grab().toImage();
        int ring = 0;
        for (int x = 0; x < list.width(); ++x)
            ring += list.pixelColor(x, row.top()) == accent;
        QCOMPARE(ring, 0);
        for (int round = 0; round < 2; ++round) {
            m_h->ClickSearch();
            m_h->ClickSearch();
            QVERIFY(W()->HasResults());
            QCOMPARE(RingPixels(search, accent), 0);
            QCOMPARE(search->grab().toImage(), plain);
        }
    }

    // Return on a fresh window runs the page's primary command, the search
    // button's, without a ring: it starts the search; with no control focused at
    // all, Return still reaches it and stops the search.
    void returnOnAFreshWindowSearches() {
        m_h = std::make_unique<WindowHarness>();
        QVERIFY(m_h->OpenReady());
        QVERIFY(QTest::qWaitForWindowActive(W()));
        CButtonOperate* search = Button("searchButton");
        QCOMPARE(QApplication::focusWidget(), search);
        QCOMPARE(RingPixels(search, ToQColor(W()->Strings().AccentLine.color)), 0);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(W()->IsSearching());
        search->clearFocus();
        QCOMPARE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(W(), Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(!W()->IsSearching());
        QVERIFY(W()->HasSearched());
    }

    // Return on the "Why?" link opens its box, drawn like the window: no wider than
    // it, the footer strip's colour at its foot and the skin's OK button captioned
    // in the window's language; Return on that button closes it.
    void whyBoxFromTheKeyboard_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("ok");
        QTest::addColumn<bool>("verdicts");
        QTest::newRow("English, a cause") << kCmdEnglish << "OK" << true;
        QTest::newRow("Simplified Chinese, no cause")
            << kCmdSimplifiedChinese << QString::fromUtf8("确认") << false;
        QTest::newRow("Traditional Chinese, a cause")
            << kCmdTraditionalChinese << QString::fromUtf8("確認") << true;
    }
    void whyBoxFromTheKeyboard() {
        QFETCH(int, command);
        QFETCH(QString, ok);
        QFETCH(bool, verdicts);
        QVERIFY(Open());
        W()->OnLanguage(command);
        if (verdicts)
            m_h->SetDiagnosis(SampleVerdicts());
        m_h->ClickSearch();
        m_h->ClickSearch();
        auto* why = W()->findChild<QPushButton*>(QStringLiteral("diagnosisLink"));
        QVERIFY(m_h->Visible(why));
        FocusByTab(why);
        QTest::keyClick(why, Qt::Key_Return);
        QWidget* box = nullptr;
        QTRY_VERIFY((box = W()->findChild<QDialog*>(QStringLiteral("diagnosisBox"))) != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(box));
        const QImage image = box->grab().toImage();
        QVERIFY2(image.width() <= W()->width(), qPrintable(QString::number(image.width())));
        QCOMPARE(image.pixelColor(1, image.height() - 2), ToQColor(W()->Strings().FooterBar.color));
        auto* button = box->findChild<CButtonOperate*>(QStringLiteral("diagnosisBoxOk"));
        QVERIFY(button != nullptr);
        QCOMPARE(button->Caption(), ok);
        QVERIFY(box->rect().contains(button->geometry()));
        QVERIFY(button->hasFocus());
        QTest::keyClick(button, Qt::Key_Return);
        QTRY_VERIFY(W()->findChild<QDialog*>(QStringLiteral("diagnosisBox")) == nullptr);
    }

    void focusRingShowsForTheKeyboardOnly_data() {
        QTest::addColumn<QString>("button");
        QTest::newRow("setting") << "settingButton";
        QTest::newRow("next") << "nextButton";
        QTest::newRow("previous") << "previousButton";
        QTest::newRow("search") << "searchButton";
    }
    void focusRingShowsForTheKeyboardOnly() {
        QFETCH(QString, button);
        QVERIFY(Open());
        if (button == "previousButton")
            W()->OnNext();
        CButtonOperate* b = Button(button.toLatin1().constData());
        const QColor accent = ToQColor(W()->Strings().AccentLine.color);
        auto ring_pixels = [&] { return RingPixels(b, accent); };
        const int unfocused = ring_pixels();
        b->setFocus(Qt::ActiveWindowFocusReason);
        FocusByTab(b);
        QVERIFY(b->hasFocus());
        QCOMPARE(ring_pixels(), 2 * b->width());
        if (const QByteArray dir = qgetenv("ORVANDEL_GRAB_DIR"); !dir.isEmpty())
            W()->grab().save(QString::fromLocal8Bit(dir) + "/focus-" + button + ".png");

        // Focus from elsewhere than the keyboard shows no ring.
        b->clearFocus();
        b->setFocus(Qt::OtherFocusReason);
        QCOMPARE(ring_pixels(), unfocused);
        if (button != "searchButton")
            return;
        // A click on the focused button takes the ring away and keeps the focus.
        FocusByTab(b);
        QTest::mousePress(b, Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY(b->hasFocus());
        QCOMPARE(ring_pixels(), unfocused);
        QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(2, 2));
    }

    // Every focusable control shows keyboard focus with a ring that differs from
    // what it covers by 3:1 or more, all round; measured on rendered pixels.
    void focusRingContrast_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("other");  // takes the focus first, without a ring
        QTest::newRow("setting") << "settingButton"
                                 << "searchButton";
        QTest::newRow("next") << "nextButton"
                              << "settingButton";
        QTest::newRow("previous") << "previousButton"
                                  << "settingButton";
        QTest::newRow("search") << "searchButton"
                                << "settingButton";
        QTest::newRow("list row") << "deviceList"
                                  << "searchButton";
        QTest::newRow("About OK") << "aboutOkButton"
                                  << "aboutVersionText";
        QTest::newRow("About product link") << "aboutVersionText"
                                            << "aboutOkButton";
        QTest::newRow("About support link") << "aboutSupportText"
                                            << "aboutOkButton";
    }
    void focusRingContrast() {
        QFETCH(QString, control);
        QFETCH(QString, other);
        QVERIFY(OpenResults({FullDevice()}));
        if (control == "nextButton" || control == "previousButton") {
            m_h->SetDevices({});
            m_h->ClickSearch();
            m_h->ClickSearch();  // the not-found page shows the step buttons
            if (control == "previousButton")
                W()->OnNext();
        }
        std::unique_ptr<CDialogAbout> about;
        QWidget* top = W();
        if (control.startsWith("about")) {
            about = std::make_unique<CDialogAbout>(kEnglish, m_h->SettingsPath(), W());
            about->show();
            QApplication::setActiveWindow(about.get());
            QVERIFY(QTest::qWaitForWindowActive(about.get()));
            top = about.get();
        }
        QWidget* target = top->findChild<QWidget*>(control);
        QWidget* first = top->findChild<QWidget*>(other);
        QVERIFY(target != nullptr && first != nullptr && target->isVisible());
        QApplication::setActiveWindow(top);
        QVERIFY(QTest::qWaitForWindowActive(top));
        first->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(first->hasFocus());
        const QImage before = top->grab().toImage();
        target->setFocus(Qt::TabFocusReason);
        QVERIFY(target->hasFocus());
        const QImage after = top->grab().toImage();
        if (const QByteArray dir = qgetenv("ORVANDEL_GRAB_DIR"); !dir.isEmpty()) {
            QDir().mkpath(QString::fromLocal8Bit(dir));
            after.save(QString::fromLocal8Bit(dir) + "/ring-" + control + ".png");
        }
        QRect ring(target->mapTo(top, QPoint(0, 0)), target->size());
        if (control == "deviceList") {
            // The row: its icon and text cells.
            auto* list = static_cast<CScrollBarList*>(target);
            const QRect cells = list->visualRect(list->model()->index(0, 0)) |
                                list->visualRect(list->model()->index(0, 1));
            ring = cells.translated(list->viewport()->mapTo(top, QPoint(0, 0)));
        }
        const QString faults = RingFaults(before.convertToFormat(QImage::Format_RGB32),
                                          after.convertToFormat(QImage::Format_RGB32), ring);
        QVERIFY2(faults.isEmpty(), qPrintable(faults));
    }

    // Every ring has the window's accent colour, the About box's too.
    void ringsShareTheAccent() {
        QVERIFY(Open());
        const QColor accent = ToQColor(W()->Strings().AccentLine.color);
        CDialogAbout about(kJapanese, m_h->SettingsPath(), W());
        about.show();
        QApplication::setActiveWindow(&about);
        QVERIFY(QTest::qWaitForWindowActive(&about));
        auto* ok = about.findChild<CButtonOperate*>("aboutOkButton");
        // Opened, the box shows no ring; Tab round its stops rings OK.
        QTRY_VERIFY(ok->hasFocus());
        QVERIFY(ok->grab().toImage().pixelColor(ok->width() / 2, 0) != accent);
        QTest::keyClick(ok, Qt::Key_Tab);
        for (int i = 0; i < 8 && !ok->hasFocus(); ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(ok->hasFocus());
        QCOMPARE(ok->grab().toImage().pixelColor(ok->width() / 2, 0), accent);
    }

    // A menu opened from the keyboard hands the focus back with the ring still on.
    void ringSurvivesTheSettingMenu() {
        QVERIFY(Open());
        CButtonOperate* setting = Button("settingButton");
        const QColor accent = ToQColor(W()->Strings().AccentLine.color);
        FocusByTab(setting);
        OnNextPopup([](QMenu* menu) { QTest::keyClick(menu, Qt::Key_Escape); });
        QTest::keyClick(setting, Qt::Key_Return);
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        QApplication::setActiveWindow(W());
        QTRY_VERIFY(setting->hasFocus());
        QCOMPARE(setting->grab().toImage().pixelColor(setting->width() / 2, 0), accent);
    }

    void listKeysMoveAndOpen_data() {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("opened");
        QTest::newRow("Return") << QList<int>{Qt::Key_Return} << "192.168.1.10";
        QTest::newRow("Down, keypad Enter")
            << QList<int>{Qt::Key_Down, Qt::Key_Enter} << "192.168.1.11";
        QTest::newRow("End, Return") << QList<int>{Qt::Key_End, Qt::Key_Return} << "192.168.1.9";
        QTest::newRow("End, Up, Return")
            << QList<int>{Qt::Key_End, Qt::Key_Up, Qt::Key_Return} << "192.168.1.11";
        // The same gate as a click: the loopback row is never opened.
        QTest::newRow("Home (loopback), Return") << QList<int>{Qt::Key_Home, Qt::Key_Return} << "";
        QTest::newRow("Up (loopback), Return") << QList<int>{Qt::Key_Up, Qt::Key_Return} << "";
    }
    void listKeysMoveAndOpen() {
        QFETCH(QList<int>, keys);
        QFETCH(QString, opened);
        // Listed in the engine's order; the second row is selected first.
        QVERIFY(OpenResults({MakeDevice(u"Loop", u"TR400", u"127.0.0.1", u"aa:bb:cc:dd:ee:00"),
                             FullDevice(),
                             MakeDevice(u"B", u"TR400", u"192.168.1.11", u"aa:bb:cc:dd:ee:02"),
                             MakeDevice(u"C", u"TR400", u"192.168.1.9", u"aa:bb:cc:dd:ee:03")}));
        CScrollBarList* list = List();
        FocusByTab(list);
        list->setCurrentItem(Row(1));
        for (int key : keys) {
            const auto modifiers = key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
            QTest::keyClick(list, Qt::Key(key), modifiers);
        }
        QCOMPARE(m_recorder.opened.size(), opened.isEmpty() ? 0 : 1);
        if (!opened.isEmpty())
            QCOMPARE(m_recorder.opened.front(), QUrl("http://" + opened));
    }

    // Keyboard alone: Tab from the setting button into the list selects a row, so
    // that the next key opens it; Home and End select even the row already current.
    void tabIntoTheListThenKeysOpen_data() {
        QTest::addColumn<int>("devices");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("opened");
        QTest::newRow("one device, Return") << 1 << QList<int>{Qt::Key_Return} << "192.168.1.10";
        QTest::newRow("one device, keypad Enter")
            << 1 << QList<int>{Qt::Key_Enter} << "192.168.1.10";
        QTest::newRow("one device, Home, Return")
            << 1 << QList<int>{Qt::Key_Home, Qt::Key_Return} << "192.168.1.10";
        QTest::newRow("one device, End, Return")
            << 1 << QList<int>{Qt::Key_End, Qt::Key_Return} << "192.168.1.10";
        QTest::newRow("one device, Down, Return")
            << 1 << QList<int>{Qt::Key_Down, Qt::Key_Return} << "192.168.1.10";
        QTest::newRow("three, Return") << 3 << QList<int>{Qt::Key_Return} << "192.168.1.10";
        QTest::newRow("three, End, Return")
            << 3 << QList<int>{Qt::Key_End, Qt::Key_Return} << "192.168.1.12";
        QTest::newRow("three, End, Home, Return")
            << 3 << QList<int>{Qt::Key_End, Qt::Key_Home, Qt::Key_Return} << "192.168.1.10";
    }
    void tabIntoTheListThenKeysOpen() {
        QFETCH(int, devices);
        QFETCH(QList<int>, keys);
        QFETCH(QString, opened);
        std::vector<DeviceInfo> found;
        for (int i = 0; i < devices; ++i) {
            const std::u16string n = QString::number(10 + i).toStdU16String();
            found.push_back(
                MakeDevice(u"D" + n, u"TR400", u"192.168.1." + n, u"aa:bb:cc:dd:ee:" + n));
        }
        QVERIFY(OpenResults(found));
        FocusByTab(Button("settingButton"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), List());
        QCOMPARE(List()->selectedItems(), QList<QTreeWidgetItem*>{Row(0)});
        for (int key : keys) {
            const auto modifiers = key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
            QTest::keyClick(List(), Qt::Key(key), modifiers);
        }
        QCOMPARE(m_recorder.opened, QList<QUrl>{QUrl("http://" + opened)});
    }

    // Focus that comes back to the list keeps the row the user was on.
    void focusReturnsToTheSameRow() {
        QVERIFY(OpenResults({MakeDevice(u"A", u"TR400", u"192.168.1.8", u"aa:00:00:00:00:01"),
                             MakeDevice(u"B", u"TR400", u"192.168.1.9", u"aa:00:00:00:00:02")}));
        FocusByTab(List());
        QTest::keyClick(List(), Qt::Key_End);
        FocusByTab(Button("searchButton"));
        FocusByTab(List());
        QCOMPARE(List()->selectedItems(), QList<QTreeWidgetItem*>{Row(1)});
    }

    // --- Row menu and copies --------------------------------------------------------

    void rowMenuOffersFourEntries_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("language");
        QTest::newRow("right click, English") << "click" << kCmdEnglish;
        QTest::newRow("Menu key, Japanese") << "menukey" << kCmdJapanese;
        QTest::newRow("Shift+F10, Traditional Chinese") << "shiftf10" << kCmdTraditionalChinese;
    }
    void rowMenuOffersFourEntries() {
        QFETCH(QString, how);
        QFETCH(int, language);
        QVERIFY(OpenResults(
            {MakeDevice(u"A", u"TR400", u"192.168.1.8", u"aa:00:00:00:00:01"), FullDevice()}));
        W()->OnLanguage(language);
        CScrollBarList* list = List();
        FocusByTab(list);
        list->setCurrentItem(Row(1));
        const QRect row_rect = list->visualItemRect(Row(1));
        QStringList texts;
        QPoint at;
        OnNextPopup([&](QMenu* menu) {
            at = menu->pos();
            for (QAction* a : menu->actions())
                texts.append(a->text());
        });
        if (how == "click") {
            QContextMenuEvent e(QContextMenuEvent::Mouse, row_rect.center(),
                                list->viewport()->mapToGlobal(row_rect.center()));
            list->setCurrentItem(Row(0));  // the click selects the row it lands on
            QApplication::sendEvent(list->viewport(), &e);
            QCOMPARE(at, list->viewport()->mapToGlobal(row_rect.center()));
        } else if (how == "menukey") {
            // What the platform sends for the Menu key.
            QContextMenuEvent e(QContextMenuEvent::Keyboard, QPoint(), QPoint());
            QApplication::sendEvent(list->viewport(), &e);
        } else {
            QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
        }
        QCOMPARE(list->currentItem(), Row(1));
        const UiStrings& s = W()->Strings();
        QCOMPARE(texts, (QStringList{Q(s.MenuOpenDevicePage), Q(s.MenuCopyIp), Q(s.MenuCopyMac),
                                     Q(s.MenuCopyDetails)}));
        if (how != "click") {
            // From the keyboard: under the selected row, not at the pointer.
            QVERIFY(QRect(list->viewport()->mapToGlobal(row_rect.topLeft()), row_rect.size())
                        .contains(at - QPoint(0, 1)));
        }
    }

    void rowMenuActionsCopyPlainText_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("expected");
        QTest::newRow("open") << "openDevicePageAction"
                              << "";
        QTest::newRow("copy IP") << "copyIpAction"
                                 << "192.168.1.10";
        QTest::newRow("copy MAC, as the row shows it") << "copyMacAction"
                                                       << "AA:BB:CC:DD:EE:01";
        QTest::newRow("copy details")
            << "copyDetailsAction"
            << "Name: Studio A\nModel: TR9100\nSub model: B\n"
               "Firmware: 2.4.1\nDaily build: 20240301\n"
               "U-Boot version: 1.1.0\nIP address: 192.168.1.10\n"
               "MAC address: AA:BB:CC:DD:EE:01\nDHCP: 1\nSubnet mask: 255.255.255.0\n"
               "Gateway: 192.168.1.1\nDNS: 192.168.1.1";
    }
    void rowMenuActionsCopyPlainText() {
        QFETCH(QString, action);
        QFETCH(QString, expected);
        QVERIFY(OpenResults({FullDevice()}));
        QGuiApplication::clipboard()->setText("before");
        CScrollBarList* list = List();
        FocusByTab(list);
        list->setCurrentItem(Row(0));
        OnNextPopup([&](QMenu* menu) {
            if (auto* a = menu->findChild<QAction*>(action))
                a->trigger();
        });
        QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
        if (action == "openDevicePageAction") {
            QCOMPARE(m_recorder.opened, QList<QUrl>{QUrl("http://192.168.1.10")});
            QCOMPARE(QGuiApplication::clipboard()->text(), QString("before"));
        } else {
            QCOMPARE(QGuiApplication::clipboard()->text(), expected);
        }
    }

    void ctrlCCopiesTheSelectedRowsIp() {
        QVERIFY(OpenResults({FullDevice(), MakeDevice(u"B", u"TR400", u"192.168.1.11", u"ab")}));
        CScrollBarList* list = List();
        FocusByTab(list);
        list->setCurrentItem(Row(1));
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("192.168.1.11"));
        QTest::keyClick(list, Qt::Key_Up);
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("192.168.1.10"));
    }

    // --- Details tooltip ----------------------------------------------------------------

    void tooltipShowsTheDetails_data() {
        QTest::addColumn<DeviceInfo>("device");
        QTest::addColumn<QString>("expected");
        QTest::newRow("full reply")
            << FullDevice()
            << "Name: Studio A\nModel: TR9100\nSub model: B\n"
               "Firmware: 2.4.1\nDaily build: 20240301\n"
               "U-Boot version: 1.1.0\nIP address: 192.168.1.10\n"
               "MAC address: AA:BB:CC:DD:EE:01\nDHCP: 1\nSubnet mask: 255.255.255.0\n"
               "Gateway: 192.168.1.1\nDNS: 192.168.1.1";
        QTest::newRow("sparse reply: empty fields left out")
            << MakeDevice(u"", u"", u"10.0.0.2", u"0a:0b")
            << "IP address: 10.0.0.2\nMAC address: 0A:0B";
        DeviceInfo hostile =
            MakeDevice(u"<b>Big</b> & <a href='x'>y</a>", u"TR400", u"10.0.0.3", u"01:02");
        hostile.master_version = u"<b>1.0</b>\n<img src=x>";
        QTest::newRow("markup shown as characters")
            << hostile
            << "Name: <b>Big</b> & <a href='x'>y</a>\nModel: TR400\n"
               "Firmware: <b>1.0</b> <img src=x>\nIP address: 10.0.0.3\nMAC address: 01:02";
    }
    void tooltipShowsTheDetails() {
        QFETCH(DeviceInfo, device);
        QFETCH(QString, expected);
        QVERIFY(OpenResults({device}));
        for (int column : {0, 1})
            QCOMPARE(ToolTipPlain(Row(0)->toolTip(column)), expected);
    }

    // --- Screen readers ---------------------------------------------------------------

    void buttonNamesFollowTheLanguage_data() {
        QTest::addColumn<int>("language");
        for (int id : {kCmdEnglish, kCmdSimplifiedChinese, kCmdTraditionalChinese, kCmdJapanese})
            QTest::addRow("%d", id) << id;
    }
    void buttonNamesFollowTheLanguage() {
        QFETCH(int, language);
        QVERIFY(Open());
        W()->OnLanguage(language);
        const UiStrings& s = W()->Strings();
        QCOMPARE(AccessibleName(Button("settingButton")), Q(s.AccessibleSettings));
        QCOMPARE(AccessibleName(Button("nextButton")), Q(s.AccessibleNext));
        QCOMPARE(AccessibleName(Button("previousButton")), Q(s.AccessiblePrevious));
        QCOMPARE(AccessibleName(Button("searchButton")), Q(s.BeginSearchLabel));
        QCOMPARE(AccessibleName(List()), Q(s.AccessibleDeviceList));
        for (const char* name : {"settingButton", "nextButton", "previousButton", "searchButton"})
            QVERIFY2(!AccessibleName(Button(name)).isEmpty(), name);
        // The search button's name is its caption, whatever that is now.
        m_h->ClickSearch();
        QCOMPARE(AccessibleName(Button("searchButton")), Q(s.StopLabel));
    }

    void pageTextsAreTheWindowsDescription() {
        QVERIFY(Open());
        auto description = [this] {
            return QAccessible::queryAccessibleInterface(W())->text(QAccessible::Description);
        };
        auto page = [this] {
            const PageSlots& p = W()->Slots();
            return Q(p.headline) + "\n" + Q(p.title) + "\n" + Q(p.body);
        };
        QCOMPARE(description(), page());
        QVERIFY(description().contains(Q(W()->Strings().Step1Title.text)));

        m_events.clear();
        W()->OnNext();
        QCOMPARE(description(), page());
        QVERIFY(description().contains(Q(W()->Strings().Step2Title.text)));
        const qsizetype after_next = m_events.count(QAccessible::DescriptionChanged);

        m_events.clear();
        W()->OnLanguage(kCmdJapanese);
        QCOMPARE(description(), page());
        const qsizetype after_language = m_events.count(QAccessible::DescriptionChanged);

        // The results page: the headline alone, with the count.
        m_h->SetDevices({FullDevice()});
        m_h->ClickSearch();
        m_events.clear();
        m_h->ClickSearch();
        QCOMPARE(description(), Q(W()->Slots().headline));
        const qsizetype after_results = m_events.count(QAccessible::DescriptionChanged);

        // Qt hands events on only while a platform bridge is active (on X11 with the
        // accessibility bus; the offscreen platform has none).
        if (!QAccessible::isActive())
            QSKIP("no accessibility bridge on this platform: events not delivered");
        QCOMPARE(after_next, 1);
        QCOMPARE(after_language, 1);
        QCOMPARE(after_results, 1);
    }

    void rowNamesHoldNameModelIpAndMac() {
        DeviceInfo hostile = MakeDevice(u"Line\nbreak <b>x</b>", u"TR9100", u"10.0.0.4", u"ab:cd");
        QVERIFY(OpenResults({FullDevice(), hostile}));
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(List());
        QVERIFY(list != nullptr && list->tableInterface() != nullptr);
        auto cell = [&](int row, int column) {
            QAccessibleInterface* c = list->tableInterface()->cellAt(row, column);
            return c != nullptr ? c->text(QAccessible::Name) : QString();
        };
        QCOMPARE(
            cell(0, 1),
            QString("Studio A, TR9100, IP address: 192.168.1.10, MAC address: AA:BB:CC:DD:EE:01"));
        QCOMPARE(cell(0, 0), cell(0, 1));
        // One line, markup as characters.
        QCOMPARE(cell(1, 1),
                 QString("Line break <b>x</b>, TR9100, IP address: 10.0.0.4, MAC address: AB:CD"));

        W()->OnLanguage(kCmdJapanese);
        const DeviceDetailLabels& labels = W()->Strings().DetailLabels;
        QVERIFY(cell(0, 1).contains(Q(labels.ip + labels.separator) + "192.168.1.10"));
    }
};

QTEST_MAIN(KeyboardTest)
#include "keyboard_test.moc"
