// Painting of the main window: every paint draws the whole client area into a back
// buffer and copies it once.
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "controls/skin_bitmap.h"
#include "controls/skin_color.h"
#include "controls/skin_font.h"
#include "mainwindow/finder_dialog.h"
#include "platform/qt/fonts.h"

namespace orvandel {

namespace {

constexpr int kHeadlinePixels = 17;
constexpr int kTitlePixels = 17;
constexpr int kBodyPixels = 16;
// Text is laid out without a bottom limit: the layout's bottom edges are not limits.
constexpr qreal kUnbounded = 100000.0;

// The line pitch the layout was made for: the Latin face's, and with CJK text in
// it WenQuanYi's cell at the same size. The Noto CJK faces that draw the
// ideographs declare much taller lines than their ideographs need; Qt would space
// the lines by them and push the third line out of its rectangle.
struct LinePitch {
    qreal ascent = 0;
    qreal descent = 0;
};
LinePitch PitchOf(const QFont& font, const QString& text, QPaintDevice* device) {
    const QFontMetricsF latin(font, device);
    LinePitch p{latin.ascent(), latin.descent()};
    if (ScriptOf(text) == SkinScript::kCjk) {
        QFont cell{QString(kCjkFamily)};
        cell.setPixelSize(font.pixelSize());
        cell.setWeight(font.weight());
        const QFontMetricsF m(cell, device);
        p.ascent = std::max(p.ascent, m.ascent());
        p.descent = std::max(p.descent, m.descent());
    }
    return p;
}

// Lines of `text` from (left, top), wrapped at `width` (none: one line), one pitch
// apart with their baselines where the pitch puts them, drawn whole.
void DrawLines(QPainter& painter, const QString& text, qreal left, qreal top, qreal width,
               bool wrap) {
    const LinePitch pitch = PitchOf(painter.font(), text, painter.device());
    QTextLayout layout(text, painter.font(), painter.device());
    QTextOption option;
    option.setWrapMode(wrap ? QTextOption::WordWrap : QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(wrap ? width : kUnbounded);
        line.setPosition(QPointF(0, y + pitch.ascent - line.ascent()));
        y += pitch.ascent + pitch.descent;
    }
    layout.endLayout();
    layout.draw(&painter, QPointF(left, top));
}

// Word-wrapped text that starts at the rectangle's top and wraps at right - left,
// drawn whole whatever the bottom edge says.
void DrawWrapped(QPainter& painter, const std::u16string& text, const WinRect& r) {
    if (text.empty())
        return;
    const qreal width = std::max(1, r.right - r.left);
    DrawLines(painter, QString::fromStdU16String(text), r.left, r.top, width, true);
}

// One line, vertically centred between top and bottom, never clipped.
void DrawSingleLineCentred(QPainter& painter, const std::u16string& text, const WinRect& r) {
    if (text.empty())
        return;
    const QString line = QString::fromStdU16String(text);
    const LinePitch pitch = PitchOf(painter.font(), line, painter.device());
    const int line_height = static_cast<int>(std::ceil(pitch.ascent + pitch.descent));
    const int top = r.top + (r.bottom - r.top - line_height) / 2;
    DrawLines(painter, line, r.left, top, kUnbounded, false);
}

}  // namespace

void CKestriTR400DeviceFinderDlg::paintEvent(QPaintEvent* /*event*/) {
    const QImage buffer = RenderClientArea(devicePixelRatioF());
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), buffer);
}

QImage CKestriTR400DeviceFinderDlg::RenderClientArea(qreal device_pixel_ratio) {
    const UiTextElement& mw = m_strings.MainWindow;
    const QSize size(std::max(1, mw.width), std::max(1, mw.height));
    QImage buffer(size * device_pixel_ratio, QImage::Format_RGB32);
    buffer.setDevicePixelRatio(device_pixel_ratio);
    buffer.fill(Qt::white);
    QPainter painter(&buffer);
    RenderClientArea(painter);
    return buffer;
}

void CKestriTR400DeviceFinderDlg::RenderClientArea(QPainter& painter) {
    Paint(painter);
}

void CKestriTR400DeviceFinderDlg::Paint(QPainter& painter) {
    const UiStrings& s = m_strings;
    if (!m_launch_done) {
        float alpha = 0.0f;
        std::u16string frame;
        {
            std::lock_guard lock(m_anim_lock);
            alpha = m_launch_alpha;
            frame = m_launch_frame_image;
        }
        FillBand(painter, s.FooterBar);
        DrawSkinImage(painter, s.MakerLogo);
        DrawSkinImage(painter, s.LaunchImage, alpha);
        const UiImageElement& at = s.LaunchIndicator[0];
        DrawSkinImage(painter, frame, at.width, at.height, at.left, at.top, 1.0f);
        return;
    }

    for (const UiTextElement* band :
         {&s.HeaderBar, &s.AccentLine, &s.IntroBand, &s.ContentArea, &s.FooterBar}) {
        FillBand(painter, *band);
    }
    for (const UiImageElement* image : {&s.HeaderShadow, &s.AppIcon, &s.AppName, &s.MakerLogo}) {
        DrawSkinImage(painter, *image);
    }
    const UiImageElement& diagram = s.Step1Diagram;
    DrawSkinImage(painter, m_slots.diagram, diagram.width, diagram.height, diagram.left,
                  diagram.top, 1.0f);
    const UiImageElement& dot1 = s.PageDot1.normal;
    DrawSkinImage(painter, m_slots.dot1, dot1.width, dot1.height, dot1.left, dot1.top, 1.0f);
    const UiImageElement& dot2 = s.PageDot2.normal;
    DrawSkinImage(painter, m_slots.dot2, dot2.width, dot2.height, dot2.left, dot2.top, 1.0f);

    // Header icon: each test on its own, so a later one may draw over an earlier one.
    if (!m_network_alive)
        DrawSkinImage(painter, s.ErrorIcon);
    if (!m_has_results && !m_is_searching && m_network_alive && m_has_searched) {
        DrawSkinImage(painter, s.WarningIcon);
    }
    if (m_is_searching && m_has_searched) {
        std::u16string frame;
        {
            std::lock_guard lock(m_anim_lock);
            frame = m_search_frame_image;
        }
        const UiImageElement& at = s.SearchIndicator[0];
        DrawSkinImage(painter, frame, at.width, at.height, at.left, at.top, 1.0f);
    }
    if (m_has_results && m_network_alive && m_has_searched && !m_is_searching) {
        DrawSkinImage(painter, s.OkIcon);
    }

    // The headline keeps the buffer's initial text colour, black.
    painter.setPen(Qt::black);
    if (m_fonts_language != s.Language()) {
        const SkinScript script = ScriptOfLanguage(s.Language());
        const CjkForms forms = FormsOfLanguage(s.Language());
        m_headline_font = SkinCellFont(kHeadlinePixels, QFont::Normal, script, forms);
        m_title_font = SkinCellFont(kTitlePixels, QFont::Black, script, forms);
        m_body_font = SkinCellFont(kBodyPixels, QFont::Normal, script, forms);
        m_fonts_language = s.Language();
    }
    painter.setFont(m_headline_font);
    DrawWrapped(painter, m_slots.headline, m_slots.headline_rect);

    painter.setPen(ToQColor(s.Step1Title.color));
    painter.setFont(m_title_font);
    if (IsChinese(s.Language())) {
        DrawSingleLineCentred(painter, m_slots.title, m_slots.title_rect);
    } else {
        DrawWrapped(painter, m_slots.title, m_slots.title_rect);
    }

    painter.setPen(ToQColor(s.Step1Text.color));
    painter.setFont(m_body_font);
    DrawWrapped(painter, m_slots.body, m_slots.body_rect);
}

void CKestriTR400DeviceFinderDlg::FillBand(QPainter& painter, const UiTextElement& band) {
    if (band.width <= 0 || band.height <= 0)
        return;
    painter.fillRect(QRect(band.left, band.top, band.width, band.height), ToQColor(band.color));
}

void CKestriTR400DeviceFinderDlg::DrawSkinImage(QPainter& painter, const UiImageElement& image,
                                                float opacity) {
    DrawSkinImage(painter, image.path, image.width, image.height, image.left, image.top, opacity);
}

// Natural size in logical pixels, cut at the rectangle's right and bottom, never
// scaled otherwise; on a dense device the @2x twin gives the same rectangle. The
// opacity multiplies the image's alpha.
void CKestriTR400DeviceFinderDlg::DrawSkinImage(QPainter& painter, const std::u16string& path,
                                                int width, int height, int left, int top,
                                                float opacity) {
    if (path.empty() || width <= 0 || height <= 0)
        return;
    const SkinBitmapSet& set = CachedImage(path, QSize(width, height));
    if (set.isNull())
        return;
    const QImage& image = set.For(PaintedDeviceRatio(painter));
    painter.save();
    painter.setOpacity(std::clamp(opacity, 0.0f, 1.0f));
    DrawSkinBitmap(painter, QPoint(left, top), image, QSize(width, height));
    painter.restore();
}

// Each path is drawn in one rectangle size (the two indicator lists share their
// files and their size), so the path alone keys the cache.
const SkinBitmapSet& CKestriTR400DeviceFinderDlg::CachedImage(const std::u16string& path,
                                                              QSize layout_size) {
    auto found = m_image_cache.find(path);
    if (found == m_image_cache.end()) {
        SkinBitmapSet set;
        set.plain = LoadSkinImage(path, layout_size);
        const std::u16string dense_path = DenseSkinPath(path);
        if (!set.plain.isNull() && !dense_path.empty()) {
            set.SetDense(LoadSkinImage(dense_path, layout_size));
        }
        found = m_image_cache.emplace(path, std::move(set)).first;
    }
    return found->second;
}

QImage CKestriTR400DeviceFinderDlg::LoadSkinImage(const std::u16string& path, QSize layout_size) {
    return LoadSkinBitmap(path, layout_size);
}

}  // namespace orvandel
