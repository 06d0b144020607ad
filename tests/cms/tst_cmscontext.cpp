// What TCMS leaves to the host: the host's own LittleCMS error handler, and targets of any
// 32-bit RGB byte order.
#include "tcms.h"
#include "testregistry.h"
#include "tpimage.h"
#include "tracecapture.h"
#include "tsampleimage.h"

#include <QtTest>
#include <lcms2.h>

namespace {
int g_hostErrors = 0;
void hostHandler(cmsContext, cmsUInt32Number, const char *) { ++g_hostErrors; }
}

class tst_CmsContext : public QObject {
    Q_OBJECT
private slots:
    // A host that uses LittleCMS itself keeps its handler, and hears nothing of the engine's
    // errors; the engine still reports a rejected profile and falls back to sRGB.
    void hostHandlerIsLeftAlone()
    {
        cmsSetLogErrorHandler(hostHandler);
        g_hostErrors = 0;
        const QByteArray garbage(600, 'x');
        const QImage picture = TSampleImage::generate(16, 12);
        TPImage withGarbage(16, 12), withSRGB(16, 12);
        {
            TraceCapture trace;
            TCMS cms;
            cms.setQImageICC(garbage.constData(), garbage.size());
            cms.convert(picture, withGarbage);
            QCOMPARE(trace.count("sRGB stands in"), 1);
            QVERIFY2(trace.count("LittleCMS error") >= 1, qPrintable(trace.lines().join('\n')));
        }
        TCMS plain;
        plain.convert(picture, withSRGB);
        QCOMPARE(cv::norm(withGarbage.m_lum, withSRGB.m_lum, cv::NORM_INF), 0.0);
        QCOMPARE(g_hostErrors, 0);
        // The host's handler is still the one LittleCMS calls for the host's own work.
        QCOMPARE(cmsOpenProfileFromMem(garbage.constData(), cmsUInt32Number(garbage.size())), nullptr);
        QVERIFY(g_hostErrors > 0);
        cmsSetLogErrorHandler(nullptr);
    }

    // A target of the source's size is written in its own byte order; formats that are not
    // 32-bit RGB are refused and left as they were.
    void targetsOfEveryByteOrder_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("written");
        QTest::newRow("RGB32") << int(QImage::Format_RGB32) << true;
        QTest::newRow("ARGB32") << int(QImage::Format_ARGB32) << true;
        QTest::newRow("ARGB32 premultiplied") << int(QImage::Format_ARGB32_Premultiplied) << true;
        QTest::newRow("RGBA8888") << int(QImage::Format_RGBA8888) << true;
        QTest::newRow("RGBX8888") << int(QImage::Format_RGBX8888) << true;
        QTest::newRow("RGBA8888 premultiplied") << int(QImage::Format_RGBA8888_Premultiplied) << true;
        QTest::newRow("RGB888 refused") << int(QImage::Format_RGB888) << false;
        QTest::newRow("RGB30 refused") << int(QImage::Format_RGB30) << false;
    }

    void targetsOfEveryByteOrder()
    {
        QFETCH(int, format);
        QFETCH(bool, written);
        const QImage picture = TSampleImage::generate(37, 21);
        TCMS cms;
        TPImage image(37, 21);
        cms.convert(picture, image);
        QImage reference;
        cms.convert(image, reference);
        QCOMPARE(reference.format(), QImage::Format_ARGB32);

        QImage target(37, 21, QImage::Format(format));
        target.fill(Qt::magenta);
        const QImage before = target.copy();
        TraceCapture trace;
        cms.convert(image, target);
        QCOMPARE(target.format(), QImage::Format(format));
        if (!written) {
            QCOMPARE(target, before);
            QCOMPARE(trace.count("not a 32-bit RGB image"), 1);
            return;
        }
        for (int y = 0; y < target.height(); ++y) {
            for (int x = 0; x < target.width(); ++x) {
                QVERIFY2(target.pixel(x, y) == reference.pixel(x, y),
                    qPrintable(QString("at %1,%2: %3 instead of %4")
                                   .arg(x)
                                   .arg(y)
                                   .arg(target.pixel(x, y), 8, 16)
                                   .arg(reference.pixel(x, y), 8, 16)));
            }
        }
    }
};

FX_REGISTER_TEST(tst_CmsContext)
#include "tst_cmscontext.moc"
