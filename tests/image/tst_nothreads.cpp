#include "tcms.h"
#include "testregistry.h"
#include "tfxcommondata.h"
#include "tim.h"
#include "tpimage.h"
#include "troi.h"
#include "tsampleimage.h"

#include <QDir>
#include <QtTest>

namespace {
// QImage::convertToFormat of a whole large picture would itself start Qt's thread pool
// (before the count, but its threads could expire during it); bands of a few rows do not.
QImage convertInBands(const QImage &source, QImage::Format format)
{
    QImage result(source.size(), format);
    const int band = 4;
    for (int y = 0; y < source.height(); y += band) {
        const int rows = std::min(band, source.height() - y);
        const QImage part
            = QImage(source.constScanLine(y), source.width(), rows, source.bytesPerLine(), source.format())
                  .convertToFormat(format);
        for (int r = 0; r < rows; ++r)
            memcpy(result.scanLine(y + r), part.constScanLine(r),
                size_t(std::min(part.bytesPerLine(), result.bytesPerLine())));
    }
    return result;
}

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}
}

// The engine runs on the caller's thread only: a whole pass through the image model and the
// colour management must leave the process with the threads it had.
class tst_NoThreads : public QObject {
    Q_OBJECT
private slots:
    void passStartsNoThreads_data();
    void passStartsNoThreads();
};

void tst_NoThreads::passStartsNoThreads_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("ARGB32") << int(QImage::Format_ARGB32);
    // Formats that need a conversion first: Qt's own converter would use its thread pool.
    QTest::newRow("RGB888") << int(QImage::Format_RGB888);
    QTest::newRow("ARGB32 premultiplied") << int(QImage::Format_ARGB32_Premultiplied);
    QTest::newRow("Grayscale8") << int(QImage::Format_Grayscale8);
}

void tst_NoThreads::passStartsNoThreads()
{
    QFETCH(int, format);
    // Large enough that any library call that parallelises would do so.
    const QImage sample = TSampleImage::generate(2400, 1600);
    const QImage picture = convertInBands(sample, QImage::Format(format));
    const int before = threadCount();
    {
        TCMS cms;
        TFxCommonData source;
        source.setup(picture, &cms);
        source.image().updateCIms(TIm::CImView1, TRoi(600, 400, 0, 0, 4));
        source.image().updateCIms(TIm::CImView2, TRoi(1200, 800, 600, 400, 1));
        QImage full, view;
        cms.convert(*source.image().ptr(TIm::CImFull), full);
        cms.convert(*source.image().ptr(TIm::CImView1), view);
        QCOMPARE(full.size(), picture.size());
        QCOMPARE(view.size(), QSize(600, 400));
    }
    QCOMPARE(threadCount(), before);
}

FX_REGISTER_TEST(tst_NoThreads)
#include "tst_nothreads.moc"
