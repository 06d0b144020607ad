#include "blockcolourgain.h"

#include "fxpixelmodel.h"

#include <algorithm>
#include <planepool.h>
#include <tpimage.h>

bool BlockColourGain::apply(const TPImage &work, TPImage &eff, const std::vector<float> &table,
    const std::function<bool(int row, int rows)> &goOn)
{
    const cv::Mat &lum = work.m_lum;
    const int halfRows = work.m_c1.rows, halfCols = work.m_c1.cols;
    PlanePool::createOwned(eff.m_c1, halfRows, halfCols, CV_16UC1);
    PlanePool::createOwned(eff.m_c2, halfRows, halfCols, CV_16UC1);
    if (lum.empty() || table.size() < std::size_t(steps))
        return true;
    for (int y = 0; y < halfRows; ++y) {
        const int y0 = std::min(2 * y, lum.rows - 1), y1 = std::min(2 * y + 1, lum.rows - 1);
        const unsigned short *l0 = lum.ptr<unsigned short>(y0), *l1 = lum.ptr<unsigned short>(y1);
        const unsigned short *c1 = work.m_c1.ptr<unsigned short>(y), *c2 = work.m_c2.ptr<unsigned short>(y);
        unsigned short *d1 = eff.m_c1.ptr<unsigned short>(y), *d2 = eff.m_c2.ptr<unsigned short>(y);
        for (int x = 0; x < halfCols; ++x) {
            const int x0 = std::min(2 * x, lum.cols - 1), x1 = std::min(2 * x + 1, lum.cols - 1);
            const int blockLuma = (l0[x0] + l0[x1] + l1[x0] + l1[x1] + 2) >> 2;
            const float g = table[std::size_t(blockLuma * steps / 65536)];
            d1[x] = FxPixel::toSample(FxPixel::neutral + g * (float(c1[x]) - FxPixel::neutral));
            d2[x] = FxPixel::toSample(FxPixel::neutral + g * (float(c2[x]) - FxPixel::neutral));
        }
        if (y % 64 == 0 && !goOn(y, halfRows))
            return false;
    }
    return true;
}
