#include "fxanalysis.h"

#include "fxtrace.h"
#include "kernels.h"
#include "mhist.h"
#include "planepool.h"
#include "thistdraw.h"
#include "tpimage.h"

#include <vector>

namespace {

// The three analysis planes at the colour planes' size: luminance halved, then copies of
// the two colour planes. Pooled buffers: on a large picture fresh ones would cost more
// than the analysis itself.
std::vector<cv::Mat> analysisPlanes(const TPImage &image)
{
    std::vector<cv::Mat> planes(3);
    if (image.bEmpty())
        return planes;
    planes[0] = PlanePool::clone(image.m_c2);
    if (!downSize2X(image.m_lum, planes[0], 4))
        FX_TRACE("analysisPlanes", "cannot halve the luminance") << image.width() << image.height();
    planes[1] = PlanePool::clone(image.m_c1);
    planes[2] = PlanePool::clone(image.m_c2);
    return planes;
}

}

bool getCMHistogram(const TPImage &image, std::string &out)
{
    MHist hist;
    hist.compute(analysisPlanes(image));
    hist.save(out);
    return true;
}

bool getColorTheme(const TPImage &image, std::string &s1, std::string &s2, std::string &s3)
{
    const std::vector<cv::Mat> planes = analysisPlanes(image);
    cv::Mat merged;
    merged.allocator = PlanePool::allocator();
    try {
        if (!planes[0].empty())
            cv::merge(planes, merged);
    } catch (const cv::Exception &e) {
        FX_TRACE("getColorTheme", "the planes do not fit together") << e.what();
        merged.release();
    }
    MHist hist;
    hist.computeColorTheme(merged, s1, s2, s3);
    return true;
}

QImage getHistogram(TPImage &image, int w, int h)
{
    THistDraw draw;
    draw.setHistSize(w, h);
    cv::Mat matrix;
    draw.getHistMat(matrix, image);
    QImage result(matrix.cols, matrix.rows, QImage::Format_RGB32);
    if (!result.isNull())
        TPImage::RGBC3ToQImage(matrix, result.scanLine(0), matrix.cols, matrix.rows, result.bytesPerLine());
    return result;
}
