// orvandel-skingen OUTPUT_DIR [CONTACT_SHEET.png]
//   Draws every skin image into OUTPUT_DIR, each also at twice its size
//   (name@2x.png); the same pixels on every run.
// orvandel-skingen --check SKIN_DIR
//   Draws the skin in memory and compares it, pixel by pixel, with the PNGs in
//   SKIN_DIR; exits 1 when a file differs, is missing or is not drawn here.
#include <QDir>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QSet>
#include <cstdio>
#include <cstdlib>

#include "art.h"
#include "sheet.h"

namespace {

bool Save(QImage image, const QString& path) {
    // Fixed resolution: otherwise it follows the screen and the bytes would too.
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    QImageWriter writer(path, "png");
    writer.setQuality(0);  // for PNG: strongest compression
    if (!writer.write(image)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path),
                     qPrintable(writer.errorString()));
        return false;
    }
    return true;
}

// Decoded pixels, not bytes: another zlib may compress the same pixels differently.
bool SamePixels(const QImage& drawn, const QString& path) {
    QImageReader reader(path, "png");
    const QImage stored = skingen::Straight(reader.read());
    if (stored.isNull()) {
        std::fprintf(stderr, "%s: cannot read: %s\n", qPrintable(path),
                     qPrintable(reader.errorString()));
        return false;
    }
    if (stored.size() != drawn.size()) {
        std::fprintf(stderr, "%s: %dx%d stored, %dx%d drawn\n", qPrintable(path), stored.width(),
                     stored.height(), drawn.width(), drawn.height());
        return false;
    }
    int pixels = 0;
    int largest = 0;
    for (int y = 0; y < drawn.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(stored.constScanLine(y));
        for (int x = 0; x < drawn.width(); ++x) {
            if (a[x] == b[x]) {
                continue;
            }
            ++pixels;
            for (int shift = 0; shift < 32; shift += 8) {
                largest = qMax(largest, std::abs(static_cast<int>((a[x] >> shift) & 0xFF) -
                                                 static_cast<int>((b[x] >> shift) & 0xFF)));
            }
        }
    }
    if (pixels != 0) {
        std::fprintf(stderr, "%s: %d pixels differ, by up to %d per channel\n", qPrintable(path),
                     pixels, largest);
    }
    return pixels == 0;
}

int Check(const QDir& dir, const std::vector<skingen::SkinImage>& images) {
    int bad = 0;
    QSet<QString> drawn;
    for (const auto& i : images) {
        drawn.insert(i.file);
        if (!SamePixels(i.image, dir.filePath(i.file))) {
            ++bad;
        }
    }
    for (const QString& file : dir.entryList({QStringLiteral("*.png")}, QDir::Files)) {
        if (!drawn.contains(file)) {
            std::fprintf(stderr, "%s: not drawn by the generator\n",
                         qPrintable(dir.filePath(file)));
            ++bad;
        }
    }
    if (bad != 0) {
        std::fprintf(stderr,
                     "%d of %zu skin files disagree with the generator; regenerate them with\n"
                     "  orvandel-skingen resources/img docs/skin-contact-sheet.png\n",
                     bad, images.size());
        return 1;
    }
    std::printf("%zu skin images match the generator\n", images.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    const bool check = argc == 3 && qstrcmp(argv[1], "--check") == 0;
    if (argc < 2 || (!check && qstrcmp(argv[1], "--check") == 0)) {
        std::fprintf(stderr,
                     "usage: orvandel-skingen OUTPUT_DIR [CONTACT_SHEET.png]\n"
                     "       orvandel-skingen --check SKIN_DIR\n");
        return 2;
    }
    const std::vector<skingen::SkinImage> images = skingen::DrawSkin();
    if (check) {
        return Check(QDir(QString::fromLocal8Bit(argv[2])), images);
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    for (const auto& i : images) {
        if (!Save(i.image, out.filePath(i.file))) {
            return 1;
        }
    }
    if (argc >= 3) {
        // The sheet shows the skin as drawn for ordinary screens.
        std::vector<skingen::SkinImage> plain;
        for (const auto& i : images) {
            if (!skingen::IsDense(i.file)) {
                plain.push_back(i);
            }
        }
        if (!Save(skingen::ContactSheet(plain), QString::fromLocal8Bit(argv[2]))) {
            return 1;
        }
    }
    std::printf("%zu images written to %s\n", images.size(), argv[1]);
    return 0;
}
