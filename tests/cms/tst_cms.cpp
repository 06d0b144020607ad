#include "tcms.h"
#include "testdata.h"
#include "testregistry.h"
#include "tfxcommondata.h"
#include "tim.h"
#include "tpimage.h"
#include "tracecapture.h"
#include "tsampleimage.h"

#include <QFile>
#include <QTest>
#include <array>
#include <lcms2.h>
#include <memory>

// The embedded profiles, TCMS and TFxCommonData::setup, checked against LittleCMS called
// directly here: which device profile each side uses, band-by-band conversion against
// whole-image references, source formats and target sizing.
class tst_Cms : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void embeddedProfile_data();
    void embeddedProfile();
    void matchesLittleCms_data();
    void matchesLittleCms();
    void greysStayNeutral();
    void setupFillsLevel0Only();
};

namespace {
using Handle = std::shared_ptr<void>;
Handle g_proPhoto;

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The profile in bytes, null when LittleCMS rejects it; sRGB for no bytes, as in TCMS.
Handle profile(const QByteArray &bytes)
{
    void *p = bytes.isEmpty() ? cmsCreate_sRGBProfile() : cmsOpenProfileFromMem(bytes.constData(), bytes.size());
    return p ? Handle(p, cmsCloseProfile) : Handle();
}

Handle transform(const Handle &from, const Handle &to, cmsUInt32Number format)
{
    void *t = cmsCreateTransform(from.get(), format, to.get(), format, INTENT_ABSOLUTE_COLORIMETRIC, 0);
    return t ? Handle(t, cmsDeleteTransform) : Handle();
}

// image as ARGB32 with every pixel run through t (BGRA 8-bit); alpha stays.
QImage transformed(const QImage &image, const Handle &t)
{
    QImage copy = image.convertToFormat(QImage::Format_ARGB32).copy();
    for (int y = 0; t && y < copy.height(); ++y)
        cmsDoTransform(t.get(), copy.scanLine(y), copy.scanLine(y), cmsUInt32Number(copy.width()));
    return copy;
}

// Empty when a has b's planes, sample for sample, else the first plane that differs and how.
QString planeDifference(const TPImage &a, const TPImage &b)
{
    const std::pair<const char *, cv::Mat TPImage::*> planes[] = { { "luma", &TPImage::m_lum },
        { "colour 1", &TPImage::m_c1 }, { "colour 2", &TPImage::m_c2 }, { "alpha", &TPImage::m_p4 } };
    for (const auto &[name, plane] : planes) {
        const cv::Mat &x = a.*plane, &y = b.*plane;
        if (x.size() != y.size())
            return QString("%1: %2 x %3, expected %4 x %5").arg(name).arg(x.cols).arg(x.rows).arg(y.cols).arg(y.rows);
        if (!x.empty() && cv::norm(x, y, cv::NORM_INF) != 0)
            return QString("%1 differs by up to %2").arg(name).arg(cv::norm(x, y, cv::NORM_INF));
    }
    return QString();
}

#define VERIFY_SAME_PLANES(a, b)                                                                                       \
    do {                                                                                                               \
        const QString difference = planeDifference(a, b);                                                              \
        QVERIFY2(difference.isEmpty(), qPrintable(difference));                                                        \
    } while (false)

// Three random 16-bit planes R, G, B stacked in one matrix, rows padded by three samples.
cv::Mat randomPlanes(int width, int height)
{
    cv::Mat planes(3 * height, width + 3, CV_16UC1);
    if (height > 0)
        cv::RNG(width).fill(planes, cv::RNG::UNIFORM, 0, 65536);
    return planes;
}

std::array<unsigned short *, 3> pointers(cv::Mat &planes)
{
    const int h = planes.rows / 3;
    return { planes.ptr<unsigned short>(0), planes.ptr<unsigned short>(h), planes.ptr<unsigned short>(2 * h) };
}

// The first width samples of each row through t, a planar 16-bit RGB transform.
void transformPlanes(const Handle &t, cv::Mat &planes, int width)
{
    const int row = int(planes.step), plane = row * planes.rows / 3;
    cmsDoTransformLineStride(t.get(), planes.data, planes.data, width, planes.rows / 3, row, row, plane, plane);
}

// Largest 8-bit channel difference between two RGB transforms over a 17^3 grid of colours.
int worstOverGrid(const Handle &a, const Handle &b)
{
    const int count = 17 * 17 * 17, step[3] = { 289, 17, 1 };
    std::vector<quint8> in(3 * count), outA(in.size()), outB(in.size());
    for (int i = 0; i < 3 * count; ++i)
        in[i] = quint8(std::min(255, i / 3 / step[i % 3] % 17 * 16));
    cmsDoTransform(a.get(), in.data(), outA.data(), count);
    cmsDoTransform(b.get(), in.data(), outB.data(), count);
    return int(cv::norm(cv::Mat(outA), cv::Mat(outB), cv::NORM_INF));
}

enum Then { Nothing, NullPointer, SamePointerOtherSize };
}

void tst_Cms::initTestCase()
{
    g_proPhoto = profile(readAll(":/iccprofiles/ProPhoto.icc"));
    QVERIFY(g_proPhoto);
}

// Tolerances are the measured worst cases, sRGB colours converted both ways. Pure gamma
// curves are so steep near zero that colorants differing in their last digit show as a few
// steps there; the CIE RGB reference rounds its primaries to three decimals, which moves its
// gamut edge. Melissa RGB has no published reference profile.
void tst_Cms::embeddedProfile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("displayClass");
    QTest::addColumn<QString>("reference");
    QTest::addColumn<int>("tolerance");
    const QString srgb = "sRGB.icc";
    QTest::newRow("ProPhoto") << "ProPhoto.icc" << 2 << true << "ProPhotoRGB.icc" << 1;
    QTest::newRow("CIE RGB") << "CIERGB.icc" << 2 << true << "CIE-RGB.icc" << 13;
    QTest::newRow("Adobe 98") << "Adobe98.icc" << 2 << true << "AdobeRGB1998.icc" << 4;
    QTest::newRow("Apple RGB") << "AppleRGB.icc" << 2 << true << "AppleRGB.icc" << 2;
    QTest::newRow("Wide Gamut") << "WideGamut.icc" << 2 << true << "WideGamutRGB.icc" << 3;
    QTest::newRow("Melissa RGB") << "MelissaRGB.icc" << 2 << true << QString() << 0;
    QTest::newRow("sRGB black scaled") << "sRGB_IEC61966-2-1_black_scaled.icc" << 2 << true << srgb << 1;
    QTest::newRow("sRGB no black scaling") << "sRGB_IEC61966-2-1_no_black_scaling.icc" << 2 << true << srgb << 1;
    QTest::newRow("sRGB v4 preference") << "sRGB_v4_ICC_preference.icc" << 4 << false << srgb << 1;
    QTest::newRow("sRGB v4 display class") << "sRGB_v4_ICC_preference_displayclass.icc" << 4 << true << srgb << 1;
}

void tst_Cms::embeddedProfile()
{
    QFETCH(QString, name);
    QFETCH(int, version);
    QFETCH(bool, displayClass);
    QFETCH(QString, reference);
    QFETCH(int, tolerance);

    const QByteArray bytes = readAll(":/iccprofiles/" + name);
    QVERIFY2(!bytes.isEmpty(), "not embedded");
    const Handle ours = profile(bytes);
    QVERIFY2(ours, "rejected by LittleCMS");
    QCOMPARE(int(cmsGetProfileVersion(ours.get())), version);
    QCOMPARE(cmsGetDeviceClass(ours.get()), displayClass ? cmsSigDisplayClass : cmsSigColorSpaceClass);
    QCOMPARE(cmsGetColorSpace(ours.get()), cmsSigRgbData);
    if (reference.isEmpty())
        return;
    FX_REQUIRE_SHARED_DATA("icc/" + reference);
    const Handle ref = profile(readAll(sharedDataPath("icc/" + reference)));
    QVERIFY2(ref, "reference rejected by LittleCMS");
    const Handle srgb = profile({});
    const int into = worstOverGrid(transform(srgb, ours, TYPE_RGB_8), transform(srgb, ref, TYPE_RGB_8));
    const int from = worstOverGrid(transform(ours, srgb, TYPE_RGB_8), transform(ref, srgb, TYPE_RGB_8));
    QVERIFY2(into <= tolerance && from <= tolerance, qPrintable(QString("into %1, from %2").arg(into).arg(from)));
}

// Every conversion direction against LittleCMS with the device profile the rows expect (no
// bytes: sRGB). Both device profiles (QImage and planes) are set to the row's data, and
// transforms are built on both sides before they are optionally set again. Sizes and formats
// cover single rows and columns, odd sizes, several bands with an odd last one, and sources
// of other formats, which must convert as their ARGB32 form does.
void tst_Cms::matchesLittleCms_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("then");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("shared"); // the shared file data and expected come from, if any
    const QString a = "icc/AdobeRGB1998.icc";
    auto row = [](const char *name, int width, int height, QImage::Format format, const QByteArray &data = {},
                   int then = Nothing, const QByteArray &expected = {}, const QString &shared = {}) {
        QTest::newRow(name) << width << height << int(format) << data << then << expected << shared;
    };
    const QImage::Format argb = QImage::Format_ARGB32;
    const QByteArray adobe = readAll(sharedDataPath(a));
    QByteArray random(3000, '\0');
    cv::RNG(3).fill(cv::Mat(1, random.size(), CV_8UC1, random.data()), cv::RNG::UNIFORM, 0, 256);
    row("null image", 0, 0, argb);
    row("1x1", 1, 1, argb);
    row("1x7 RGB888", 1, 7, QImage::Format_RGB888);
    row("7x1 Grayscale8", 7, 1, QImage::Format_Grayscale8);
    row("129x67 Indexed8", 129, 67, QImage::Format_Indexed8);
    row("1001x131 odd last band, premultiplied", 1001, 131, QImage::Format_ARGB32_Premultiplied);
    row("4100x65 wide rows, RGB16", 4100, 65, QImage::Format_RGB16);
    row("Adobe", 16, 8, argb, adobe, Nothing, adobe, a);
    row("Adobe, then null reverts to sRGB", 16, 8, argb, adobe, NullPointer, {}, a);
    row("Adobe, then same pointer with other size", 16, 8, argb, adobe, SamePointerOtherSize, adobe, a);
    // Rejected data: sRGB stands in.
    row("random bytes", 16, 8, argb, random);
    row("truncated", 16, 8, argb, adobe.left(200), Nothing, {}, a);
    for (const char *space : { "GRAY", "CMYK", "Lab " }) // well-formed, but of the wrong colour space
        row(space, 16, 8, argb, QByteArray(adobe).replace(16, 4, space), Nothing, {}, a);
}

void tst_Cms::matchesLittleCms()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, format);
    QFETCH(QByteArray, data);
    QFETCH(int, then);
    QFETCH(QByteArray, expected);
    QFETCH(QString, shared);
    if (!shared.isEmpty())
        FX_REQUIRE_SHARED_DATA(shared);

    QImage source = TSampleImage::generate(width, height);
    for (int i = 0; i < width * height; ++i) // alpha varied, so that its handling shows
        reinterpret_cast<QRgb *>(source.bits())[i] ^= quint32(i * 37 % 256) << 24;
    source = source.convertToFormat(QImage::Format(format));
    TCMS cms;
    TraceCapture trace;
    cms.setQImageICC(data.constData(), data.size());
    cms.setPImageICC(data.constData(), data.size());
    // Planes out below are written over these, which serve as input here first.
    QImage first = source.copy();
    cv::Mat out = randomPlanes(width, height), expectedOut = out.clone();
    TPImage fromPlanes(width, height), expectedFromPlanes(width, height);
    cms.convert(first, false);
    cms.convert(pointers(out).data(), width + 3, width, height, fromPlanes);
    if (then != Nothing) {
        cms.setQImageICC(then == NullPointer ? nullptr : data.constData(), 16);
        cms.setPImageICC(then == NullPointer ? nullptr : data.constData(), 16);
    }
    const Handle device = profile(expected);
    const QImage reference = transformed(source, transform(device, g_proPhoto, TYPE_BGRA_8));
    if (format == QImage::Format_ARGB32 && then != NullPointer)
        QCOMPARE(first, reference);
    TPImage planes(width, height), expectedPlanes;
    cms.convert(source, planes);
    expectedPlanes.convertFrom(reference.constBits(), width, height, reference.bytesPerLine());
    VERIFY_SAME_PLANES(planes, expectedPlanes);
    if (source.isNull())
        return;

    // Back out, with a processed half-resolution luminance, into a target of another size: it
    // becomes an opaque ARGB32 image made from the rebuilt full luminance.
    QVERIFY(planes.create(width, height, true));
    TPImage opaque = planes;
    cv::RNG(width).fill(planes.m_half, cv::RNG::UNIFORM, 0, 65536);
    planes.m_factor = 0.5f;
    opaque.m_lum = cv::Mat();
    QVERIFY(TPImage::reconstructFull(planes.m_lum, planes.m_half, opaque.m_lum, 0.5f, 0.01f));
    opaque.m_p4.release();
    QImage target(width + 1, height, QImage::Format_RGB888), image(width, height, QImage::Format_ARGB32);
    cms.convert(planes, target);
    QVERIFY(opaque.convertTo(image.bits(), image.bytesPerLine()));
    QCOMPARE(target, transformed(image, transform(g_proPhoto, device, TYPE_BGRA_8)));

    // The same out to 16-bit planes with padded rows, and 16-bit planes in; the planes are
    // left holding the ProPhoto values.
    cms.convert(planes, pointers(out).data(), width + 3, width, height);
    QVERIFY(opaque.convertTopRGB(pointers(expectedOut).data(), width + 3));
    transformPlanes(transform(g_proPhoto, device, TYPE_RGB_16_PLANAR), expectedOut, width);
    QCOMPARE(cv::norm(out, expectedOut, cv::NORM_INF), 0.0);
    cv::Mat in = randomPlanes(width, height), expectedIn = in.clone();
    cms.convert(pointers(in).data(), width + 3, width, height, fromPlanes);
    transformPlanes(transform(device, g_proPhoto, TYPE_RGB_16_PLANAR), expectedIn, width);
    QCOMPARE(cv::norm(in, expectedIn, cv::NORM_INF), 0.0);
    QVERIFY(expectedFromPlanes.convertFrompRGB(pointers(expectedIn).data(), width, height, width + 3));
    VERIFY_SAME_PLANES(fromPlanes, expectedFromPlanes);
    // Rejected data leaves one trace line for each of the four transforms.
    QCOMPARE(trace.count("sRGB stands in"), !data.isEmpty() && expected.isEmpty() && then == Nothing ? 4 : 0);
}

void tst_Cms::greysStayNeutral()
{
    QImage greys(256, 1, QImage::Format_Grayscale8), back;
    for (int x = 0; x < 256; ++x)
        greys.bits()[x] = uchar(x);
    TCMS cms;
    TPImage planes(256, 1);
    cms.convert(greys, planes);
    cms.convert(planes, back);
    for (int x = 0; x < 256; ++x) {
        const int grey = qGreen(back.pixel(x, 0));
        QVERIFY2(back.pixel(x, 0) == qRgb(grey, grey, grey) && std::abs(grey - x) <= (x < 255),
            qPrintable(QString("grey %1 came back as #%2").arg(x).arg(back.pixel(x, 0) & 0xffffff, 6, 16, QChar('0'))));
    }
}

// Level 0 is resized and filled through the colour management, from a picture or from
// padded planes, each time; the views keep what they had.
void tst_Cms::setupFillsLevel0Only()
{
    TCMS cms;
    TFxCommonData data;
    TIm &im = data.image();
    for (int level = 1; level < TIm::numLevels; ++level)
        im.getMat(TIm::MatLuma, TIm::CImId(level)) = cv::Mat(level, level + 2, CV_16UC1, cv::Scalar(level));
    for (const auto &[width, height] : { std::pair(31, 17), std::pair(12, 7), std::pair(1, 1), std::pair(64, 40) }) {
        TPImage expected(width, height);
        if (width % 2) {
            const QImage picture = TSampleImage::generate(width, height);
            QVERIFY(data.setup(picture, &cms));
            cms.convert(picture, expected);
        } else {
            // The caller's planes are left holding the internal colour space's values.
            cv::Mat planes = randomPlanes(width, height), copy = planes.clone();
            QVERIFY(data.setup(pointers(planes).data(), width + 3, width, height, &cms));
            cms.convert(pointers(copy).data(), width + 3, width, height, expected);
            QCOMPARE(cv::norm(planes, copy, cv::NORM_INF), 0.0);
        }
        VERIFY_SAME_PLANES(*im.ptr(TIm::CImFull), expected);
        for (int level = 1; level < TIm::numLevels; ++level)
            QCOMPARE(cv::sum(im.getMat(TIm::MatLuma, TIm::CImId(level)))[0], double(level * level * (level + 2)));
    }
}

FX_REGISTER_TEST(tst_Cms)
#include "tst_cms.moc"
