#include <QGlyphRun>
#include <QRawFont>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QtTest>

#include "controls/button_operate.h"
#include "controls/skin_bitmap.h"
#include "controls/skin_font.h"
#include "localization/ui_strings.h"
#include "platform/qt/fonts.h"
#include "test_images.h"

using namespace orvandel;
using orvandel::test::Near;

namespace {
const QColor kBackground(0, 0, 200);
const QColor kNormal(255, 0, 0);
const QColor kOver(0, 255, 0);
const QColor kPress(255, 255, 0);
const QColor kDisable(128, 128, 128);
}  // namespace

class ButtonOperateTest : public QObject {
    Q_OBJECT

private:
    test::ImageFolder m_images;
    std::u16string m_normal, m_over, m_press, m_disable;

    // A parent with a plain background and a 40 x 20 button at 10, 10.
    struct Scene {
        QWidget parent;
        CButtonOperate* button;
        Scene() : button(new CButtonOperate(&parent)) {
            parent.resize(80, 60);
            QPalette pal;
            pal.setColor(QPalette::Window, kBackground);
            parent.setPalette(pal);
            parent.setAutoFillBackground(true);
            button->setGeometry(10, 10, 40, 20);
        }
        QColor At(int x, int y) { return parent.grab().toImage().pixelColor(x, y); }
    };

    void LoadAll(CButtonOperate& b) {
        QVERIFY(b.SetStateImage(m_normal, 0));
        QVERIFY(b.SetStateImage(m_over, 1));
        QVERIFY(b.SetStateImage(m_press, 2));
        QVERIFY(b.SetStateImage(m_disable, 3));
    }

private slots:
    void initTestCase() {
        m_normal = m_images.Solid("n.png", 40, 20, kNormal);
        m_over = m_images.Solid("o.png", 40, 20, kOver);
        m_press = m_images.Solid("p.png", 40, 20, kPress);
        m_disable = m_images.Solid("d.png", 40, 20, kDisable);
    }

    void premultiplyRoundsTowardZero() {
        QImage src(2, 1, QImage::Format_ARGB32);
        src.setPixel(0, 0, qRgba(3, 1, 200, 128));
        src.setPixel(1, 0, qRgba(255, 77, 10, 0));
        // The first pixel is one where rounding to nearest gives other bytes.
        QVERIFY(qRed(qPremultiply(src.pixel(0, 0))) != 1);
        const QImage loaded = LoadSkinBitmap(m_images.Save("alpha.png", src), src.size());
        QCOMPARE(loaded.format(), QImage::Format_ARGB32_Premultiplied);
        const QRgb p = reinterpret_cast<const QRgb*>(loaded.constScanLine(0))[0];
        QCOMPARE(qAlpha(p), 128);
        QCOMPARE(qRed(p), 3 * 128 / 255);
        QCOMPARE(qGreen(p), 0);
        QCOMPARE(qBlue(p), 200 * 128 / 255);
        QCOMPARE(reinterpret_cast<const QRgb*>(loaded.constScanLine(0))[1], QRgb(0));
    }

    void opaqueAndFailedLoads() {
        QImage rgb(3, 2, QImage::Format_RGB32);
        rgb.fill(QColor(10, 20, 30));
        const QImage opaque = LoadSkinBitmap(m_images.Save("rgb.png", rgb), rgb.size());
        QVERIFY(!opaque.isNull());
        QCOMPARE(opaque.pixelColor(2, 1), QColor(10, 20, 30));

        QVERIFY(LoadSkinBitmap(m_images.Missing(), QSize(10, 10)).isNull());
        QVERIFY(LoadSkinBitmap(u"", QSize(10, 10)).isNull());
        QTemporaryFile junk(QDir::tempPath() + "/junkXXXXXX.png");
        QVERIFY(junk.open());
        junk.write("not a png at all");
        junk.close();
        QVERIFY(LoadSkinBitmap(junk.fileName().toStdU16String(), QSize(10, 10)).isNull());
    }

    void facePerState() {
        Scene s;
        LoadAll(*s.button);
        s.parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s.parent));
        QVERIFY(Near(s.At(20, 15), kNormal));

        QTest::mouseMove(s.button, QPoint(5, 5));
        QTRY_VERIFY(Near(s.At(20, 15), kOver));

        // Pressed beats hover.
        QTest::mousePress(s.button, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(Near(s.At(20, 15), kPress));
        QTest::mouseRelease(s.button, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(Near(s.At(20, 15), kOver));

        // Disabled while hovered keeps the hover face; the Disable image never shows.
        s.button->setEnabled(false);
        QVERIFY(Near(s.At(20, 15), kOver));

        QTest::mouseMove(&s.parent, QPoint(70, 50));
        QTRY_VERIFY(Near(s.At(20, 15), kNormal));
        QVERIFY(Near(s.At(5, 5), kBackground));
    }

    void shownFlagHidesTheFace() {
        Scene s;
        LoadAll(*s.button);
        s.parent.show();
        s.button->SetShown(false);
        QVERIFY(!s.button->IsShown());
        QVERIFY(s.button->isVisible());
        QVERIFY(Near(s.At(20, 15), kBackground));
        s.button->SetShown(true);
        QVERIFY(Near(s.At(20, 15), kNormal));
    }

    void drawingSizeComesFromPressImage() {
        Scene s;
        LoadAll(*s.button);
        QVERIFY(s.button->SetStateImage(m_images.Solid("small.png", 10, 10, kPress), 2));
        s.parent.show();
        QVERIFY(Near(s.At(10 + 5, 10 + 5), kNormal));
        QVERIFY(Near(s.At(10 + 20, 10 + 5), kBackground));
        QCOMPARE(s.button->sizeHint(), QSize(10, 10));
    }

    void stateImageFailuresKeepThePrevious() {
        Scene s;
        LoadAll(*s.button);
        s.parent.show();
        QVERIFY(!s.button->SetStateImage(m_images.Missing(), 0));
        QVERIFY(!s.button->SetStateImage(std::u16string(261, u'a'), 0));
        QVERIFY(Near(s.At(20, 15), kNormal));
        // A state outside 0-3 is the Normal image.
        QVERIFY(s.button->SetStateImage(m_over, 7));
        QVERIFY(Near(s.At(20, 15), kOver));
        QVERIFY(s.button->SetStateImage(m_normal, -1));
        QVERIFY(Near(s.At(20, 15), kNormal));
    }

    void captionCentredInNormalImage() {
        Scene s;
        const std::u16string dark = m_images.Solid("dark.png", 100, 30, QColor(20, 20, 20));
        for (int state = 0; state < 4; ++state) {
            QVERIFY(s.button->SetStateImage(dark, state));
        }
        // The window is larger than the image; the caption still centres on the image.
        s.button->setGeometry(0, 0, 160, 60);
        s.parent.resize(160, 60);
        s.button->SetCaption(u"Search");
        s.button->SetCaptionColor(0x00FFFFFF);
        s.parent.show();
        const QImage img = s.parent.grab().toImage();
        QRect ink;
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                if (img.pixelColor(x, y).lightness() > 160) {
                    ink |= QRect(x, y, 1, 1);
                }
            }
        }
        QVERIFY(!ink.isEmpty());
        QVERIFY2(qAbs(ink.center().x() - 50) <= 2, qPrintable(QString::number(ink.center().x())));
        QVERIFY2(qAbs(ink.center().y() - 15) <= 3, qPrintable(QString::number(ink.center().y())));
        QVERIFY(ink.width() > 30);
    }

    // Without a skin the caption still shows whole, centred in the button itself.
    void captionWithoutImagesCentredInTheButton() {
        Scene s;
        s.button->setGeometry(20, 15, 100, 30);
        s.parent.resize(160, 60);
        QVERIFY(!s.button->SetStateImage(m_images.Missing(), 0));
        s.button->SetCaption(u"Search");
        s.button->SetCaptionColor(0x00FFFFFF);
        s.parent.show();
        const QImage img = s.parent.grab().toImage();
        QRect ink;
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                if (img.pixelColor(x, y).lightness() > 160) {
                    ink |= QRect(x, y, 1, 1);
                }
            }
        }
        QVERIFY(ink.width() > 30);
        QVERIFY2(QRect(21, 16, 98, 28).contains(ink), qPrintable(QString("%1,%2 %3x%4")
                                                                     .arg(ink.x())
                                                                     .arg(ink.y())
                                                                     .arg(ink.width())
                                                                     .arg(ink.height())));
        QVERIFY(qAbs(ink.center().x() - 70) <= 2);
        QVERIFY(qAbs(ink.center().y() - 30) <= 3);
    }

    // The layout's font family does not exist here; captions in Chinese and
    // Japanese must still come out as glyphs, not boxes.
    void skinFontDrawsCjk() {
        const QFont font = SkinFont(17, 700);
        QCOMPARE(font.pixelSize(), 17);
        QCOMPARE(font.weight(), QFont::Bold);
        // The first face is a Latin one; the characters come from a fallback face.
        QTextLayout layout(QString(QChar(0x958B)) + QChar(0x691C), font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        bool cjk = !layout.glyphRuns().isEmpty();
        for (const QGlyphRun& run : layout.glyphRuns()) {
            for (quint32 glyph : run.glyphIndexes()) {
                cjk = cjk && glyph != 0;
            }
            cjk = cjk && run.rawFont().supportsCharacter(QChar(0x958B)) &&
                  run.rawFont().supportsCharacter(QChar(0x691C));
        }
        QVERIFY2(cjk, "no CJK-capable face behind the skin font (fonts-wqy-microhei missing?)");
    }

    // A layout height is the cell (ascent + descent) of the face that draws: the
    // largest whole em whose cell fits, measured on that face, not on the first
    // face of the family list.
    void cellFontIsSizedByTheFaceThatDraws_data() {
        QTest::addColumn<int>("cell");
        QTest::addColumn<int>("weight");
        QTest::addColumn<bool>("cjk");
        QTest::newRow("headline, Latin") << 17 << 400 << false;
        QTest::newRow("headline, CJK") << 17 << 400 << true;
        QTest::newRow("title, heavy, Latin") << 17 << 900 << false;
        QTest::newRow("body, CJK") << 16 << 400 << true;
        QTest::newRow("About text, Latin") << 15 << 400 << false;
        QTest::newRow("caption, bold, CJK") << 17 << 700 << true;
    }
    void cellFontIsSizedByTheFaceThatDraws() {
        QFETCH(int, cell);
        QFETCH(int, weight);
        QFETCH(bool, cjk);
        const QFont font = SkinCellFont(cell, weight, cjk ? SkinScript::kCjk : SkinScript::kLatin);
        QFont face(QLatin1String(cjk ? kCjkFamily : kLatinFamily));
        face.setWeight(static_cast<QFont::Weight>(weight));
        face.setPixelSize(font.pixelSize());
        QVERIFY2(QFontMetricsF(face).height() <= cell + 0.01,
                 qPrintable(QStringLiteral("%1 px em").arg(font.pixelSize())));
        face.setPixelSize(font.pixelSize() + 1);
        QVERIFY(QFontMetricsF(face).height() > cell);
    }

    void scriptIsTheDrawingFaces_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("cjk");
        QTest::newRow("English caption") << "Search Again" << false;
        QTest::newRow("ellipsis") << QString::fromUtf16(u"Searching …") << false;
        QTest::newRow("Japanese with Latin") << QString::fromUtf16(u"OK 検索") << true;
        QTest::newRow("kana only") << QString::fromUtf16(u"ステップ") << true;
        QTest::newRow("full-width colon") << QString::fromUtf16(u"版本：") << true;
    }
    void scriptIsTheDrawingFaces() {
        QFETCH(QString, text);
        QFETCH(bool, cjk);
        QCOMPARE(ScriptOf(text) == SkinScript::kCjk, cjk);
    }

    void skinFontDrawsEachScriptWithItsFace_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("cjk_face");  // the forms of the language's ideographs
        QTest::newRow("English") << kEnglish << "";
        QTest::newRow("Simplified Chinese") << kSimplifiedChinese << "Noto Sans CJK SC";
        QTest::newRow("Traditional Chinese") << kTraditionalChinese << "Noto Sans CJK TC";
        QTest::newRow("Japanese") << kJapanese << "Noto Sans CJK JP";
    }
    // Latin text in the Latin face (a CJK face would put the English ellipsis at
    // mid-height); Chinese and Japanese characters in the CJK face of the language's
    // forms (kanji drawn with Chinese forms look wrong to a Japanese reader), never
    // a box.
    void skinFontDrawsEachScriptWithItsFace() {
        QFETCH(int, language);
        QFETCH(QString, cjk_face);
        QTemporaryDir dir;
        UiStrings strings((dir.path() + QStringLiteral("/setting.cfg")).toStdString());
        strings.SetLanguage(language);
        const QFont font =
            SkinCellFont(17, QFont::Normal, SkinScript::kLatin, FormsOfLanguage(language));
        for (const UiTextElement* element :
             {&strings.SearchingTitle, &strings.IntroText, &strings.Step1Title}) {
            const QString text = QString::fromStdU16String(element->text);
            QTextLayout layout(text, font);
            layout.beginLayout();
            layout.createLine();
            layout.endLayout();
            for (int i = 0; i < text.size(); ++i) {
                const QChar c = text.at(i);
                if (c.isSpace()) {
                    continue;
                }
                const QList<QGlyphRun> runs = layout.glyphRuns(i, 1);
                QVERIFY2(runs.size() == 1 && !runs[0].glyphIndexes().isEmpty(), qPrintable(text));
                QVERIFY2(runs[0].glyphIndexes()[0] != 0,
                         qPrintable(QStringLiteral("box for ") + c));
                const QString face = runs[0].rawFont().familyName();
                const bool cjk = c.script() == QChar::Script_Han ||
                                 c.script() == QChar::Script_Hiragana ||
                                 c.script() == QChar::Script_Katakana;
                const QString expected = cjk                    ? cjk_face
                                         : language == kEnglish ? QString(kLatinFamily)
                                                                : QString();
                if (!expected.isEmpty()) {
                    QVERIFY2(face.compare(expected, Qt::CaseInsensitive) == 0,
                             qPrintable(QString(c) + QStringLiteral(" drawn with ") + face));
                }
            }
        }
    }

    void doubleClickIsASecondPress() {
        Scene s;
        LoadAll(*s.button);
        s.parent.show();
        QSignalSpy clicks(s.button, &QAbstractButton::clicked);
        QTest::mouseClick(s.button, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseDClick(s.button, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(s.button, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(clicks.count(), 2);
    }
};

QTEST_MAIN(ButtonOperateTest)
#include "button_operate_test.moc"
