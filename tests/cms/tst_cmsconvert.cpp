#include "cmstestsupport.h"
#include "tcms.h"
#include "testregistry.h"
#include "tpimage.h"
#include "tracecapture.h"
#include "tsampleimage.h"

#include <QTest>
#include <algorithm>
#include <cmath>
#include <vector>

using namespace CmsTest;

// TCMS's pixel paths: band-by-band conversion against whole-image references, source
// formats, target sizing and half-resolution luminance.
class tst_CmsConvert : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void inputBandsMatchWholeImage_data();
    void inputBandsMatchWholeImage();
    void outputBandsMatchWholeImage_data();
    void outputBandsMatchWholeImage();
    void targetImageSizing_data();
    void targetImageSizing();
    void halfPlaneIsRebuilt();
    void otherFormatsLikeArgb32_data();
    void otherFormatsLikeArgb32();
    void otherFormatsInPlace_data();
    void otherFormatsInPlace();
    void indexedConvertsColourTable();
    void imageToImage();
    void refusesBadInput();

private:
    Profile m_proPhoto;
    Profile m_sRGB;
};

Q_DECLARE_METATYPE(QImage::Format)

namespace {

// The sample picture with alpha varied over it, so that alpha handling shows.
QImage sampleWithAlpha(int width, int height)
{
    QImage image = TSampleImage::generate(width, height);
    for (int y = 0; y < height; ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = (row[x] & 0x00ffffffu) | (quint32((x * 7 + y * 13) % 256) << 24);
    }
    return image;
}

void addSizes()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("1x1") << 1 << 1;
    QTest::newRow("2x2") << 2 << 2;
    QTest::newRow("3x5 odd") << 3 << 5;
    QTest::newRow("7x1 one row") << 7 << 1;
    QTest::newRow("1x7 one column") << 1 << 7;
    QTest::newRow("129x67 odd") << 129 << 67;
    QTest::newRow("1001x131 several bands, odd last") << 1001 << 131;
    QTest::newRow("4100x65 wide rows, short bands") << 4100 << 65;
}
}

void tst_CmsConvert::initTestCase()
{
    m_proPhoto = open(embedded("ProPhoto.icc"));
    m_sRGB = sRGB();
    QVERIFY(m_proPhoto && m_sRGB);
}

void tst_CmsConvert::inputBandsMatchWholeImage_data() { addSizes(); }

void tst_CmsConvert::inputBandsMatchWholeImage()
{
    QFETCH(int, width);
    QFETCH(int, height);

    const QImage source = sampleWithAlpha(width, height);
    const QImage untouched = source.copy();
    const QImage proPhoto = transformed(source, transform(m_sRGB, m_proPhoto, TYPE_BGRA_8));
    const TPImage expected = planesOf(proPhoto);

    TCMS cms;
    TPImage target(width, height);
    cms.convert(source, target);
    QVERIFY(samePlanes(target, expected));
    QCOMPARE(source, untouched);
}

void tst_CmsConvert::outputBandsMatchWholeImage_data() { addSizes(); }

void tst_CmsConvert::outputBandsMatchWholeImage()
{
    QFETCH(int, width);
    QFETCH(int, height);

    // A fourth plane that is not opaque: the output must still be opaque.
    const TPImage source = planesOf(sampleWithAlpha(width, height));
    TPImage opaque;
    opaque.m_lum = source.m_lum;
    opaque.m_c1 = source.m_c1;
    opaque.m_c2 = source.m_c2;
    QImage expected(width, height, QImage::Format_ARGB32);
    QVERIFY(opaque.convertTo(expected.bits(), expected.bytesPerLine()));
    expected = transformed(expected, transform(m_proPhoto, m_sRGB, TYPE_BGRA_8));

    TCMS cms;
    QImage target;
    cms.convert(source, target);
    QCOMPARE(target.format(), QImage::Format_ARGB32);
    QCOMPARE(target, expected);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            QCOMPARE(qAlpha(target.pixel(x, y)), 255);
}

void tst_CmsConvert::targetImageSizing_data()
{
    QTest::addColumn<QImage>("target");
    QTest::addColumn<bool>("written");
    QTest::addColumn<bool>("sameBuffer");

    const QSize size(9, 5);
    QTest::newRow("null target is created") << QImage() << true << false;
    QTest::newRow("other size is replaced") << QImage(3, 3, QImage::Format_RGB888) << true << false;
    QTest::newRow("same size ARGB32 is reused") << QImage(size, QImage::Format_ARGB32) << true << true;
    QTest::newRow("same size RGB32 is reused") << QImage(size, QImage::Format_RGB32) << true << true;
    QTest::newRow("same size premultiplied is reused")
        << QImage(size, QImage::Format_ARGB32_Premultiplied) << true << true;
    QTest::newRow("same size RGB888 is refused") << QImage(size, QImage::Format_RGB888) << false << true;
    QTest::newRow("same size RGBA8888 is refused") << QImage(size, QImage::Format_RGBA8888) << false << true;
}

void tst_CmsConvert::targetImageSizing()
{
    QFETCH(QImage, target);
    QFETCH(bool, written);
    QFETCH(bool, sameBuffer);

    target.fill(0);
    const QImage before = target.copy();
    const QImage source = TSampleImage::generate(9, 5);
    TCMS cms;
    QImage expected;
    cms.convert(planesOf(source), expected);
    target.detach();
    const uchar *bits = target.constBits();

    TraceCapture trace;
    cms.convert(planesOf(source), target);
    QCOMPARE(target.constBits() == bits, sameBuffer);
    if (written) {
        QCOMPARE(target.convertToFormat(QImage::Format_ARGB32), expected);
        QCOMPARE(trace.count("TCMS::convert"), 0);
    } else {
        QCOMPARE(target, before);
        QCOMPARE(trace.count("not a BGRA"), 1);
    }
}

void tst_CmsConvert::halfPlaneIsRebuilt()
{
    const int width = 61;
    const int height = 37;
    TPImage source = planesOf(TSampleImage::generate(width, height));
    TPImage plain = source.clone();
    QVERIFY(source.create(width, height, true));
    for (int y = 0; y < source.m_half.rows; ++y)
        for (int x = 0; x < source.m_half.cols; ++x)
            source.m_half.at<quint16>(y, x) = quint16((x * 1021 + y * 3001) % 65536);
    source.m_factor = 0.5f;

    TPImage rebuilt = source.clone();
    QVERIFY(TPImage::reconstructFull(source.m_lum, source.m_half, rebuilt.m_lum, 0.5f, 0.01f));
    rebuilt.m_half.release();

    TCMS cms;
    QImage target;
    QImage expected;
    QImage unprocessed;
    cms.convert(source, target);
    cms.convert(rebuilt, expected);
    cms.convert(plain, unprocessed);
    QCOMPARE(target.size(), QSize(width, height));
    QCOMPARE(target, expected);
    QVERIFY(target != unprocessed);

    // The planes path rebuilds the same way and says which luminance it took.
    std::vector<unsigned short> planes[3], expectedPlanes[3];
    for (int c = 0; c < 3; ++c) {
        planes[c].resize(size_t(width) * height);
        expectedPlanes[c].resize(size_t(width) * height);
    }
    unsigned short *const p[3] = { planes[0].data(), planes[1].data(), planes[2].data() };
    unsigned short *const e[3] = { expectedPlanes[0].data(), expectedPlanes[1].data(), expectedPlanes[2].data() };
    TraceCapture trace;
    cms.convert(source, p, width, width, height);
    QCOMPARE(trace.count("Half Proced"), 1);
    cms.convert(rebuilt, e, width, width, height);
    QCOMPARE(trace.count("Full Proced"), 1);
    QCOMPARE(trace.count("TCMS Convert!"), 2);
    for (int c = 0; c < 3; ++c)
        QVERIFY(planes[c] == expectedPlanes[c]);
}

void tst_CmsConvert::otherFormatsLikeArgb32_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    const QImage::Format formats[] = { QImage::Format_RGB888, QImage::Format_Grayscale8, QImage::Format_Indexed8,
        QImage::Format_ARGB32_Premultiplied, QImage::Format_RGBA8888, QImage::Format_RGB16 };
    const char *names[] = { "RGB888", "Grayscale8", "Indexed8", "premultiplied", "RGBA8888", "RGB16" };
    for (int i = 0; i < 6; ++i) {
        QTest::addRow("%s 1x1", names[i]) << formats[i] << 1 << 1;
        QTest::addRow("%s 33x7", names[i]) << formats[i] << 33 << 7;
        QTest::addRow("%s 3001x70 many pieces", names[i]) << formats[i] << 3001 << 70;
    }
}

void tst_CmsConvert::otherFormatsLikeArgb32()
{
    QFETCH(QImage::Format, format);
    QFETCH(int, width);
    QFETCH(int, height);

    const QImage source = sampleWithAlpha(width, height).convertToFormat(format);
    QCOMPARE(source.format(), format);
    TCMS cms;
    TPImage target(width, height);
    TPImage expected(width, height);
    cms.convert(source, target);
    cms.convert(source.convertToFormat(QImage::Format_ARGB32), expected);
    QVERIFY(samePlanes(target, expected));
}

void tst_CmsConvert::otherFormatsInPlace_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::newRow("RGB888") << QImage::Format_RGB888;
    QTest::newRow("Grayscale8") << QImage::Format_Grayscale8;
    QTest::newRow("premultiplied") << QImage::Format_ARGB32_Premultiplied;
    QTest::newRow("RGBA8888") << QImage::Format_RGBA8888;
}

void tst_CmsConvert::otherFormatsInPlace()
{
    QFETCH(QImage::Format, format);

    QImage image = sampleWithAlpha(1500, 45).convertToFormat(format);
    QImage expected = image.convertToFormat(QImage::Format_ARGB32);
    TCMS cms;
    cms.convert(expected, true);
    expected = expected.convertToFormat(format);
    cms.convert(image, true);
    QCOMPARE(image.format(), format);
    QCOMPARE(image, expected);
}

void tst_CmsConvert::indexedConvertsColourTable()
{
    QImage image = TSampleImage::generate(40, 30).convertToFormat(QImage::Format_Indexed8);
    const QImage before = image.copy();
    QImage table(image.colorCount(), 1, QImage::Format_ARGB32);
    for (int i = 0; i < image.colorCount(); ++i)
        table.setPixel(i, 0, image.color(i));
    const QImage expected = transformed(table, transform(m_sRGB, m_proPhoto, TYPE_BGRA_8));

    TCMS cms;
    cms.convert(image, false);
    QCOMPARE(image.format(), QImage::Format_Indexed8);
    QCOMPARE(image.colorCount(), before.colorCount());
    for (int i = 0; i < image.colorCount(); ++i)
        QCOMPARE(image.color(i), expected.pixel(i, 0));
    for (int y = 0; y < image.height(); ++y)
        QVERIFY(std::equal(image.constScanLine(y), image.constScanLine(y) + image.width(), before.constScanLine(y)));
}

void tst_CmsConvert::imageToImage()
{
    const QImage source = sampleWithAlpha(77, 41);
    const QImage untouched = source.copy();
    QImage expected = source.copy();
    TCMS cms;
    cms.convert(expected, true);

    QImage target(source.size(), source.format());
    target.fill(0);
    cms.convert(source, target, true);
    QCOMPARE(target, expected);
    QCOMPARE(source, untouched);

    // Shared pixels: the target detaches, the source keeps its values.
    QImage shared = source;
    cms.convert(source, shared, true);
    QCOMPARE(shared, expected);
    QCOMPARE(source, untouched);

    TraceCapture trace;
    QImage wrongSize(10, 10, source.format());
    wrongSize.fill(0);
    const QImage wrongSizeBefore = wrongSize.copy();
    cms.convert(source, wrongSize, true);
    QCOMPARE(wrongSize, wrongSizeBefore);
    QImage wrongFormat(source.size(), QImage::Format_RGB888);
    wrongFormat.fill(0);
    const QImage wrongFormatBefore = wrongFormat.copy();
    cms.convert(source, wrongFormat, false);
    QCOMPARE(wrongFormat, wrongFormatBefore);
    QCOMPARE(trace.count("target differs"), 2);
}

void tst_CmsConvert::refusesBadInput()
{
    TCMS cms;
    TraceCapture trace;

    QImage null;
    cms.convert(null, true);
    QVERIFY(null.isNull());
    TPImage planes = planesOf(TSampleImage::generate(6, 4));
    const TPImage before = planes.clone();
    cms.convert(QImage(), planes);
    QCOMPARE(trace.count("null image"), 2);

    // A target that was not created at the source size is left alone.
    cms.convert(TSampleImage::generate(7, 4), planes);
    QCOMPARE(trace.count("not created at the source size"), 1);
    QVERIFY(samePlanes(planes, before));

    // Planes whose size does not match the image, or that are missing, are not written.
    std::vector<unsigned short> data(64, 7);
    unsigned short *const p[3] = { data.data(), data.data(), data.data() };
    unsigned short *const missing[3] = { data.data(), nullptr, data.data() };
    cms.convert(planes, p, 8, 7, 4);
    cms.convert(planes, p, 5, 6, 4);
    cms.convert(planes, missing, 8, 6, 4);
    cms.convert(p, 4, 6, 4, planes);
    QCOMPARE(trace.count("bad planes"), 4);
    QVERIFY(std::all_of(data.begin(), data.end(), [](unsigned short v) { return v == 7; }));
    QVERIFY(samePlanes(planes, before));
}

FX_REGISTER_TEST(tst_CmsConvert)
#include "tst_cmsconvert.moc"
