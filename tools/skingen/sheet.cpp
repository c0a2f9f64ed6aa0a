#include "sheet.h"

#include <QFont>
#include <QPainter>
#include <map>

namespace skingen {
namespace {

const QColor kSheet(0xF6, 0xF6, 0xF4);
const QColor kLabel(0x55, 0x55, 0x55);

QFont LabelFont(int px, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(px);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

const QImage& Find(const std::vector<SkinImage>& images, const QString& file) {
    static const QImage none;
    for (const auto& i : images) {
        if (i.file == file) {
            return i.image;
        }
    }
    return none;
}

// The main window's colour bands and chrome, as the window paints them.
void WindowFrame(QPainter& p, const std::vector<SkinImage>& im, const QString& caption) {
    p.fillRect(0, 0, 320, 460, Qt::white);
    p.fillRect(0, 0, 320, 62, kHeader);
    p.fillRect(0, 62, 320, 4, kAccent);
    p.fillRect(0, 66, 320, 64, kBand);
    p.fillRect(0, 140, 320, 280, kContent);
    p.fillRect(0, 410, 320, 50, kFooter);
    p.drawImage(0, 130, Find(im, "finder_win_bg_shadow.png"));
    p.drawImage(12, 10, Find(im, "finder_win_icon_apicon.png"));
    p.drawImage(67, 13, Find(im, "finder_win_icon_apname.png"));
    p.drawImage(272, 13, Find(im, "finder_win_btn_setting_normal.png"));
    p.drawImage(15, 430, Find(im, "finder_win_icon_logo.png"));
    p.drawImage(208, 420, Find(im, "finder_win_btn_commbutton_normal_resize.png"));
    p.setPen(Qt::white);
    p.setFont(LabelFont(15, true));
    p.drawText(QRect(208, 420, 100, 30), Qt::AlignCenter, caption);
}

void TextBlock(QPainter& p, QRect r, const QString& text, QColor color, int px, bool bold) {
    p.setPen(color);
    p.setFont(LabelFont(px, bold));
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, text);
}

QImage MockStep(const std::vector<SkinImage>& im) {
    QImage img(320, 460, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    WindowFrame(p, im, QStringLiteral("Search"));
    TextBlock(p, QRect(12, 70, 296, 58), QStringLiteral("Sample title text"),
              QColor(0x3C, 0x3C, 0x3C), 15, false);
    TextBlock(p, QRect(12, 143, 296, 17), QStringLiteral("Sample step heading"),
              QColor(0x1E, 0x1E, 0x1E), 12, true);
    TextBlock(p, QRect(12, 163, 296, 48), QStringLiteral("Sample step body text, two lines of it."),
              QColor(0x1E, 0x1E, 0x1E), 12, false);
    p.drawImage(28, 214, Find(im, "finder_win_diagram_diagram1.png"));
    p.drawImage(147, 389, Find(im, "finder_win_icon_dot_focus.png"));
    p.drawImage(163, 389, Find(im, "finder_win_icon_dot_normal.png"));
    p.drawImage(292, 281, Find(im, "finder_win_btn_next_normal.png"));
    p.drawImage(3, 281, Find(im, "finder_win_btn_previous_disable.png"));
    return img;
}

QImage MockNoInternet(const std::vector<SkinImage>& im) {
    QImage img(320, 460, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    WindowFrame(p, im, QStringLiteral("Search"));
    p.drawImage(17, 77, Find(im, "finder_win_icon_error.png"));
    TextBlock(p, QRect(68, 70, 240, 58), QStringLiteral("Sample title text"),
              QColor(0x3C, 0x3C, 0x3C), 15, false);
    TextBlock(p, QRect(12, 143, 296, 17), QStringLiteral("Sample line"), QColor(0x1E, 0x1E, 0x1E),
              12, false);
    p.drawImage(28, 214, Find(im, "finder_win_diagram_internet.png"));
    return img;
}

QImage MockLaunch(const std::vector<SkinImage>& im) {
    QImage img(320, 460, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    WindowFrame(p, im, QString());
    p.drawImage(0, 60, Find(im, "finder_win_startup_image_launch.png"));
    p.drawImage(140, 320, Find(im, "finder_win_icon_waiting_indicator3.png"));
    p.fillRect(208, 420, 100, 30, kFooter);  // the buttons appear after the launch
    p.fillRect(272, 13, 36, 36, kHeader);
    return img;
}

}  // namespace

QImage ContactSheet(const std::vector<SkinImage>& images) {
    constexpr int kWidth = 1100;
    constexpr int kMargin = 24;
    // Lay out once to measure, once to draw.
    auto layout = [&](QPainter* p) {
        int y = kMargin;
        if (p != nullptr) {
            p->setPen(QColor(0x20, 0x20, 0x20));
            p->setFont(LabelFont(20, true));
            p->drawText(kMargin, y + 20, QStringLiteral("Orvandel skin"));
        }
        y += 40;
        const std::array<QImage, 3> mocks = {MockStep(images), MockNoInternet(images),
                                             MockLaunch(images)};
        int x = kMargin;
        for (const QImage& m : mocks) {
            if (p != nullptr) {
                p->fillRect(x - 1, y - 1, 322, 462, QColor(0xC8, 0xC8, 0xC8));
                p->drawImage(x, y, m);
            }
            x += 320 + 40;
        }
        y += 460 + 36;

        std::vector<QString> groups;
        for (const auto& i : images) {
            if (std::find(groups.begin(), groups.end(), i.group) == groups.end()) {
                groups.push_back(i.group);
            }
        }
        for (const QString& g : groups) {
            if (p != nullptr) {
                p->setPen(QColor(0x20, 0x20, 0x20));
                p->setFont(LabelFont(15, true));
                p->drawText(kMargin, y + 15, g);
            }
            y += 28;
            int cx = kMargin;
            int row_h = 0;
            for (const auto& i : images) {
                if (i.group != g) {
                    continue;
                }
                const int scale = i.image.width() <= 110 ? 2 : 1;
                const QSize s = i.image.size() * scale;
                const int tile_w = qMax(s.width() + 16, 96);
                const int tile_h = s.height() + 16;
                if (cx + tile_w > kWidth - kMargin) {
                    cx = kMargin;
                    y += row_h + 30;
                    row_h = 0;
                }
                if (p != nullptr) {
                    p->fillRect(cx, y, tile_w, tile_h, i.background);
                    const QImage big =
                        i.image.scaled(s, Qt::IgnoreAspectRatio, Qt::FastTransformation);
                    p->drawImage(cx + (tile_w - s.width()) / 2, y + 8, big);
                    QString label = i.file;
                    label.remove(QStringLiteral("finder_win_")).remove(QStringLiteral(".png"));
                    p->setPen(kLabel);
                    p->setFont(LabelFont(9));
                    const QString text = QStringLiteral("%1  %2x%3")
                                             .arg(label)
                                             .arg(i.image.width())
                                             .arg(i.image.height());
                    p->drawText(QRect(cx, y + tile_h + 2, qMax(tile_w, 172), 14), Qt::AlignLeft,
                                text);
                }
                cx += qMax(tile_w, 172) + 14;
                row_h = qMax(row_h, tile_h);
            }
            y += row_h + 44;
        }
        return y;
    };
    const int height = layout(nullptr);
    QImage sheet(kWidth, height, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(kSheet);
    QPainter p(&sheet);
    p.setRenderHint(QPainter::TextAntialiasing);
    layout(&p);
    return sheet;
}

}  // namespace skingen
