#include "cmstestsupport.h"
#include "tcms.h"
#include "testregistry.h"
#include "tpimage.h"
#include "tracecapture.h"

#include <QTest>

using namespace CmsTest;

// TCMS's handling of device profiles: which profile a conversion uses, when transforms are
// rebuilt, copies, and rejected profile data. Results are compared with transforms built
// here directly with LittleCMS.
class tst_Cms : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void defaultIsSRGB();
    void deviceProfileFromData();
    void samePointerIsIgnored();
    void nullProfileRevertsToSRGB();
    void planeProfileUsedBothWays();
    void badProfileFallsBackToSRGB_data();
    void badProfileFallsBackToSRGB();
    void copiesShareProfilesNotTransforms();
    void onePixel();

private:
    QByteArray m_proPhotoBytes;
    QByteArray m_adobeBytes;
    Profile m_proPhoto;
    Profile m_adobe;
    Profile m_sRGB;
    QImage m_colours;
};

namespace {

// One row of saturated and mixed colours, alpha varied so that carrying it over is seen.
QImage colourRow()
{
    const QRgb colours[]
        = { qRgba(0, 255, 0, 255), qRgba(255, 0, 0, 200), qRgba(0, 0, 255, 17), qRgba(255, 255, 255, 255),
              qRgba(0, 0, 0, 255), qRgba(128, 128, 128, 0), qRgba(250, 180, 20, 255), qRgba(30, 200, 190, 90) };
    QImage image(int(sizeof colours / sizeof colours[0]), 1, QImage::Format_ARGB32);
    for (int x = 0; x < image.width(); ++x)
        image.setPixel(x, 0, colours[x]);
    return image;
}

QImage toProPhoto(TCMS &cms, const QImage &image)
{
    QImage copy = image.copy();
    cms.convert(copy, false);
    return copy;
}

QImage toDevice(TCMS &cms, const QImage &image)
{
    QImage copy = image.copy();
    cms.convert(copy, true);
    return copy;
}

struct Planes {
    explicit Planes(int size)
        : data { std::vector<unsigned short>(size), std::vector<unsigned short>(size),
            std::vector<unsigned short>(size) }
    {
    }
    unsigned short *const *pointers()
    {
        p[0] = data[0].data();
        p[1] = data[1].data();
        p[2] = data[2].data();
        return p;
    }
    std::vector<unsigned short> data[3];
    unsigned short *p[3] = {};
};
}

void tst_Cms::initTestCase()
{
    m_proPhotoBytes = embedded("ProPhoto.icc");
    m_adobeBytes = shared("AdobeRGB1998.icc");
    m_proPhoto = open(m_proPhotoBytes);
    m_adobe = open(m_adobeBytes);
    m_sRGB = sRGB();
    QVERIFY(m_proPhoto && m_adobe && m_sRGB);
    m_colours = colourRow();
}

void tst_Cms::defaultIsSRGB()
{
    TCMS cms;
    const QImage in = toProPhoto(cms, m_colours);
    QCOMPARE(in, transformed(m_colours, transform(m_sRGB, m_proPhoto, TYPE_BGRA_8)));
    QCOMPARE(toDevice(cms, m_colours), transformed(m_colours, transform(m_proPhoto, m_sRGB, TYPE_BGRA_8)));
    // Alpha passes through untouched.
    for (int x = 0; x < in.width(); ++x)
        QCOMPARE(qAlpha(in.pixel(x, 0)), qAlpha(m_colours.pixel(x, 0)));
}

void tst_Cms::deviceProfileFromData()
{
    TCMS cms;
    cms.setQImageICC(m_adobeBytes.constData(), m_adobeBytes.size());
    const QImage in = toProPhoto(cms, m_colours);
    QCOMPARE(in, transformed(m_colours, transform(m_adobe, m_proPhoto, TYPE_BGRA_8)));
    QCOMPARE(toDevice(cms, m_colours), transformed(m_colours, transform(m_proPhoto, m_adobe, TYPE_BGRA_8)));

    // Adobe's green lies outside sRGB: in ProPhoto it must be a different, less red colour
    // than sRGB's green, and match the reference ProPhoto profile within a step.
    TCMS plain;
    const QRgb adobeGreen = in.pixel(0, 0);
    const QRgb srgbGreen = toProPhoto(plain, m_colours).pixel(0, 0);
    QVERIFY(qRed(adobeGreen) < qRed(srgbGreen));
    const Profile reference = open(shared("ProPhotoRGB.icc"));
    const QRgb expected = transformed(m_colours, transform(m_adobe, reference, TYPE_BGRA_8)).pixel(0, 0);
    QVERIFY(std::abs(qRed(adobeGreen) - qRed(expected)) <= 1);
    QVERIFY(std::abs(qGreen(adobeGreen) - qGreen(expected)) <= 1);
    QVERIFY(std::abs(qBlue(adobeGreen) - qBlue(expected)) <= 1);
}

void tst_Cms::samePointerIsIgnored()
{
    TCMS cms;
    cms.setQImageICC(m_adobeBytes.constData(), m_adobeBytes.size());
    const QImage before = toProPhoto(cms, m_colours);
    // A rebuild with this size would reject the data and fall back to sRGB with a trace.
    TraceCapture trace;
    cms.setQImageICC(m_adobeBytes.constData(), 16);
    QCOMPARE(toProPhoto(cms, m_colours), before);
    QCOMPARE(trace.count("sRGB stands in"), 0);

    // A new pointer rebuilds: here to the first 16 bytes of the profile, which are rejected.
    const QByteArray copy(m_adobeBytes.constData(), 16);
    cms.setQImageICC(copy.constData(), copy.size());
    QVERIFY(toProPhoto(cms, m_colours) != before);
    QCOMPARE(trace.count("sRGB stands in"), 1);
}

void tst_Cms::nullProfileRevertsToSRGB()
{
    TCMS cms;
    TCMS plain;
    cms.setQImageICC(m_adobeBytes.constData(), m_adobeBytes.size());
    QVERIFY(toProPhoto(cms, m_colours) != toProPhoto(plain, m_colours));
    cms.setQImageICC(nullptr, 12345);
    QCOMPARE(toProPhoto(cms, m_colours), toProPhoto(plain, m_colours));
    QCOMPARE(toDevice(cms, m_colours), toDevice(plain, m_colours));
}

void tst_Cms::planeProfileUsedBothWays()
{
    TCMS cms;
    cms.setQImageICC(m_adobeBytes.constData(), m_adobeBytes.size());
    const int width = 8;
    Planes out(width);
    const TPImage source = planesOf(m_colours);

    // The QImage profile does not apply to planes.
    TCMS plain;
    Planes plainOut(width);
    TraceCapture trace;
    cms.convert(source, out.pointers(), width, width, 1);
    plain.convert(source, plainOut.pointers(), width, width, 1);
    QVERIFY(out.data[0] == plainOut.data[0] && out.data[1] == plainOut.data[1]);

    cms.setPImageICC(m_adobeBytes.constData(), m_adobeBytes.size());
    cms.convert(source, out.pointers(), width, width, 1);
    Planes expected(width);
    QVERIFY(source.convertTopRGB(expected.pointers(), width));
    std::vector<unsigned short> interleaved(3 * width);
    for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c)
            interleaved[3 * x + c] = expected.data[c][x];
    cmsDoTransform(transform(m_proPhoto, m_adobe, TYPE_RGB_16).get(), interleaved.data(), interleaved.data(), width);
    for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c)
            QCOMPARE(out.data[c][x], interleaved[3 * x + c]);
    QCOMPARE(trace.count("TCMS Convert!"), 3);
    QCOMPARE(trace.count("Full Proced"), 3);

    // And back: the planes become ProPhoto, and the target holds them.
    Planes device(width);
    for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c)
            device.data[c][x] = interleaved[3 * x + c] = quint16(x * 8191 + c * 20000);
    TPImage target(width, 1);
    cms.convert(device.pointers(), width, width, 1, target);
    cmsDoTransform(transform(m_adobe, m_proPhoto, TYPE_RGB_16).get(), interleaved.data(), interleaved.data(), width);
    for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c)
            QCOMPARE(device.data[c][x], interleaved[3 * x + c]);
    TPImage reference(width, 1);
    QVERIFY(reference.convertFrompRGB(device.pointers(), width, 1, width));
    QVERIFY(cv::norm(target.m_lum, reference.m_lum, cv::NORM_INF) == 0);
    QVERIFY(cv::norm(target.m_c1, reference.m_c1, cv::NORM_INF) == 0);
    QVERIFY(cv::norm(target.m_c2, reference.m_c2, cv::NORM_INF) == 0);
}

void tst_Cms::badProfileFallsBackToSRGB_data()
{
    QTest::addColumn<QByteArray>("data");

    QByteArray random(3000, '\0');
    quint32 state = 5;
    for (char &c : random)
        c = char((state = state * 1664525u + 1013904223u) >> 24);
    QTest::newRow("random bytes") << random;
    QTest::newRow("truncated real profile") << shared("AdobeRGB1998.icc").left(200);
    QTest::newRow("header only") << shared("AdobeRGB1998.icc").left(128);
    cmsToneCurve *gamma = cmsBuildGamma(nullptr, 2.2);
    Profile grey(cmsCreateGrayProfile(cmsD50_xyY(), gamma));
    cmsFreeToneCurve(gamma);
    QTest::newRow("grey profile") << save(grey.get());
    Profile cmyk(cmsCreateInkLimitingDeviceLink(cmsSigCmykData, 300));
    QTest::newRow("CMYK device link") << save(cmyk.get());
    Profile lab(cmsCreateLab4Profile(nullptr));
    QTest::newRow("Lab profile") << save(lab.get());
}

void tst_Cms::badProfileFallsBackToSRGB()
{
    QFETCH(QByteArray, data);
    QVERIFY(!data.isEmpty());

    TCMS plain;
    TCMS cms;
    TraceCapture trace;
    cms.setQImageICC(data.constData(), data.size());
    cms.setPImageICC(data.constData(), data.size());
    QCOMPARE(toProPhoto(cms, m_colours), toProPhoto(plain, m_colours));
    QCOMPARE(toDevice(cms, m_colours), toDevice(plain, m_colours));
    QCOMPARE(trace.count("sRGB stands in"), 2);
    // LittleCMS's own reason reaches the trace too.
    QVERIFY(trace.count("LittleCMS error") >= 2);

    const TPImage source = planesOf(m_colours);
    Planes out(8);
    Planes expected(8);
    cms.convert(source, out.pointers(), 8, 8, 1);
    plain.convert(source, expected.pointers(), 8, 8, 1);
    for (int c = 0; c < 3; ++c)
        QVERIFY(out.data[c] == expected.data[c]);
    QCOMPARE(trace.count("sRGB stands in"), 3);
}

void tst_Cms::copiesShareProfilesNotTransforms()
{
    auto *original = new TCMS;
    original->setQImageICC(m_adobeBytes.constData(), m_adobeBytes.size());
    const QImage adobe = toProPhoto(*original, m_colours);

    TCMS copy(*original);
    TCMS assigned;
    const QImage plain = toProPhoto(assigned, m_colours);
    assigned = *original;
    // Each has built its own transforms by now; deleting the original must leave the
    // copies working (and the sanitizer build would see a double delete).
    QCOMPARE(toProPhoto(copy, m_colours), adobe);
    delete original;
    QCOMPARE(toProPhoto(copy, m_colours), adobe);
    QCOMPARE(toProPhoto(assigned, m_colours), adobe);

    assigned = TCMS();
    QCOMPARE(toProPhoto(assigned, m_colours), plain);
    assigned = assigned;
    QCOMPARE(toProPhoto(assigned, m_colours), plain);
}

void tst_Cms::onePixel()
{
    TCMS cms;
    cms.setQImageICC(m_adobeBytes.constData(), m_adobeBytes.size());
    unsigned char in[4] = { 10, 200, 60, 255 };
    unsigned char out[4] = { 0, 0, 0, 77 };
    QVERIFY(cms.convertProPhotoToDeviceOrSRGB(in, out));
    unsigned char expected[4] = { 0, 0, 0, 77 };
    cmsDoTransform(transform(m_proPhoto, m_adobe, TYPE_BGRA_8).get(), in, expected, 1);
    QVERIFY(std::equal(out, out + 4, expected));
    TraceCapture trace;
    QVERIFY(!cms.convertProPhotoToDeviceOrSRGB(nullptr, out));
    QVERIFY(!cms.convertProPhotoToDeviceOrSRGB(in, nullptr));
    QCOMPARE(trace.count("null pixel"), 2);
}

FX_REGISTER_TEST(tst_Cms)
#include "tst_cms.moc"
