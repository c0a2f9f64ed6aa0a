// The About box: geometry per language, the links it opens, the settings file it
// rewrites, how it ends, and what it looks like.
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "about/dialog_about.h"
#include "about/link_text.h"
#include "controls/button_operate.h"
#include "localization/ui_strings.h"
#include "tests/fakes/url_recorder.h"

using namespace orvandel;

namespace {

using test::UrlRecorder;

QString Href(const std::u16string& markup) {
    const QRegularExpression re(QStringLiteral("href=\"([^\"]*)\""));
    return re.match(QString::fromStdU16String(markup)).captured(1);
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

class TestAboutDialog : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    UrlRecorder m_recorder;

    std::filesystem::path Settings() const {
        return std::filesystem::path(m_dir.path().toStdString()) / "setting.cfg";
    }

    // Clicks the label on a grid and returns every address opened, with the
    // number of clicks that opened nothing.
    QSet<QString> ClickGrid(QLabel* label, int* inert_clicks) {
        QSet<QString> urls;
        *inert_clicks = 0;
        for (int y = 1; y < label->height(); y += 3) {
            for (int x = 1; x < label->width(); x += 4) {
                m_recorder.opened.clear();
                QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
                if (m_recorder.opened.isEmpty()) {
                    ++*inert_clicks;
                }
                for (const QUrl& url : m_recorder.opened) {
                    urls.insert(url.toString());
                }
            }
        }
        return urls;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_recorder, "Open");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_recorder, "Open");
    }
    void cleanupTestCase() {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }
    void init() { m_recorder.opened.clear(); }

    void geometry_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("versionHeight");
        QTest::addColumn<int>("supportTop");
        QTest::addColumn<int>("supportHeight");
        QTest::addColumn<QString>("okLabel");
        QTest::newRow("English") << kEnglish << "About Orvandel" << 42 << 70 << 42 << "OK";
        QTest::newRow("Traditional Chinese")
            << kTraditionalChinese << "關於 Orvandel" << 42 << 77 << 28 << "確認";
        QTest::newRow("Simplified Chinese")
            << kSimplifiedChinese << "关于 Orvandel" << 42 << 77 << 28 << "确认";
        QTest::newRow("Japanese") << kJapanese << "Orvandel について" << 52 << 82 << 28 << "OK";
        // An unknown id keeps the English set but not the Japanese corrections.
        QTest::newRow("unknown id 5") << 5 << "About Orvandel" << 42 << 70 << 42 << "OK";
    }
    void geometry() {
        QFETCH(int, language);
        QFETCH(QString, caption);
        QFETCH(int, versionHeight);
        QFETCH(int, supportTop);
        QFETCH(int, supportHeight);
        QFETCH(QString, okLabel);

        CDialogAbout dialog(language, Settings());
        QCOMPARE(dialog.windowTitle(), caption);
        QCOMPARE(dialog.size(), QSize(300, 225));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QVERIFY(dialog.isModal());

        auto* version = dialog.findChild<QLabel*>(QStringLiteral("aboutVersionText"));
        auto* support = dialog.findChild<QLabel*>(QStringLiteral("aboutSupportText"));
        auto* legal = dialog.findChild<QLabel*>(QStringLiteral("aboutLegalText"));
        auto* ok = dialog.findChild<CButtonOperate*>(QStringLiteral("aboutOkButton"));
        QVERIFY(version && support && legal && ok);
        QCOMPARE(version->geometry(), QRect(20, 20, 260, versionHeight));
        QCOMPARE(support->geometry(), QRect(20, supportTop, 260, supportHeight));
        QCOMPARE(legal->geometry(), QRect(20, 120, 260, 28));
        QCOMPARE(ok->geometry(), QRect(247, 185, 41, 30));
        QVERIFY(ok->IsShown());

        UiStrings strings(Settings());
        strings.SetLanguage(language);
        QCOMPARE(QString::fromStdU16String(strings.AboutOkButton.normal().label), okLabel);

        // Every text must fit its rectangle, or the links would be cut off.
        for (QLabel* label : {version, support, legal}) {
            QVERIFY2(label->heightForWidth(label->width()) <= label->height(),
                     qPrintable(label->objectName()));
            QCOMPARE(label->font().pixelSize(), dialog.TextPixelSize());
        }
        QVERIFY(dialog.TextPixelSize() >= 9 && dialog.TextPixelSize() <= 15);
        QVERIFY(!legal->text().contains(QLatin1String("<a")));
    }

    void linksOpenTheirAddress_data() {
        QTest::addColumn<int>("language");
        QTest::newRow("English") << kEnglish;
        QTest::newRow("Traditional Chinese") << kTraditionalChinese;
        QTest::newRow("Simplified Chinese") << kSimplifiedChinese;
        QTest::newRow("Japanese") << kJapanese;
    }
    void linksOpenTheirAddress() {
        QFETCH(int, language);
        UiStrings strings(Settings());
        strings.SetLanguage(language);
        const QString product = Href(strings.AboutVersionText.text);
        const QString support = Href(strings.AboutSupportText.text);
        QVERIFY(product.startsWith(QLatin1String("https://")));
        QVERIFY(support.startsWith(QLatin1String("https://")));
        QVERIFY(product != support);

        CDialogAbout dialog(language, Settings());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const struct {
            const char* name;
            QString expected;
        } cases[] = {{"aboutVersionText", product}, {"aboutSupportText", support}};
        for (const auto& c : cases) {
            auto* label = dialog.findChild<QLabel*>(QLatin1String(c.name));
            QVERIFY(label);
            int inert = 0;
            const QSet<QString> urls = ClickGrid(label, &inert);
            QCOMPARE(urls, QSet<QString>{c.expected});
            // Most of the label is text beside the link: those clicks open nothing.
            QVERIFY2(inert > 0, c.name);
            // The first line never holds the link.
            m_recorder.opened.clear();
            QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, QPoint(3, 5));
            QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier,
                              QPoint(label->width() - 2, label->height() - 2));
            QVERIFY(m_recorder.opened.isEmpty());
        }
        // The legal notice and the white area open nothing.
        m_recorder.opened.clear();
        QTest::mouseClick(dialog.findChild<QLabel*>(QStringLiteral("aboutLegalText")),
                          Qt::LeftButton, Qt::NoModifier, QPoint(10, 5));
        QTest::mouseClick(&dialog, Qt::LeftButton, Qt::NoModifier, QPoint(150, 160));
        QVERIFY(m_recorder.opened.isEmpty());
    }

    void openingRewritesSettings_data() {
        QTest::addColumn<int>("language");
        QTest::newRow("Japanese over Simplified Chinese") << kJapanese;
        QTest::newRow("English over Simplified Chinese") << kEnglish;
        QTest::newRow("unknown id over Simplified Chinese") << 5;
    }
    void openingRewritesSettings() {
        QFETCH(int, language);
        {
            UiStrings before(Settings());
            before.SaveLanguage(kSimplifiedChinese);
        }
        const std::string written_before = ReadFile(Settings());
        CDialogAbout dialog(language, Settings());
        QCOMPARE(dialog.Language(), language);
        UiStrings after(Settings());
        after.LoadSettings();
        QCOMPARE(after.Language(), language);
        QVERIFY(ReadFile(Settings()) != written_before);
        QCOMPARE(ReadFile(Settings()), "LANGUAGE\t" + std::to_string(language) + "\r\n");
    }

    void ending_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result");
        QTest::newRow("OK button") << "ok" << int(QDialog::Accepted);
        QTest::newRow("Enter") << "enter" << int(QDialog::Accepted);
        QTest::newRow("Escape") << "escape" << int(QDialog::Rejected);
        QTest::newRow("close box") << "close" << int(QDialog::Rejected);
    }
    void ending() {
        QFETCH(QString, how);
        QFETCH(int, result);
        CDialogAbout dialog(kEnglish, Settings());
        QTimer::singleShot(0, &dialog, [&dialog, how] {
            auto* ok = dialog.findChild<CButtonOperate*>(QStringLiteral("aboutOkButton"));
            if (how == u"ok") {
                QTest::mouseClick(ok, Qt::LeftButton, Qt::NoModifier, QPoint(20, 15));
            } else if (how == u"enter") {
                QTest::keyClick(&dialog, Qt::Key_Return);
            } else if (how == u"escape") {
                QTest::keyClick(&dialog, Qt::Key_Escape);
            } else {
                dialog.close();
            }
        });
        // A dialog that ignored the action would hang here: give up after 5 s.
        QTimer::singleShot(5000, &dialog, [&dialog] { dialog.done(-1); });
        QCOMPARE(dialog.exec(), result);
        QVERIFY(!dialog.isVisible());
        QVERIFY(m_recorder.opened.isEmpty());
    }

    void painting_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("file");
        QTest::newRow("English") << kEnglish << "about_en.png";
        QTest::newRow("Traditional Chinese") << kTraditionalChinese << "about_zh_tw.png";
        QTest::newRow("Simplified Chinese") << kSimplifiedChinese << "about_zh_cn.png";
        QTest::newRow("Japanese") << kJapanese << "about_ja.png";
    }
    void painting() {
        QFETCH(int, language);
        QFETCH(QString, file);
        CDialogAbout dialog(language, Settings());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QImage image = dialog.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(image.size(), QSize(300, 225));
        if (const QByteArray dir = qgetenv("ORVANDEL_GRAB_DIR"); !dir.isEmpty()) {
            image.save(QDir(QString::fromLocal8Bit(dir)).filePath(file));
        }
        const QRgb white = qRgb(255, 255, 255);
        const QRgb footer = qRgb(25, 25, 25);
        QCOMPARE(image.pixel(295, 5), white);    // upper area
        QCOMPARE(image.pixel(150, 160), white);  // between upper area and footer
        QCOMPARE(image.pixel(5, 200), footer);   // footer strip, left of the button
        QCOMPARE(image.pixel(240, 220), footer);
        // Text is drawn in each label; the OK button covers part of the footer and
        // carries a white caption.
        for (const char* name : {"aboutVersionText", "aboutSupportText", "aboutLegalText"}) {
            const QRect r = dialog.findChild<QLabel*>(QLatin1String(name))->geometry();
            int dark = 0;
            for (int y = r.top(); y <= r.bottom(); ++y) {
                for (int x = r.left(); x <= r.right(); ++x) {
                    dark += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
                }
            }
            QVERIFY2(dark > 20, name);
        }
        // The legal line is the same Latin text in every language, and drawn as wide
        // as in English: one face and size for the Latin text of all four.
        auto legal_ink_width = [](CDialogAbout& d, const QImage& shot) {
            const QRect r = d.findChild<QLabel*>(QStringLiteral("aboutLegalText"))->geometry();
            int left = r.right(), right = r.left() - 1;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    if (qGray(shot.pixel(x, y)) < 128) {
                        left = std::min(left, x);
                        right = std::max(right, x);
                    }
            return right - left + 1;
        };
        CDialogAbout english(kEnglish, Settings());
        english.show();
        QVERIFY(QTest::qWaitForWindowExposed(&english));
        const QImage english_image = english.grab().toImage();
        QCOMPARE(legal_ink_width(dialog, image), legal_ink_width(english, english_image));
        QCOMPARE(dialog.TextPixelSize(), english.TextPixelSize());
        int bright = 0;
        int not_footer = 0;
        for (int y = 185; y < 215; ++y) {
            for (int x = 247; x < 288; ++x) {
                bright += qGray(image.pixel(x, y)) > 230 ? 1 : 0;
                not_footer += image.pixel(x, y) != footer ? 1 : 0;
            }
        }
        QVERIFY(not_footer > 600);  // the button face is drawn
        QVERIFY(bright > 5);        // its white caption
    }

    void linkMarkup_data() {
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QString>("html");
        QTest::newRow("plain with line feed") << "a < b & c\nd"
                                              << "a &lt; b &amp; c<br>d";
        QTest::newRow("one link") << "Go\n<a href=\"https://x.example/p?a=1&b=2\">Here</a>."
                                  << "Go<br><a href=\"https://x.example/p?a=1&amp;b=2\">Here</a>.";
        QTest::newRow("script address shown as label") << "<a href=\"javascript:alert(1)\">Here</a>"
                                                       << "Here";
        QTest::newRow("markup in the label is text")
            << "<a href=\"http://x.example/\"><img src=x></a>"
            << "<a href=\"http://x.example/\">&lt;img src=x&gt;</a>";
        QTest::newRow("unterminated anchor is literal")
            << "<a href=\"http://x.example/\">Here"
            << "&lt;a href=&quot;http://x.example/&quot;&gt;Here";
        QTest::newRow("empty") << ""
                               << "";
    }
    void linkMarkup() {
        QFETCH(QString, markup);
        QFETCH(QString, html);
        QCOMPARE(LinkMarkupToRichText(markup.toStdU16String()), html);
    }
};

QTEST_MAIN(TestAboutDialog)
#include "about_dialog_test.moc"
