#include "tim.h"

#include "fxtrace.h"
#include "tpimage.h"
#include "troi.h"

#include <algorithm>
#include <cstdint>

namespace {
// Above this size of level 0, a view decimated more than this many times is derived by the
// fast sampling path; its pixels are averages of fewer samples, which is invisible at that
// decimation and saves most of the reading.
int fastThreshold(int sizeLimit)
{
    if (sizeLimit <= 3100)
        return 1;
    if (sizeLimit <= 4800)
        return 2;
    if (sizeLimit <= 6600)
        return 3;
    return 4;
}
}

TIm::TIm()
{
    for (int i = 0; i < numLevels; ++i)
        m_levels.append(new TPImage(0, 0));
}

TIm::TIm(const TIm &other)
{
    for (int i = 0; i < numLevels; ++i)
        m_levels.append(new TPImage(*other.m_levels.at(i)));
}

const TIm &TIm::operator=(const TIm &other)
{
    if (this == &other)
        return *this;
    for (int i = 0; i < numLevels; ++i) {
        delete m_levels[i];
        m_levels[i] = new TPImage(*other.m_levels.at(i));
    }
    return *this;
}

TIm::~TIm() { qDeleteAll(m_levels); }

TPImage *TIm::ptr(CImId cid) { return m_levels[cid]; }

const TPImage *TIm::ptr(CImId cid) const { return m_levels.at(cid); }

cv::Mat &TIm::getMat(MatId id, CImId cid)
{
    TPImage *level = m_levels[cid];
    switch (id) {
    case MatLuma:
        return level->m_lum;
    case MatColour1:
        return level->m_c1;
    case MatColour2:
        return level->m_c2;
    case MatPlane4:
        return level->m_p4;
    }
    FX_TRACE("TIm::getMat", "invalid id");
    return level->m_lum;
}

const cv::Mat &TIm::getMat(MatId id, CImId cid) const { return const_cast<TIm *>(this)->getMat(id, cid); }

int TIm::width(CImId cid) const { return m_levels.at(cid)->m_lum.cols; }

int TIm::height(CImId cid) const { return m_levels.at(cid)->m_lum.rows; }

bool TIm::bEmpty(CImId cid) const
{
    const cv::Mat &lum = m_levels.at(cid)->m_lum;
    return std::int64_t(lum.rows) * lum.cols < 1;
}

int TIm::dirty(CImId cid) const { return m_levels.at(cid)->m_depends.dirty(nullptr) ? 1 : 0; }

void TIm::updateUid(CImId cid) { m_levels[cid]->uid()->update(); }

bool TIm::updateCIms(CImId cid, const TRoi &roi)
{
    if (cid == CImFull) {
        FX_TRACE("TIm::updateCIms", "full image - no update: cid, roi") << 0 << roi.x() << roi.y() << roi.dec();
        return true;
    }
    TPImage *level = m_levels[cid];
    // A region without pixels leaves the level empty, whatever its width or height said, so an
    // empty level recognises any empty region at the same place as its own.
    const bool sameSize = (roi.width() == level->width() && roi.height() == level->height())
        || (level->bEmpty() && (roi.width() <= 0 || roi.height() <= 0));
    if (roi.dec() == level->m_dec && roi.x() == level->m_x && roi.y() == level->m_y && sameSize) {
        FX_TRACE("TIm::updateCIms", " Nochange: cid, roi") << int(cid) << roi.x() << roi.y() << roi.dec();
        return true;
    }
    const TPImage *full = m_levels.at(CImFull);
    const int t = fastThreshold(std::max(full->width(), full->height()));
    TPImage::MatRoi(
        full->m_lum, level->m_lum, roi.x(), roi.y(), roi.width(), roi.height(), roi.dec(), false, roi.dec() > t);
    TPImage::MatRoi(full->m_c1, level->m_c1, roi.x(), roi.y(), roi.width(), roi.height(), roi.dec(), true, false);
    TPImage::MatRoi(full->m_c2, level->m_c2, roi.x(), roi.y(), roi.width(), roi.height(), roi.dec(), true, false);
    TPImage::MatRoi(full->m_p4, level->m_p4, roi.x(), roi.y(), roi.width(), roi.height(), roi.dec(), true, false);
    level->m_dec = roi.dec();
    level->m_x = roi.x();
    level->m_y = roi.y();
    level->uid()->update();
    FX_TRACE("TIm::updateCIms", "CIm updated cid, roi") << int(cid) << roi.x() << roi.y() << roi.dec();
    return true;
}
