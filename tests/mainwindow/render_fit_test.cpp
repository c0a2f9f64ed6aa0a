// What a person reads, measured on rendered pixels: on every page, in the four
// languages and at device pixel ratios 1, 1.5 and 2, each painted text's ink lies
// inside its layout rectangle (inside its band where the rectangle has no bottom),
// no two texts' ink touch, nothing is drawn outside the window, and every button
// caption keeps its side margins.
//
// Ink comes from pixels, not from font metrics: each surface is painted once on a
// device that keeps every text run with the painter state it was drawn in, then
// each run is drawn again alone, in that state, and its dark pixels are its ink.
// ORVANDEL_FIT_REPORT=1 prints every text's lines and ink box; ORVANDEL_GRAB_DIR
// receives the About box, the row tooltip and the menus at each ratio.
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QPaintEngine>
#include <QPushButton>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QtTest>
#include <map>

#include "about/dialog_about.h"
#include "window_harness.h"

using namespace orvandel;
using namespace orvandel::test;

namespace {

constexpr int kInkGray = 110;          // darker than this is ink
constexpr qreal kCaptionMargin = 8.0;  // logical pixels on each side of a caption
constexpr qreal kTolerance = 0.01;     // logical pixels lost to the ratio's rounding

struct TextRun {
    QString text;
    QFont font;
    QColor pen;
    QPointF origin;  // logical, in the surface
    QRectF ink;      // logical; null when nothing dark was drawn
};

// The ink, in logical pixels, of one text item drawn alone by the raster engine
// with its own glyphs and positions, in the state it was drawn in.
QRectF InkOf(const QTextItem& item, const QPointF& p, const QTransform& logical, qreal ratio,
             int surface_width) {
    const QPointF at = logical.map(p);
    const qreal em = std::max<qreal>(QFontInfo(item.font()).pixelSize(), 8);
    // On the device's pixel grid, as the surface is.
    const QRectF area(-60, std::floor((at.y() - 3 * em) * ratio) / ratio, surface_width + 120,
                      6 * em);
    QImage canvas((area.size() * ratio).toSize(), QImage::Format_RGB32);
    canvas.setDevicePixelRatio(ratio);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.setTransform(logical * QTransform::fromTranslate(-area.left(), -area.top()));
    painter.setPen(Qt::black);
    painter.setFont(item.font());
    painter.paintEngine()->drawTextItem(p, item);
    painter.end();
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    for (int y = 0; y < canvas.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
        for (int x = 0; x < canvas.width(); ++x) {
            if (qGray(line[x]) < kInkGray) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0)
        return {};
    if (left == 0 || top == 0 || right == canvas.width() - 1 || bottom == canvas.height() - 1)
        qWarning("ink of \"%s\" reaches the edge of its canvas", qPrintable(item.text()));
    return QRectF(left / ratio + area.left(), top / ratio + area.top(), (right - left + 1) / ratio,
                  (bottom - top + 1) / ratio);
}

// Draws nothing; measures every text item as it comes.
class TextRecordingEngine : public QPaintEngine {
public:
    TextRecordingEngine(qreal ratio, int surface_width)
        : QPaintEngine(QPaintEngine::AllFeatures), m_ratio(ratio), m_width(surface_width) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState& state) override {
        if (state.state() & QPaintEngine::DirtyTransform)
            m_transform = state.transform();
        if (state.state() & QPaintEngine::DirtyPen)
            m_pen = state.pen().color();
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {
    }
    void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
    void drawRects(const QRectF*, int) override {}
    void drawRects(const QRect*, int) override {}
    void drawLines(const QLineF*, int) override {}
    void drawLines(const QLine*, int) override {}
    void drawEllipse(const QRectF&) override {}
    void drawPoints(const QPointF*, int) override {}
    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        if (item.text().trimmed().isEmpty())
            return;
        // The state's transform includes the ratio; the canvas applies its own.
        const QTransform logical = m_transform * QTransform::fromScale(1 / m_ratio, 1 / m_ratio);
        runs.push_back({item.text(), item.font(), m_pen, logical.map(p),
                        InkOf(item, p, logical, m_ratio, m_width)});
    }
    Type type() const override { return QPaintEngine::User; }

    std::vector<TextRun> runs;

private:
    qreal m_ratio;
    int m_width;
    QTransform m_transform;
    QColor m_pen;
};

class TextRecordingDevice : public QPaintDevice {
public:
    TextRecordingDevice(QSize logical, qreal ratio)
        : m_size(logical), m_ratio(ratio), m_engine(ratio, logical.width()) {}
    ~TextRecordingDevice() override = default;
    QPaintEngine* paintEngine() const override { return &m_engine; }
    std::vector<TextRun>& Runs() { return m_engine.runs; }

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
            case PdmWidth:
                return qCeil(m_size.width() * m_ratio);
            case PdmHeight:
                return qCeil(m_size.height() * m_ratio);
            case PdmWidthMM:
                return qCeil(m_size.width() * m_ratio * 25.4 / 96);
            case PdmHeightMM:
                return qCeil(m_size.height() * m_ratio * 25.4 / 96);
            case PdmNumColors:
                return INT_MAX;
            case PdmDepth:
                return 32;
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY:
                return 96;
            case PdmDevicePixelRatio:
                return qCeil(m_ratio);
            case PdmDevicePixelRatioScaled:
                return qRound(m_ratio * devicePixelRatioFScale());
        }
        return 0;
    }

private:
    QSize m_size;
    qreal m_ratio;
    mutable TextRecordingEngine m_engine;
};

// One text as the layout places it, and what its runs drew.
struct Element {
    QString name;
    QRectF limit;          // the ink must stay inside
    bool caption = false;  // a button caption: side margins too
    QRectF ink;            // null: nothing drawn
    std::vector<qreal> baselines;
    QRectF clip;  // where the widget lets ink show (a list row scrolled half out)
};

// The texts of one window (or popup) at one ratio.
struct Surface {
    QString name;
    QSize size;
    std::vector<Element> elements;

    Element& Get(const QString& name, const QRectF& limit, bool caption = false,
                 const QRectF& clip = QRectF()) {
        for (Element& e : elements)
            if (e.name == name)
                return e;
        elements.push_back({name, limit, caption, {}, {}, clip});
        return elements.back();
    }
    void Add(Element& e, const TextRun& run) {
        const QRectF ink = e.clip.isNull() ? run.ink : run.ink & e.clip;
        if (ink.isEmpty())
            return;
        const QRectF before = e.ink;
        e.ink.setCoords(before.isNull() ? ink.left() : std::min(before.left(), ink.left()),
                        before.isNull() ? ink.top() : std::min(before.top(), ink.top()),
                        before.isNull() ? ink.right() : std::max(before.right(), ink.right()),
                        before.isNull() ? ink.bottom() : std::max(before.bottom(), ink.bottom()));
        const qreal y = run.origin.y();
        if (std::none_of(e.baselines.begin(), e.baselines.end(),
                         [y](qreal b) { return std::abs(b - y) < 2; }))
            e.baselines.push_back(y);
    }
};

// Runs drawn by `widget` alone (with its children), in the coordinates of `top`.
std::vector<TextRun> RunsOf(QWidget* widget, QWidget* top, qreal ratio) {
    TextRecordingDevice device(top->size(), ratio);
    widget->render(&device, widget->mapTo(top, QPoint(0, 0)), QRegion(), QWidget::DrawChildren);
    return std::move(device.Runs());
}

void AddCaptions(Surface& s, QWidget* top, qreal ratio) {
    for (CButtonOperate* b : top->findChildren<CButtonOperate*>()) {
        if (!b->isVisible() || !b->IsShown() || b->Caption().isEmpty())
            continue;
        const QRectF limit(b->mapTo(top, QPoint(0, 0)), b->size());
        Element& e = s.Get(b->objectName() + " caption", limit, true);
        for (const TextRun& run : RunsOf(b, top, ratio))
            s.Add(e, run);
    }
}

QRectF Limit(const WinRect& r, const UiTextElement& band) {
    const qreal bottom =
        r.bottom > r.top ? std::min(r.bottom, band.top + band.height) : band.top + band.height;
    return QRectF(QPointF(r.left, r.top), QPointF(r.right, bottom));
}

// The band a text starts in.
const UiTextElement& BandOf(const UiStrings& s, const WinRect& r) {
    for (const UiTextElement* band :
         {&s.HeaderBar, &s.AccentLine, &s.IntroBand, &s.ContentArea, &s.FooterBar}) {
        if (r.top >= band->top && r.top < band->top + band->height)
            return *band;
    }
    return s.MainWindow;
}

Surface MainWindowTexts(CKestriTR400DeviceFinderDlg& w, qreal ratio) {
    Surface s{QStringLiteral("window"), w.size(), {}};
    const UiStrings& str = w.Strings();
    const PageSlots& page = w.Slots();
    TextRecordingDevice device(w.size(), ratio);
    {
        QPainter painter(&device);
        w.RenderClientArea(painter);
    }
    // The three texts differ in pen or weight: the headline is black, the title heavy.
    for (const TextRun& run : device.Runs()) {
        const bool headline = run.pen == QColor(Qt::black);
        const bool title = !headline && run.font.weight() >= QFont::ExtraBold;
        const WinRect& r = headline ? page.headline_rect : title ? page.title_rect : page.body_rect;
        const QString name = headline ? "headline" : title ? "title" : "body";
        s.Add(s.Get(name, Limit(r, BandOf(str, r))), run);
    }
    AddCaptions(s, &w, ratio);
    // The not-found page's "Why?" link, inside its own rectangle.
    auto* why = w.findChild<QPushButton*>(QStringLiteral("diagnosisLink"));
    if (why != nullptr && why->isVisible()) {
        Element& e = s.Get(QStringLiteral("why link"), QRectF(why->geometry()));
        for (const TextRun& run : RunsOf(why, &w, ratio))
            s.Add(e, run);
    }
    // The rows: each row's lines inside the row's part of the visible list.
    auto* list = w.findChild<CScrollBarList*>(QStringLiteral("deviceList"));
    if (list != nullptr && list->isVisible()) {
        QWidget* viewport = list->viewport();
        const QPoint at = viewport->mapTo(&w, QPoint(0, 0));
        const QRect shown(at, viewport->size());
        for (const TextRun& run : RunsOf(list, &w, ratio)) {
            const QPoint p = run.origin.toPoint() - at;
            QTreeWidgetItem* item = list->itemAt(p);
            if (item == nullptr) {
                s.Add(s.Get("list, outside every row", QRectF()), run);
                continue;
            }
            const int row = list->indexOfTopLevelItem(item);
            QRect rect = list->visualItemRect(item).translated(at);
            rect.setLeft(shown.left());
            rect.setRight(shown.right());
            s.Add(
                s.Get(QStringLiteral("row %1").arg(row + 1), rect.intersected(shown), false, shown),
                run);
        }
    }
    return s;
}

Surface AboutTexts(CDialogAbout& about, qreal ratio) {
    Surface s{QStringLiteral("about"), about.size(), {}};
    for (QLabel* label : about.findChildren<QLabel*>()) {
        Element& e = s.Get(label->objectName(), QRectF(label->geometry()));
        for (const TextRun& run : RunsOf(label, &about, ratio))
            s.Add(e, run);
    }
    AddCaptions(s, &about, ratio);
    return s;
}

Surface MenuTexts(QMenu* menu, qreal ratio) {
    Surface s{menu->objectName().isEmpty() ? QStringLiteral("menu") : menu->objectName(),
              menu->size(),
              {}};
    for (const TextRun& run : RunsOf(menu, menu, ratio)) {
        const QPoint p = run.origin.toPoint();
        QAction* action = menu->actionAt(p);
        const QRectF limit = action != nullptr ? QRectF(menu->actionGeometry(action)) : QRectF();
        s.Add(s.Get(action != nullptr ? action->text() : QStringLiteral("outside every entry"),
                    limit),
              run);
    }
    return s;
}

Surface ToolTipTexts(QWidget* tip, qreal ratio) {
    Surface s{QStringLiteral("tooltip"), tip->size(), {}};
    const QRectF limit = QRectF(QRect(QPoint(0, 0), tip->size()));
    Element& e = s.Get(QStringLiteral("tooltip"), limit);
    for (const TextRun& run : RunsOf(tip, tip, ratio))
        s.Add(e, run);
    return s;
}

QString Box(const QRectF& r) {
    return QStringLiteral("x %1–%2, y %3–%4")
        .arg(r.left(), 0, 'f', 1)
        .arg(r.right(), 0, 'f', 1)
        .arg(r.top(), 0, 'f', 1)
        .arg(r.bottom(), 0, 'f', 1);
}

// Every fault of one surface, one line each.
QStringList Faults(const Surface& s) {
    QStringList faults;
    const QRectF window(QPointF(0, 0), QSizeF(s.size));
    for (const Element& e : s.elements) {
        if (e.ink.isNull())
            continue;
        if (!window.adjusted(-kTolerance, -kTolerance, kTolerance, kTolerance).contains(e.ink))
            faults << QStringLiteral("%1: ink %2 outside the %3 (%4)")
                          .arg(e.name, Box(e.ink), s.name, Box(window));
        if (!e.limit.adjusted(-kTolerance, -kTolerance, kTolerance, kTolerance).contains(e.ink))
            faults << QStringLiteral("%1: %2 lines, ink %3 outside its rectangle %4")
                          .arg(e.name)
                          .arg(e.baselines.size())
                          .arg(Box(e.ink), Box(e.limit));
        if (e.caption) {
            const qreal left = e.ink.left() - e.limit.left();
            const qreal right = e.limit.right() - e.ink.right();
            if (std::min(left, right) < kCaptionMargin - kTolerance)
                faults << QStringLiteral("%1: %2 px left, %3 px right of the ink")
                              .arg(e.name)
                              .arg(left, 0, 'f', 1)
                              .arg(right, 0, 'f', 1);
        }
    }
    for (std::size_t i = 0; i < s.elements.size(); ++i) {
        for (std::size_t j = i + 1; j < s.elements.size(); ++j) {
            const QRectF a = s.elements[i].ink, b = s.elements[j].ink;
            if (!a.isNull() && !b.isNull() && a.intersects(b))
                faults << QStringLiteral("%1 (%2) and %3 (%4) overlap")
                              .arg(s.elements[i].name, Box(a), s.elements[j].name, Box(b));
        }
    }
    return faults;
}

const qreal kRatios[] = {1.0, 1.5, 2.0};

std::vector<DeviceInfo> Devices(int n) {
    static const char16_t* const kNames[] = {u"Living Room", u"Studio", u"Kitchen", u"Office"};
    std::vector<DeviceInfo> devices;
    for (int i = 0; i < n; ++i) {
        const std::u16string suffix = QString::number(i + 10).toStdU16String();
        devices.push_back(MakeDevice(kNames[i % 4], i % 2 ? u"TR400" : u"TR9100",
                                     u"192.168.1." + suffix, u"0c:1a:2b:3c:4d:" + suffix));
    }
    return devices;
}

}  // namespace

class RenderFitTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_cwd.isValid());
        QVERIFY(QDir::setCurrent(m_cwd.path()));
        m_report = qEnvironmentVariableIsSet("ORVANDEL_FIT_REPORT");
        m_out = qEnvironmentVariable("ORVANDEL_GRAB_DIR");
        if (!m_out.isEmpty())
            QVERIFY(QDir().mkpath(m_out));
    }

    void everyTextFits_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("tag");
        QTest::newRow("English") << kCmdEnglish << "en";
        QTest::newRow("Simplified Chinese") << kCmdSimplifiedChinese << "zh-hans";
        QTest::newRow("Traditional Chinese") << kCmdTraditionalChinese << "zh-hant";
        QTest::newRow("Japanese") << kCmdJapanese << "ja";
    }
    void everyTextFits() {
        QFETCH(int, command);
        QFETCH(QString, tag);
        m_faults.clear();
        m_tag = tag;

        {
            // The launch page at its end: no text, nothing outside the window.
            WindowHarness h;
            h.Open(100000);
            Check(h, "launch");
        }
        WindowHarness h;
        h.SetDevices(Devices(3));
        QVERIFY(h.OpenReady());
        h.window->OnLanguage(command);
        Check(h, "step 1");
        h.Click(h.Button("nextButton"));
        Check(h, "step 2");
        h.ClickSearch();
        QTRY_VERIFY(h.engine->ticks > 3);
        Check(h, "searching");
        h.ClickSearch();
        for (int n : {1, 6, 12}) {
            h.SetDevices(Devices(n));
            h.ClickSearch();
            h.ClickSearch();
            QVERIFY(h.window->HasResults());
            Check(h, QStringLiteral("results, %1").arg(n));
        }
        CheckToolTip(h);
        h.SetDevices({});
        h.ClickSearch();
        h.ClickSearch();
        Check(h, "not found");
        // No cause found: the link all the same, and its box says what was checked.
        CheckWhy(h, "notfound-nocause");
        h.SetDiagnosis(SampleVerdicts());
        h.ClickSearch();
        h.ClickSearch();
        Check(h, "not found, why");
        CheckWhy(h, "notfound-why");
        *h.network = false;
        h.ClickSearch();
        Check(h, "no internet");

        {
            CDialogAbout about(h.window->Strings().Language(), h.SettingsPath(), h.window.get());
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            for (qreal ratio : kRatios) {
                Record("About", ratio, AboutTexts(about, ratio));
                Save(&about, "about", ratio);
            }
        }

        bool menu_seen = false;
        QTimer::singleShot(50, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr)
                return;
            QMenu* languages = menu->actions().at(0)->menu();
            languages->popup(menu->mapToGlobal(QPoint(menu->width(), 0)));
            for (qreal ratio : kRatios) {
                Record("setting menu", ratio, MenuTexts(menu, ratio));
                Record("language menu", ratio, MenuTexts(languages, ratio));
                Save(menu, "menu", ratio);
                Save(languages, "menu-language", ratio);
            }
            menu_seen = true;
            languages->close();
            menu->close();
        });
        h.window->OnSetting();
        QVERIFY(menu_seen);

        if (!m_faults.isEmpty())
            QFAIL(qPrintable(QStringLiteral("%1 faults:\n").arg(m_faults.size()) +
                             m_faults.join(u'\n')));
    }

private:
    void Check(WindowHarness& h, const QString& page) {
        QCoreApplication::processEvents();
        for (qreal ratio : kRatios)
            Record(page, ratio, MainWindowTexts(*h.window, ratio));
    }

    void CheckToolTip(WindowHarness& h) {
        CScrollBarList* list = h.DeviceList();
        QTreeWidgetItem* first = list->topLevelItem(0);
        const QPoint at = list->visualItemRect(first).center();
        QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(list->viewport(), &help);
        QWidget* tip = nullptr;
        QTRY_VERIFY((tip = [] {
                        for (QWidget* w : QApplication::topLevelWidgets())
                            if (w->inherits("QTipLabel") && w->isVisible())
                                return w;
                        return static_cast<QWidget*>(nullptr);
                    }()) != nullptr);
        for (qreal ratio : kRatios) {
            Record("row tooltip", ratio, ToolTipTexts(tip, ratio));
            Save(tip, "tooltip", ratio);
        }
        QToolTip::hideText();
    }

    // The link's tooltip (the first verdict's line) and the box of every verdict.
    void CheckWhy(WindowHarness& h, const QString& page) {
        auto* why = h.window->findChild<QPushButton*>(QStringLiteral("diagnosisLink"));
        QVERIFY(why != nullptr && why->isVisible());
        for (qreal ratio : kRatios)
            Save(h.window.get(), page, ratio);
        const QPoint at = why->rect().center();
        QHelpEvent help(QEvent::ToolTip, at, why->mapToGlobal(at));
        QCoreApplication::sendEvent(why, &help);
        QWidget* tip = nullptr;
        QTRY_VERIFY((tip = [] {
                        for (QWidget* w : QApplication::topLevelWidgets())
                            if (w->inherits("QTipLabel") && w->isVisible())
                                return w;
                        return static_cast<QWidget*>(nullptr);
                    }()) != nullptr);
        for (qreal ratio : kRatios) {
            Record(page + " tooltip", ratio, ToolTipTexts(tip, ratio));
            Save(tip, page + "-tooltip", ratio);
        }
        QToolTip::hideText();
        QTest::mouseClick(why, Qt::LeftButton);
        QWidget* box = nullptr;
        QTRY_VERIFY((box = h.window->findChild<QWidget*>(QStringLiteral("diagnosisBox"))) !=
                    nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(box));
        for (qreal ratio : kRatios) {
            Surface s{QStringLiteral("why box"), box->size(), {}};
            for (QLabel* label : box->findChildren<QLabel*>()) {
                if (!label->isVisible() || label->text().isEmpty())
                    continue;
                Element& e = s.Get(label->objectName() + " " + label->text().left(12),
                                   QRectF(label->geometry()));
                for (const TextRun& run : RunsOf(label, box, ratio))
                    s.Add(e, run);
            }
            AddCaptions(s, box, ratio);
            Record(page + " box", ratio, s);
            Save(box, page + "-box", ratio);
        }
        box->close();
    }

    void Save(QWidget* widget, const QString& what, qreal ratio) {
        if (m_out.isEmpty())
            return;
        QImage image(widget->size() * ratio, QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::white);
        widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        image.save(
            QDir(m_out).filePath(QStringLiteral("%1-%2-%3x.png").arg(m_tag, what).arg(ratio)));
    }

    void Record(const QString& page, qreal ratio, const Surface& s) {
        const QString where = QStringLiteral("%1 %2 ×%3").arg(m_tag, page).arg(ratio);
        for (const QString& f : Faults(s))
            m_faults << where + ": " + f;
        if (m_report) {
            for (const Element& e : s.elements) {
                if (e.ink.isNull())
                    continue;
                std::printf("%s: %s, %zu lines, ink %s, limit %s\n", qPrintable(where),
                            qPrintable(e.name), e.baselines.size(), qPrintable(Box(e.ink)),
                            qPrintable(Box(e.limit)));
            }
        }
    }

    QTemporaryDir m_cwd;
    bool m_report = false;
    QString m_out;
    QString m_tag;
    QStringList m_faults;
};

QTEST_MAIN(RenderFitTest)
#include "render_fit_test.moc"
