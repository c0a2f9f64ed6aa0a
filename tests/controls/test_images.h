// Small solid-colour PNGs written to a temporary folder, for the controls to load.
#pragma once

#include <QColor>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstdint>
#include <string>

namespace orvandel::test {

class ImageFolder {
public:
    // Writes a w x h image of `color` (straight alpha) and returns its absolute path.
    std::u16string Solid(const QString& name, int w, int h, const QColor& color) {
        QImage image(w, h, QImage::Format_ARGB32);
        image.fill(color);
        return Save(name, image);
    }
    std::u16string Save(const QString& name, const QImage& image) {
        const QString path = m_dir.filePath(name);
        image.save(path, "png");
        return path.toStdU16String();
    }
    // A complete, valid grey PNG of w x h black pixels: a few kilobytes on disk for
    // a picture of w * h bytes and more once decoded.
    std::u16string Declared(const QString& name, int w, int h) {
        QByteArray header(13, '\0');
        qToBigEndian<quint32>(static_cast<quint32>(w), header.data());
        qToBigEndian<quint32>(static_cast<quint32>(h), header.data() + 4);
        header[8] = 8;  // bit depth; colour type 0 (grey), no interlace
        // Every row: filter byte 0 and w zero samples; qCompress puts a 4-byte
        // length before the zlib stream.
        const QByteArray rows(static_cast<qsizetype>(h) * (w + 1), '\0');
        const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", header) +
                               Chunk("IDAT", qCompress(rows, 9).mid(4)) + Chunk("IEND", {});
        return Write(name, png);
    }
    // A valid PNG of `image` cut after `keep` bytes (header intact, data missing).
    std::u16string Truncated(const QString& name, const QImage& image, int keep) {
        const std::u16string path = Save(name, image);
        QFile file(QString::fromStdU16String(path));
        file.open(QIODevice::ReadOnly);
        const QByteArray bytes = file.readAll();
        file.close();
        return Write(name, bytes.left(keep));
    }
    std::u16string Write(const QString& name, const QByteArray& bytes) {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(bytes);
        return path.toStdU16String();
    }
    QString Dir() const { return m_dir.path(); }
    // One chunk: length, type, data and CRC.
    static QByteArray Chunk(const char* type, const QByteArray& data) {
        QByteArray body = QByteArray(type, 4) + data;
        std::uint32_t crc = 0xFFFFFFFFu;
        for (const char byte : body) {
            crc ^= static_cast<std::uint8_t>(byte);
            for (int k = 0; k < 8; ++k) {
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
            }
        }
        QByteArray out(4, '\0');
        qToBigEndian<quint32>(static_cast<quint32>(data.size()), out.data());
        QByteArray tail(4, '\0');
        qToBigEndian<quint32>(crc ^ 0xFFFFFFFFu, tail.data());
        return out + body + tail;
    }

    std::u16string Missing() const {
        return m_dir.filePath(QStringLiteral("absent.png")).toStdU16String();
    }

private:
    QTemporaryDir m_dir;
};

// Colour distance small enough for blending and rounding differences.
inline bool Near(QColor a, QColor b, int tolerance = 3) {
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

}  // namespace orvandel::test
