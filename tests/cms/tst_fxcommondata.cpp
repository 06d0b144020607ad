#include "cmstestsupport.h"
#include "tcms.h"
#include "testregistry.h"
#include "tfxcommondata.h"
#include "tim.h"
#include "tpimage.h"
#include "tracecapture.h"
#include "tsampleimage.h"

#include <QTest>
#include <vector>

using CmsTest::samePlanes;

// TFxCommonData::setup fills level 0 through the colour management, from an image or from
// 16-bit planes, and leaves the view levels to the host.
class tst_FxCommonData : public QObject {
    Q_OBJECT
private slots:
    void setupFromImage_data();
    void setupFromImage();
    void setupFromPlanes();
    void setupWithoutCms();
};

namespace {

// Marks views 1 to 6 with content of their own so that changes to them show.
void markViews(TIm &image)
{
    for (int level = TIm::CImView1; level <= TIm::CImView6; ++level) {
        TPImage *view = image.ptr(TIm::CImId(level));
        view->create(level + 2, level + 1, false);
        view->m_lum.setTo(level * 1000);
    }
}

bool viewsMarked(const TIm &image)
{
    for (int level = TIm::CImView1; level <= TIm::CImView6; ++level) {
        const TPImage *view = image.ptr(TIm::CImId(level));
        if (view->width() != level + 2 || view->height() != level + 1
            || cv::countNonZero(view->m_lum != level * 1000) != 0)
            return false;
    }
    return true;
}
}

void tst_FxCommonData::setupFromImage_data()
{
    QTest::addColumn<QSize>("first");
    QTest::addColumn<QSize>("second");
    QTest::newRow("grow") << QSize(31, 17) << QSize(64, 40);
    QTest::newRow("shrink to 1x1") << QSize(40, 30) << QSize(1, 1);
    QTest::newRow("same size again") << QSize(21, 9) << QSize(21, 9);
}

void tst_FxCommonData::setupFromImage()
{
    QFETCH(QSize, first);
    QFETCH(QSize, second);

    TCMS cms;
    TFxCommonData data;
    markViews(data.image());
    for (const QSize &size : { first, second }) {
        const QImage picture = TSampleImage::generate(size.width(), size.height());
        QVERIFY(data.setup(picture, &cms));
        const TPImage *full = data.image().ptr(TIm::CImFull);
        QCOMPARE(full->width(), size.width());
        QCOMPARE(full->height(), size.height());
        TPImage expected(size.width(), size.height());
        cms.convert(picture, expected);
        QVERIFY(samePlanes(*full, expected));
        QVERIFY(viewsMarked(data.image()));
    }
}

void tst_FxCommonData::setupFromPlanes()
{
    TCMS cms;
    TFxCommonData data;
    markViews(data.image());
    for (const QSize &size : { QSize(13, 7), QSize(5, 22) }) {
        const int stride = size.width() + 3;
        std::vector<unsigned short> planes[3];
        for (int c = 0; c < 3; ++c) {
            planes[c].resize(size_t(stride) * size.height());
            for (size_t i = 0; i < planes[c].size(); ++i)
                planes[c][i] = quint16((i * 997 + c * 12345) % 65536);
        }
        std::vector<unsigned short> copies[3] = { planes[0], planes[1], planes[2] };
        unsigned short *p[3] = { planes[0].data(), planes[1].data(), planes[2].data() };
        unsigned short *const q[3] = { copies[0].data(), copies[1].data(), copies[2].data() };

        QVERIFY(data.setup(p, stride, size.width(), size.height(), &cms));
        const TPImage *full = data.image().ptr(TIm::CImFull);
        QCOMPARE(full->width(), size.width());
        QCOMPARE(full->height(), size.height());
        TPImage expected(size.width(), size.height());
        cms.convert(q, stride, size.width(), size.height(), expected);
        QVERIFY(samePlanes(*full, expected));
        // The caller's planes now hold the internal colour space's values.
        for (int c = 0; c < 3; ++c)
            QVERIFY(planes[c] == copies[c]);
        QVERIFY(viewsMarked(data.image()));
    }
}

void tst_FxCommonData::setupWithoutCms()
{
    TFxCommonData data;
    TraceCapture trace;
    QVERIFY(data.setup(TSampleImage::generate(12, 8), nullptr));
    QCOMPARE(data.image().width(TIm::CImFull), 12);
    QCOMPARE(data.image().height(TIm::CImFull), 8);
    QCOMPARE(trace.count("no colour management"), 1);
}

FX_REGISTER_TEST(tst_FxCommonData)
#include "tst_fxcommondata.moc"
