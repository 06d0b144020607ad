// The filters that join the graph to ordinary pictures: the source (from a QImage or a file),
// the sink (back to a QImage, once per change) and the ready-made top-level graph.

#include "filtertest.h"
#include "testregistry.h"
#include "tfiltercontext.h"
#include "tfiltersink.h"
#include "tfiltersrc.h"
#include "tfiltertoplevela.h"
#include "timage.h"
#include "tinport.h"
#include "toutport.h"
#include "tpluginfactory.h"
#include "tracecapture.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QMetaMethod>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <random>

using namespace FilterTest;

namespace {
// Any content: a random colour per 2 x 2 block, a random alpha per pixel.
QImage blockPicture(int w, int h, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    QImage picture(w, h, QImage::Format_ARGB32);
    for (int by = 0; by < h; by += 2) {
        for (int bx = 0; bx < w; bx += 2) {
            const int r = byte(random), g = byte(random), b = byte(random);
            for (int y = by; y < std::min(by + 2, h); ++y) {
                for (int x = bx; x < std::min(bx + 2, w); ++x)
                    picture.setPixel(x, y, qRgba(r, g, b, byte(random)));
            }
        }
    }
    return picture;
}

// Colour lives at half resolution and is enlarged smoothly, so a picture comes back close
// to itself only where its colour does not change: one tint (grey, or a random colour) with
// a random brightness offset per pixel, which moves the luminance alone, and random alpha.
QImage tintedPicture(int w, int h, unsigned seed, bool grey)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> base(40, 215), offset(-40, 40), byte(0, 255);
    const int r = base(random), g = grey ? r : base(random), b = grey ? r : base(random);
    QImage picture(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int d = offset(random);
            picture.setPixel(x, y, qRgba(r + d, g + d, b + d, byte(random)));
        }
    }
    return picture;
}

// The three planes as the core library makes them, without any filter in between.
struct Planes {
    TImage y { TImage::Y };
    TImage c { TImage::C };
    TImage m { TImage::M };
    explicit Planes(const QImage &picture)
    {
        const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
        TImage::bgra8uToTImage(argb.constScanLine(0), argb.bytesPerLine(), argb.width(), argb.height(), &y, &c, &m);
    }
    QImage toPicture() const
    {
        QImage picture(y.width(), y.height(), QImage::Format_ARGB32);
        TImage::timageToBgra8u(&y, &c, &m, picture.bits(), picture.bytesPerLine());
        return picture;
    }
};

// Largest difference of one channel between two pictures of one size.
int maxChannelDifference(const QImage &a, const QImage &b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({ worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q)) });
        }
    }
    return worst;
}

void connectSink(TFilterSink &sink, TFilterSrc &src)
{
    for (const char *plane : { "Y", "C", "M" }) {
        const QString in = QStringLiteral("in") + plane, out = QStringLiteral("out") + plane;
        QVERIFY(sink.inportPtr(in)->connectTo(static_cast<const TOutport *>(src.outportPtr(out))));
    }
}

// A JPEG of the picture, with an Exif block that carries the orientation tag when it is not 0.
QByteArray jpegWithOrientation(const QImage &picture, int orientation)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(100);
    if (!writer.write(picture))
        return QByteArray();
    if (orientation == 0)
        return jpeg;
    // Big-endian TIFF header, one IFD with one SHORT entry (tag 0x0112), no next IFD.
    const unsigned char tiff[] = { 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0,
        static_cast<unsigned char>(orientation), 0, 0, 0, 0, 0, 0 };
    QByteArray exif("Exif\0\0", 6);
    exif.append(reinterpret_cast<const char *>(tiff), sizeof tiff);
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char((exif.size() + 2) >> 8)).append(char((exif.size() + 2) & 0xFF)).append(exif);
    // After the start of image and the JFIF block, where readers look for it.
    int at = 2;
    if (uchar(jpeg.at(2)) == 0xFF && uchar(jpeg.at(3)) == 0xE0)
        at = 4 + (uchar(jpeg.at(4)) << 8 | uchar(jpeg.at(5)));
    return jpeg.insert(at, segment);
}
}

class tst_FilterSrcSink : public QObject {
    Q_OBJECT
    TFilterContext *m_context = nullptr;
    bool m_drawMaskOffered = false;

private slots:
    void initTestCase()
    {
        TraceCapture quiet;
        m_context = new TFilterContext(nullptr);
        m_drawMaskOffered = m_context->filterFactoryPtr()->filters().contains("TFDrawMask");
    }
    void cleanupTestCase() { delete m_context; }

    void srcSinkSlotsAsScriptsSeeThem()
    {
        TraceCapture quiet;
        TFilterSrc src("src", m_context);
        TFilterSink sink("sink", m_context);
        TFilterToplevelA top("top", m_context);
        auto ownSlots = [](const QObject &object) {
            const QMetaObject *meta = object.metaObject();
            QStringList names;
            for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
                names << QString::fromLatin1(meta->method(i).methodSignature());
            return names;
        };
        QCOMPARE(ownSlots(src), QStringList({ "proc()", "setImage(QImage)", "setImage(QString)" }));
        QCOMPARE(ownSlots(sink), QStringList({ "proc()", "getImage()" }));
        QCOMPARE(ownSlots(top), QStringList({ "proc()", "setImage(QImage)", "getImage()", "toplevelFilterPtr()" }));
        // A reference result reaches scripts as nothing.
        for (const QObject *object : { static_cast<QObject *>(&sink), static_cast<QObject *>(&top) }) {
            const QMetaObject *meta = object->metaObject();
            QCOMPARE(meta->method(meta->indexOfMethod("getImage()")).returnType(), int(QMetaType::Void));
        }
        QCOMPARE(src.filters(), QStringList({ "outY", "outC", "outM" }));
        QCOMPARE(sink.filters(), QStringList({ "inY", "inC", "inM" }));
        for (const char *name : { "inY", "inC", "inM" })
            QVERIFY(!sink.inportPtr(name)->bOptional());
        for (const char *name : { "outY", "outC", "outM" })
            QVERIFY(src.outportPtr(name)->bOwnImage());
        QCOMPARE(src.proc(), QString());
    }

    void srcRefusesEmptyPictures_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("0 by 5") << QSize(0, 5);
        QTest::newRow("5 by 0") << QSize(5, 0);
        QTest::newRow("null") << QSize();
    }
    void srcRefusesEmptyPictures()
    {
        QFETCH(QSize, size);
        TraceCapture quiet;
        TFilterSrc src("src", m_context);
        QVERIFY(src.setImage(blockPicture(4, 2, 1)));
        const TImage *y = output(&src, "outY");
        const std::uint64_t serial = y->updateRect().serial();
        const QImage empty = size.isValid() ? QImage(size, QImage::Format_ARGB32) : QImage();
        QVERIFY(!src.setImage(empty));
        QCOMPARE(output(&src, "outY"), y);
        QCOMPARE(y->size(), TSize(4, 2));
        QCOMPARE(y->updateRect().serial(), serial);
        QCOMPARE(output(&src, "outM")->size(), TSize(4, 2));
    }

    // Whatever the format, the planes are those of the picture's 32-bit ARGB copy, read with
    // that copy's row stride (a 24-bit row of 5 pixels is 16 bytes, its copy's 20).
    void srcConvertsEveryFormat_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QSize>("size");
        QTest::newRow("RGB888 5x3") << int(QImage::Format_RGB888) << QSize(5, 3);
        QTest::newRow("RGB888 1x1") << int(QImage::Format_RGB888) << QSize(1, 1);
        QTest::newRow("RGB32 7x4") << int(QImage::Format_RGB32) << QSize(7, 4);
        QTest::newRow("ARGB32 7x5") << int(QImage::Format_ARGB32) << QSize(7, 5);
        QTest::newRow("ARGB32 premultiplied") << int(QImage::Format_ARGB32_Premultiplied) << QSize(6, 3);
        QTest::newRow("RGBA8888 byte order") << int(QImage::Format_RGBA8888) << QSize(3, 3);
        QTest::newRow("RGB16") << int(QImage::Format_RGB16) << QSize(9, 2);
        QTest::newRow("Grayscale8") << int(QImage::Format_Grayscale8) << QSize(5, 5);
        QTest::newRow("Indexed8") << int(QImage::Format_Indexed8) << QSize(4, 6);
    }
    void srcConvertsEveryFormat()
    {
        QFETCH(int, format);
        QFETCH(QSize, size);
        TraceCapture quiet;
        const QImage input = blockPicture(size.width(), size.height(), 7).convertToFormat(QImage::Format(format));
        const QImage untouched = input.copy();
        const Planes expected(input);
        TFilterSrc src("src", m_context);
        QVERIFY(src.setImage(input));
        QVERIFY(samePixels(output(&src, "outY"), &expected.y));
        QVERIFY(samePixels(output(&src, "outC"), &expected.c));
        QVERIFY(samePixels(output(&src, "outM"), &expected.m));
        QCOMPARE(output(&src, "outC")->size(), TSize((size.width() + 1) / 2, (size.height() + 1) / 2));
        QCOMPARE(input, untouched);
    }

    // The outputs are rewritten in place, each time with a new update rectangle, so readers
    // keep their pointers and still see every change.
    void srcRewritesItsOutputsInPlace()
    {
        TraceCapture quiet;
        TFilterSrc src("src", m_context);
        const TImage *images[] = { output(&src, "outY"), output(&src, "outC"), output(&src, "outM") };
        std::uint64_t serials[3] = {};
        for (const QSize &size : { QSize(4, 4), QSize(4, 4), QSize(3, 5) }) {
            QVERIFY(src.setImage(blockPicture(size.width(), size.height(), 3)));
            for (int i = 0; i < 3; ++i) {
                QCOMPARE(output(&src, i == 0 ? "outY" : i == 1 ? "outC" : "outM"), images[i]);
                QVERIFY(images[i]->updateRect().serial() > serials[i]);
                serials[i] = images[i]->updateRect().serial();
            }
            QCOMPARE(images[0]->size(), TSize(size.width(), size.height()));
        }
    }

    void srcSinkRoundTrip_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("grey");
        QTest::addColumn<int>("tolerance");
        // Colour differences are kept in 8-bit steps and green is rebuilt from luminance, so
        // a colour channel may move by one level (the most seen over 2000 random tints of
        // each size); greys and alpha come back exactly.
        QTest::newRow("1x1") << QSize(1, 1) << false << 1;
        QTest::newRow("2x2") << QSize(2, 2) << false << 1;
        QTest::newRow("odd 5x3") << QSize(5, 3) << false << 1;
        QTest::newRow("64x33") << QSize(64, 33) << false << 1;
        QTest::newRow("grey 1x1") << QSize(1, 1) << true << 0;
        QTest::newRow("grey 31x17") << QSize(31, 17) << true << 0;
    }
    void srcSinkRoundTrip()
    {
        QFETCH(QSize, size);
        QFETCH(bool, grey);
        QFETCH(int, tolerance);
        TraceCapture quiet;
        TFilterSrc src("src", m_context);
        TFilterSink sink("sink", m_context);
        connectSink(sink, src);
        const QImage picture = tintedPicture(size.width(), size.height(), 11, grey);
        QVERIFY(src.setImage(picture));
        QCOMPARE(sink.proc(), QString());
        const QImage result = sink.getImage();
        QCOMPARE(result.format(), QImage::Format_ARGB32);
        QCOMPARE(result, Planes(picture).toPicture());
        QVERIFY2(maxChannelDifference(result, picture) <= tolerance,
            qPrintable(QString("largest difference %1").arg(maxChannelDifference(result, picture))));
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x)
                QCOMPARE(qAlpha(result.pixel(x, y)), qAlpha(picture.pixel(x, y)));
        }
    }

    void sinkBeforeAndWithoutInputs()
    {
        TraceCapture quiet;
        TFilterSink sink("sink", m_context);
        QVERIFY(sink.getImage().isNull());
        QCOMPARE(sink.proc(), QStringLiteral("Inport all need to be connected"));
        TFilterSrc src("src", m_context);
        QVERIFY(sink.inportPtr("inY")->connectTo(static_cast<const TOutport *>(src.outportPtr("outY"))));
        QVERIFY(sink.inportPtr("inC")->connectTo(static_cast<const TOutport *>(src.outportPtr("outC"))));
        QCOMPARE(sink.proc(), QStringLiteral("Inport all need to be connected"));
        // Connected to images without pixels: nothing to do, and no error.
        QVERIFY(sink.inportPtr("inM")->connectTo(static_cast<const TOutport *>(src.outportPtr("outM"))));
        QCOMPARE(sink.proc(), QString());
        QVERIFY(sink.getImage().isNull());
        // Images that lose their pixels leave the last picture in place.
        QVERIFY(src.setImage(blockPicture(4, 4, 5)));
        QCOMPARE(sink.proc(), QString());
        const QImage last = sink.getImage();
        QVERIFY(!last.isNull());
        src.freeOutImages();
        QCOMPARE(sink.proc(), QString());
        QCOMPARE(sink.getImage(), last);
    }

    // Every conversion writes the sink's picture, which gives it a new cache key; so the keys
    // count conversions.
    void sinkConvertsOncePerChange()
    {
        TraceCapture quiet;
        TFilterSrc src("src", m_context);
        TFilterSink sink("sink", m_context);
        connectSink(sink, src);
        const QImage first = blockPicture(6, 4, 21), second = blockPicture(6, 4, 22);
        QVERIFY(src.setImage(first));
        QVERIFY(sink.bInsChanged());
        QCOMPARE(sink.proc(), QString());
        QVERIFY(!sink.bInsChanged());
        const QImage held = sink.getImage();
        const qint64 key = sink.getImage().cacheKey();
        QCOMPARE(sink.proc(), QString());
        QCOMPARE(sink.getImage().cacheKey(), key);
        // A new picture of the same size: one more conversion, and what a caller held stays.
        QVERIFY(src.setImage(second));
        QCOMPARE(sink.proc(), QString());
        const qint64 secondKey = sink.getImage().cacheKey();
        QVERIFY(secondKey != key);
        QCOMPARE(sink.proc(), QString());
        QCOMPARE(sink.getImage().cacheKey(), secondKey);
        QCOMPARE(held, Planes(first).toPicture());
        QCOMPARE(sink.getImage(), Planes(second).toPicture());
        // One plane written is enough; pixels changed without a new rectangle are not seen.
        TImage *mask = src.outportPtr("outM")->imagePtrMod();
        mask->mat1().at<unsigned char>(1, 2) = 0;
        mask->markWritten(2, 1, 1, 1);
        QCOMPARE(sink.proc(), QString());
        QCOMPARE(qAlpha(sink.getImage().pixel(2, 1)), 0);
        mask->mat1().at<unsigned char>(1, 2) = 77;
        QCOMPARE(sink.proc(), QString());
        QCOMPARE(qAlpha(sink.getImage().pixel(2, 1)), 0);
        // A new size makes a new picture.
        QVERIFY(src.setImage(blockPicture(3, 5, 23)));
        QCOMPARE(sink.proc(), QString());
        QCOMPARE(sink.getImage().size(), QSize(3, 5));
    }

    void sinkRefusesPlanesThatDoNotFit()
    {
        TraceCapture quiet;
        TFilterSink sink("sink", m_context);
        TImage y(TImage::Y, TSize(4, 4)), c(TImage::C, TSize(1, 1)), m(TImage::M, TSize(4, 4));
        for (TImage *image : { &y, &c, &m })
            image->markWritten();
        QVERIFY(sink.setInImage("inY", &y) && sink.setInImage("inC", &c) && sink.setInImage("inM", &m));
        QCOMPARE(sink.proc(), QStringLiteral("Inport images do not fit together"));
        QVERIFY(sink.getImage().isNull());
        QVERIFY(sink.bInsChanged());
        c.resize(TSize(2, 2));
        c.markWritten();
        QCOMPARE(sink.proc(), QString());
        QCOMPARE(sink.getImage().size(), QSize(4, 4));
        const QImage good = sink.getImage();
        m.resize(TSize(3, 3));
        m.markWritten();
        QCOMPARE(sink.proc(), QStringLiteral("Inport images do not fit together"));
        QCOMPARE(sink.getImage(), good);
    }

    void srcReadsFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("readable");
        const QImage picture = blockPicture(9, 6, 31);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "PNG");
        QTest::newRow("png") << "picture.png" << png << true;
        QTest::newRow("png under another suffix") << "picture.dat" << png << true;
        QTest::newRow("missing") << "" << QByteArray() << false;
        QTest::newRow("text") << "notes.txt" << QByteArray("not a picture\n") << false;
        QTest::newRow("text named png") << "fake.png" << QByteArray("not a picture\n") << false;
    }
    void srcReadsFiles()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, contents);
        QFETCH(bool, readable);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(file.isEmpty() ? "absent.png" : file);
        if (!file.isEmpty()) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(contents);
        }
        TraceCapture trace;
        TFilterSrc src("src", m_context);
        QVERIFY(src.setImage(blockPicture(2, 2, 1)));
        const std::uint64_t serial = output(&src, "outY")->updateRect().serial();
        trace.clear();
        QCOMPARE(src.setImage(path), readable);
        if (readable) {
            const Planes expected(blockPicture(9, 6, 31));
            QVERIFY(samePixels(output(&src, "outY"), &expected.y));
            QVERIFY(samePixels(output(&src, "outC"), &expected.c));
            QVERIFY(samePixels(output(&src, "outM"), &expected.m));
            QCOMPARE(trace.lines(), QStringList());
        } else {
            QCOMPARE(output(&src, "outY")->size(), TSize(2, 2));
            QCOMPARE(output(&src, "outY")->updateRect().serial(), serial);
            QCOMPARE(trace.lines().size(), 1);
            QVERIFY2(trace.lines().value(0).contains(QStringLiteral("\"%1\"").arg(path)),
                qPrintable(trace.lines().value(0)));
        }
    }

    // Photographs say how they are to be shown; the source gives the picture as shown.
    void srcAppliesTheExifOrientation_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QTransform>("shown");
        QTest::addColumn<bool>("mirrored");
        QTest::newRow("no tag") << 0 << QTransform() << false;
        QTest::newRow("1 as stored") << 1 << QTransform() << false;
        QTest::newRow("2 mirrored") << 2 << QTransform() << true;
        QTest::newRow("3 upside down") << 3 << QTransform().rotate(180) << false;
        QTest::newRow("6 turned right") << 6 << QTransform().rotate(90) << false;
        QTest::newRow("8 turned left") << 8 << QTransform().rotate(270) << false;
    }
    void srcAppliesTheExifOrientation()
    {
        QFETCH(int, orientation);
        QFETCH(QTransform, shown);
        QFETCH(bool, mirrored);
        // Grey 8 x 8 blocks, each its own level: JPEG keeps them within a level or two.
        QImage stored(32, 16, QImage::Format_RGB32);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 32; ++x) {
                const int level = 20 + 25 * (x / 8 + 4 * (y / 8));
                stored.setPixel(x, y, qRgb(level, level, level));
            }
        }
        QTemporaryDir dir;
        const QString path = dir.filePath("photo.jpg");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray jpeg = jpegWithOrientation(stored, orientation);
        QVERIFY(!jpeg.isEmpty());
        file.write(jpeg);
        file.close();
        TraceCapture quiet;
        TFilterSrc src("src", m_context);
        QVERIFY(src.setImage(path));
        const QImage expectedPicture = mirrored ? stored.mirrored(true, false) : stored.transformed(shown);
        const Planes expected(expectedPicture);
        const TImage *y = output(&src, "outY");
        QCOMPARE(y->size(), expected.y.size());
        // Two 8-bit levels in 16 bits.
        const int tolerance = 2 * 257;
        int worst = 0;
        for (int r = 0; r < y->height(); ++r) {
            for (int c = 0; c < y->width(); ++c)
                worst = std::max(
                    worst, std::abs(y->mat1().at<unsigned short>(r, c) - expected.y.mat1().at<unsigned short>(r, c)));
        }
        QVERIFY2(worst <= tolerance, qPrintable(QString("largest luminance difference %1").arg(worst)));
    }

    void toplevelBuildsSourceAndSink()
    {
        TraceCapture quiet;
        TFilterToplevelA top("top", m_context);
        auto *src = qobject_cast<TFilterSrc *>(top.filterPtr("inputimage"));
        auto *sink = qobject_cast<TFilterSink *>(top.filterPtr("outputimage"));
        QVERIFY(src && sink);
        QCOMPARE(top.filters().mid(0, 2), QStringList({ "inputimage", "outputimage" }));
        QCOMPARE(top.toplevelFilterPtr(), top.filterPtr("toplevel"));
        QCOMPARE(top.toplevelFilterPtr() != nullptr, m_drawMaskOffered);
        QCOMPARE(sink->inportPtr("inY")->imagePtr(), output(src, "outY"));
        QCOMPARE(sink->inportPtr("inC")->imagePtr(), output(src, "outC"));
        // The sink's mask comes from the top-level filter, or from nowhere when there is none.
        const TFilter *toplevel = top.toplevelFilterPtr();
        QCOMPARE(sink->inportPtr("inM")->imagePtr(), toplevel ? output(toplevel, "outM") : nullptr);
        QVERIFY(!top.setImage(QImage()));
        QVERIFY(top.setImage(blockPicture(4, 4, 2)));
        QCOMPARE(output(src, "outY")->size(), TSize(4, 4));
    }

    // Without a top-level filter proc() names the key it is missing; with one it is removed
    // here, so the error path is seen either way.
    void toplevelProcWithoutTheTopLevelFilter()
    {
        TraceCapture trace;
        TFilterToplevelA top("top", m_context);
        delete top.toplevelFilterPtr();
        QVERIFY(!top.toplevelFilterPtr());
        trace.clear();
        const QString code = top.proc();
        QCOMPARE(code, QStringLiteral("no top-level filter: the plug-in directory offers no \"TFDrawMask\""));
        QVERIFY(!top.procOK(code));
        QCOMPARE(trace.lines(),
            QStringList({ "TFilterToplevelA::proc:576: enter", "TFilter::filterPtr:463: failed \"toplevel\" \"top\"",
                "TFilterToplevelA::proc:586: return \"no top-level filter: the plug-in directory offers no "
                "\\\"TFDrawMask\\\"\"" }));
    }

    void toplevelGetImageRunsTheSinkFromScripts()
    {
        TraceCapture quiet;
        TFilterToplevelA top("top", m_context);
        auto *src = qobject_cast<TFilterSrc *>(top.filterPtr("inputimage"));
        auto *sink = qobject_cast<TFilterSink *>(top.filterPtr("outputimage"));
        // The source's own mask, whatever the plug-in directory offers.
        QVERIFY(sink->inportPtr("inM")->connectTo(static_cast<const TOutport *>(src->outportPtr("outM"))));
        const QImage picture = blockPicture(6, 5, 41);
        QVERIFY(top.setImage(picture));
        QImage value;
        QVERIFY(!QMetaObject::invokeMethod(&top, "getImage", Q_RETURN_ARG(QImage, value)));
        QVERIFY(sink->getImage().isNull());
        QVERIFY(QMetaObject::invokeMethod(&top, "getImage"));
        QVERIFY(value.isNull());
        QCOMPARE(sink->getImage(), Planes(picture).toPicture());
        const qint64 key = sink->getImage().cacheKey();
        QCOMPARE(top.getImage(), Planes(picture).toPicture());
        QCOMPARE(top.getImage().cacheKey(), key);
    }

    // Nothing drawn, the picture comes through whole (its alpha as the mask); a dab through
    // the graph's filter by slot name, as a host paints, clears the alpha under it alone.
    void toplevelDrawMaskPassesThePictureThrough()
    {
        if (!m_drawMaskOffered)
            QSKIP("the plug-in directory offers no TFDrawMask");
        TraceCapture quiet;
        TFilterToplevelA top("top", m_context);
        const QImage picture = blockPicture(40, 30, 51);
        QVERIFY(top.setImage(picture));
        QCOMPARE(top.proc(), QString());
        QCOMPARE(top.getImage(), Planes(picture).toPicture());
        QVERIFY(QMetaObject::invokeMethod(
            top.toplevelFilterPtr(), "drawADot", Q_ARG(QPoint, QPoint(10, 10)), Q_ARG(uchar, 0), Q_ARG(int, 5)));
        QCOMPARE(top.proc(), QString());
        const QImage result = top.getImage();
        QCOMPARE(qAlpha(result.pixel(10, 10)), 0);
        QCOMPARE(qAlpha(result.pixel(35, 20)), 255);
        QCOMPARE(result.pixel(35, 20) & 0xffffff, Planes(picture).toPicture().pixel(35, 20) & 0xffffff);
    }
};

FX_REGISTER_TEST(tst_FilterSrcSink)
#include "tst_filtersrcsink.moc"
