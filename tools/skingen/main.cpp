// orvandel-skingen OUTPUT_DIR [CONTACT_SHEET.png]
// Draws every skin image into OUTPUT_DIR; the same bytes on every run.
#include <QDir>
#include <QGuiApplication>
#include <QImageWriter>
#include <cstdio>

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

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: orvandel-skingen OUTPUT_DIR [CONTACT_SHEET.png]\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    const std::vector<skingen::SkinImage> images = skingen::DrawSkin();
    for (const auto& i : images) {
        if (!Save(i.image, out.filePath(i.file))) {
            return 1;
        }
    }
    if (argc >= 3 && !Save(skingen::ContactSheet(images), QString::fromLocal8Bit(argv[2]))) {
        return 1;
    }
    std::printf("%zu images written to %s\n", images.size(), argv[1]);
    return 0;
}
