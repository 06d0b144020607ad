#include "cmstestsupport.h"
#include "colormanagement.h"
#include "testregistry.h"

#include <QTest>
#include <vector>

using namespace CmsTest;

// The core library's transform wrapper, checked pixel by pixel against direct one-pixel
// LittleCMS calls, over sizes that include 1x1, odd widths, padded rows and widths past the
// wrapper's internal piece size.
class tst_ColorManagement : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void interleaved_data();
    void interleaved();
    void planes_data();
    void planes();
    void refusesBadInput();

private:
    Profile m_proPhoto;
    Profile m_sRGB;
};

namespace {

// Deterministic pseudo-random bytes, so that failures reproduce.
quint32 next(quint32 &state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}
}

void tst_ColorManagement::initTestCase()
{
    m_proPhoto = open(embedded("ProPhoto.icc"));
    m_sRGB = sRGB();
    QVERIFY(m_proPhoto && m_sRGB);
}

void tst_ColorManagement::interleaved_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("padding");
    QTest::addColumn<bool>("inPlace");

    QTest::newRow("1x1") << 1 << 1 << 0 << true;
    QTest::newRow("odd width, padded rows") << 37 << 5 << 12 << true;
    QTest::newRow("odd width, separate target") << 37 << 5 << 12 << false;
    QTest::newRow("one column") << 1 << 9 << 4 << false;
    QTest::newRow("wide") << 2051 << 3 << 0 << true;
}

void tst_ColorManagement::interleaved()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, padding);
    QFETCH(bool, inPlace);

    const Transform t = transform(m_sRGB, m_proPhoto, TYPE_BGRA_8);
    QVERIFY(t);
    const int bytesPerLine = 4 * width + padding;
    std::vector<unsigned char> source(size_t(bytesPerLine) * height);
    quint32 state = 7;
    for (unsigned char &byte : source)
        byte = static_cast<unsigned char>(next(state));
    std::vector<unsigned char> out = source;

    const ColorManagement cms(t.get());
    QVERIFY(cms.convert(inPlace ? out.data() : source.data(), out.data(), bytesPerLine, width, height));

    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char *in = &source[size_t(y) * bytesPerLine + 4 * x];
            unsigned char expected[4] = { 0, 0, 0, in[3] };
            cmsDoTransform(t.get(), in, expected, 1);
            const unsigned char *got = &out[size_t(y) * bytesPerLine + 4 * x];
            QVERIFY2(std::equal(expected, expected + 4, got), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
        }
        // Row padding belongs to the caller.
        for (int i = 4 * width; i < bytesPerLine; ++i)
            QCOMPARE(out[size_t(y) * bytesPerLine + i], source[size_t(y) * bytesPerLine + i]);
    }
}

void tst_ColorManagement::planes_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("stride");

    QTest::newRow("1x1") << 1 << 1 << 1;
    QTest::newRow("odd, padded") << 13 << 7 << 16;
    QTest::newRow("piece boundary") << 1025 << 2 << 1025;
    QTest::newRow("several pieces, padded") << 3001 << 3 << 3008;
}

void tst_ColorManagement::planes()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, stride);

    const Transform t = transform(m_proPhoto, m_sRGB, TYPE_RGB_16);
    QVERIFY(t);
    std::vector<unsigned short> source[3];
    quint32 state = 11;
    for (auto &plane : source) {
        plane.resize(size_t(stride) * height);
        for (unsigned short &v : plane)
            v = static_cast<unsigned short>(next(state));
    }
    std::vector<unsigned short> out[3] = { source[0], source[1], source[2] };
    unsigned short *const planes[3] = { out[0].data(), out[1].data(), out[2].data() };

    const ColorManagement cms(t.get());
    QVERIFY(cms.convertProPhotoToDeviceOrSRGB(planes, stride, width, height));

    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < stride; ++x) {
            const size_t i = size_t(y) * stride + x;
            unsigned short expected[3] = { source[0][i], source[1][i], source[2][i] };
            if (x < width)
                cmsDoTransform(t.get(), expected, expected, 1);
            for (int c = 0; c < 3; ++c)
                QVERIFY2(out[c][i] == expected[c], qPrintable(QStringLiteral("%1,%2 c%3").arg(x).arg(y).arg(c)));
        }
    }
}

void tst_ColorManagement::refusesBadInput()
{
    unsigned char pixels[64] = {};
    unsigned short plane[16] = {};
    unsigned short *const planes[3] = { plane, plane, plane };
    unsigned short *const missing[3] = { plane, nullptr, plane };

    const ColorManagement none(nullptr);
    QVERIFY(!none.convert(pixels, pixels, 16, 4, 1));
    QVERIFY(!none.convertDeviceOrSRGBToProPhoto(planes, 4, 4, 1));

    const Transform bgra = transform(m_sRGB, m_proPhoto, TYPE_BGRA_8);
    const ColorManagement cms(bgra.get());
    QVERIFY(!cms.convert(pixels, pixels, 15, 4, 1));
    QVERIFY(!cms.convert(nullptr, pixels, 16, 4, 1));
    QVERIFY(!cms.convert(pixels, pixels, 16, -1, 1));
    QVERIFY(cms.convert(pixels, pixels, 16, 0, 0));
    // The plane functions need a 16-bit RGB transform.
    QVERIFY(!cms.convertProPhotoToDeviceOrSRGB(planes, 4, 4, 1));

    const Transform rgb16 = transform(m_sRGB, m_proPhoto, TYPE_RGB_16);
    const ColorManagement cms16(rgb16.get());
    QVERIFY(!cms16.convertDeviceOrSRGBToProPhoto(missing, 4, 4, 1));
    QVERIFY(!cms16.convertDeviceOrSRGBToProPhoto(nullptr, 4, 4, 1));
    QVERIFY(!cms16.convertDeviceOrSRGBToProPhoto(planes, 3, 4, 1));
    QVERIFY(cms16.convertDeviceOrSRGBToProPhoto(planes, 4, 4, 4));
}

FX_REGISTER_TEST(tst_ColorManagement)
#include "tst_colormanagement.moc"
