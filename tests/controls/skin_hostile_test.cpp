// Hostile skin files: ancillary chunks are never decoded, pixel data beyond what
// the declared size needs is refused, and either way the outcome is that of a
// missing file. A child process loads the two costly cases and reports its peak
// memory and the time taken.
#include <sys/resource.h>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include "controls/skin_bitmap.h"
#include "test_images.h"
#include "tests/sanitizers/sanitized.h"

using namespace orvandel;
using orvandel::test::ImageFolder;

namespace {

using orvandel::test::kSanitized;

const QByteArray kSignature("\x89PNG\r\n\x1a\n", 8);

QByteArray Header(int w, int h) {
    QByteArray fields(13, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(w), fields.data());
    qToBigEndian<quint32>(static_cast<quint32>(h), fields.data() + 4);
    fields[8] = 8;  // bit depth; colour type 0 (grey), no interlace
    return ImageFolder::Chunk("IHDR", fields);
}

// w x h grey pixels of `level`, each row its filter byte 0 and the samples.
QByteArray Pixels(int w, int h, char level) {
    QByteArray rows;
    for (int y = 0; y < h; ++y)
        rows += '\0' + QByteArray(w, level);
    return ImageFolder::Chunk("IDAT", qCompress(rows, 9).mid(4));
}

QByteArray Iend() {
    return ImageFolder::Chunk("IEND", {});
}

// 100 compressed text chunks, each inflating to 8 MB.
QByteArray ManyZtxt() {
    const QByteArray text =
        QByteArray("Comment\0\0", 9) + qCompress(QByteArray(8 * 1024 * 1024, 'a'), 9).mid(4);
    QByteArray png = kSignature + Header(8, 8);
    for (int i = 0; i < 100; ++i)
        png += ImageFolder::Chunk("zTXt", text);
    return png + Pixels(8, 8, 0x40) + Iend();
}

// An 8 x 8 picture whose pixel data inflates to 32 MB.
QByteArray OversizedIdat() {
    return kSignature + Header(8, 8) +
           ImageFolder::Chunk("IDAT", qCompress(QByteArray(32 * 1024 * 1024, '\0'), 9).mid(4)) +
           Iend();
}

qint64 PeakKiB() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

}  // namespace

class SkinHostileTest : public QObject {
    Q_OBJECT

private slots:
    void refusedLikeAMissingFile_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = kSignature + Header(8, 8) + Pixels(8, 8, 0x40);
        QByteArray bad_crc = Pixels(8, 8, 0x40);
        bad_crc[bad_crc.size() - 1] = static_cast<char>(bad_crc.back() ^ 1);
        QTest::newRow("100 zTXt chunks") << ManyZtxt();
        QTest::newRow("IDAT beyond the declared size") << OversizedIdat();
        QTest::newRow("IDAT with a wrong CRC") << kSignature + Header(8, 8) + bad_crc + Iend();
        QTest::newRow("unknown critical chunk") << good + ImageFolder::Chunk("QUUX", "x") + Iend();
        QTest::newRow("no IEND (cut)") << good;
        QTest::newRow("no pixel data") << kSignature + Header(8, 8) + Iend();
        QTest::newRow("chunk length past the end")
            << kSignature + Header(8, 8) + Pixels(8, 8, 0x40).left(20);
        QTest::newRow("70 KiB of text") << kSignature + Header(8, 8) +
                                               ImageFolder::Chunk("tEXt", QByteArray(70000, 'x')) +
                                               Pixels(8, 8, 0x40) + Iend();
    }
    void refusedLikeAMissingFile() {
        QFETCH(QByteArray, bytes);
        ImageFolder images;
        QVERIFY(LoadSkinBitmap(images.Write("hostile.png", bytes), QSize(8, 8)).isNull());
        QVERIFY(LoadSkinBitmap(images.Missing(), QSize(8, 8)).isNull());
    }

    // Text and other ancillary chunks within the allowance are dropped and the
    // pixels load as they are.
    void ancillaryChunksAreSkipped() {
        ImageFolder images;
        const QByteArray png =
            kSignature + Header(8, 8) + ImageFolder::Chunk("tEXt", "Title\0skin") +
            ImageFolder::Chunk("pHYs", QByteArray(9, '\1')) + Pixels(8, 8, 0x40) +
            ImageFolder::Chunk("zTXt", QByteArray("Note\0\0", 6) + qCompress("hello").mid(4)) +
            Iend();
        const QImage image = LoadSkinBitmap(images.Write("ok.png", png), QSize(8, 8));
        QCOMPARE(image.size(), QSize(8, 8));
        QCOMPARE(qGray(image.pixel(7, 7)), 0x40);
    }

    // Both costly files as the skin of a fresh process: start-up cost and peak
    // memory stay those of an ordinary start.
    void costlyFilesStayCheap() {
        ImageFolder images;
        images.Write("ztxt.png", ManyZtxt());
        images.Write("idat.png", OversizedIdat());
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ORVANDEL_CHILD_FOLDER", images.Dir());
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {"costlyFilesChild"});
        QVERIFY(child.waitForFinished(120000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
    }
    void costlyFilesChild() {
        const QString folder = qEnvironmentVariable("ORVANDEL_CHILD_FOLDER");
        if (folder.isEmpty())
            QSKIP("runs as a child of costlyFilesStayCheap");
        if (!kSanitized) {
            // Today's fault took gigabytes: fail here rather than swap the machine.
            const rlimit cap{1024UL << 20, 1024UL << 20};
            QCOMPARE(setrlimit(RLIMIT_AS, &cap), 0);
        }
        QVERIFY(QDir::setCurrent(folder));
        QElapsedTimer timer;
        timer.start();
        for (const char16_t* name : {u"ztxt.png", u"idat.png"})
            QVERIFY(LoadSkinBitmap(name, QSize(8, 8)).isNull());
        const qint64 ms = timer.elapsed();
        const qint64 peak = PeakKiB();
        qInfo("two hostile skin files: %lld ms, peak %lld KiB", ms, peak);
        QVERIFY2(ms < 1000, qPrintable(QString::number(ms)));
        if (!kSanitized)
            QVERIFY2(peak > 0 && peak < 60 * 1024, qPrintable(QString::number(peak)));
    }
};

QTEST_MAIN(SkinHostileTest)
#include "skin_hostile_test.moc"
