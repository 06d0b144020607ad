// Views of real pictures against an independent block average: every luminance sample of a
// view is the mean of its whole dec x dec block of level 0, whichever sampling path the size of
// level 0 selects, so fine detail (the sample picture's zone plate and stripes, textures in the
// photos) cannot show as moire.
#include "tcms.h"
#include "testdata.h"
#include "testregistry.h"
#include "tfxcommondata.h"
#include "tim.h"
#include "tpimage.h"
#include "troi.h"
#include "tsampleimage.h"

#include <QtTest>

class tst_ViewSampling : public QObject {
    Q_OBJECT
private slots:
    void viewIsBlockAverage_data()
    {
        QTest::addColumn<QString>("photo"); // empty: the sample picture
        QTest::addColumn<int>("dec");
        for (int dec : { 2, 3, 4, 7, 8, 16 })
            QTest::addRow("sample/dec%d", dec) << QString() << dec;
        for (const char *photo : { "astronaut.png", "chelsea.png", "coffee.png", "rocket.jpg" })
            for (int dec : { 2, 4, 5 })
                QTest::addRow("%s/dec%d", photo, dec) << QString(photo) << dec;
    }

    void viewIsBlockAverage()
    {
        QFETCH(QString, photo);
        QFETCH(int, dec);
        QImage picture;
        if (photo.isEmpty()) {
            // Wide enough that the luminance takes the fast path above dec 2.
            picture = TSampleImage::generate(3300, 1200);
        } else {
            FX_REQUIRE_SHARED_DATA("photos/" + photo);
            picture = QImage(sharedDataPath("photos/" + photo));
        }
        QVERIFY(!picture.isNull());
        TCMS cms;
        TFxCommonData source;
        QVERIFY(source.setup(picture, &cms));
        TIm &image = source.image();
        const int w = image.width(TIm::CImFull) / dec, h = image.height(TIm::CImFull) / dec;
        QVERIFY(image.updateCIms(TIm::CImView2, TRoi(w, h, 0, 0, dec)));
        const cv::Mat &full = image.getMat(TIm::MatLuma, TIm::CImFull),
                      &view = image.getMat(TIm::MatLuma, TIm::CImView2);
        QCOMPARE(view.cols, w);
        QCOMPARE(view.rows, h);
        int worst = 0, worstX = 0, worstY = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                std::int64_t sum = 0;
                for (int dy = 0; dy < dec; ++dy)
                    for (int dx = 0; dx < dec; ++dx)
                        sum += full.at<unsigned short>(y * dec + dy, x * dec + dx);
                const double mean = double(sum) / (dec * dec);
                const int difference = int(std::ceil(std::abs(view.at<unsigned short>(y, x) - mean) - 0.5));
                if (difference > worst)
                    worst = difference, worstX = x, worstY = y;
            }
        }
        QVERIFY2(worst <= 1, qPrintable(QString("off by %1 at %2,%3").arg(worst).arg(worstX).arg(worstY)));
    }
};

FX_REGISTER_TEST(tst_ViewSampling)
#include "tst_viewsampling.moc"
