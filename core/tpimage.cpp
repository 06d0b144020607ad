#include "tpimage.h"

#include "pixelmodel.h"
#include "planepool.h"

#include <climits>

using PixelModel::halfUp;

TPImage::TPImage(int width, int height)
    : m_uid_p(new TUid(this))
{
    create(width, height, false);
}

TPImage::TPImage(const TPImage &other)
    : m_lum(other.m_lum)
    , m_half(other.m_half)
    , m_factor(other.m_factor)
    , m_c1(other.m_c1)
    , m_c2(other.m_c2)
    , m_p4(other.m_p4)
    , m_x(other.m_x)
    , m_y(other.m_y)
    , m_dec(other.m_dec)
    , m_uid_p(new TUid(this))
{
    m_uid_p->takeId(*other.m_uid_p);
}

TPImage &TPImage::operator=(const TPImage &other)
{
    if (this == &other)
        return *this;
    m_lum = other.m_lum;
    m_half = other.m_half;
    m_factor = other.m_factor;
    m_c1 = other.m_c1;
    m_c2 = other.m_c2;
    m_p4 = other.m_p4;
    m_x = other.m_x;
    m_y = other.m_y;
    m_dec = other.m_dec;
    m_uid_p->takeId(*other.m_uid_p);
    return *this;
}

TPImage::~TPImage() { delete m_uid_p; }

bool TPImage::create(int width, int height, bool withHalf)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    // cv::Mat sizes are int and a plane must stay addressable with int arithmetic.
    if (width > 0 && height > 0 && std::int64_t(width) * height > INT_MAX / 2)
        return false;
    if (width == 0 || height == 0)
        width = height = 0;
    const int hw = halfUp(width);
    const int hh = halfUp(height);
    PlanePool::createOwned(m_lum, height, width, CV_16UC1);
    if (withHalf)
        PlanePool::createOwned(m_half, hh, hw, CV_16UC1);
    else
        m_half.release();
    PlanePool::createOwned(m_c1, hh, hw, CV_16UC1);
    PlanePool::createOwned(m_c2, hh, hw, CV_16UC1);
    PlanePool::createOwned(m_p4, hh, hw, CV_16UC1);
    return true;
}

TPImage TPImage::clone() const
{
    TPImage copy;
    copy.m_lum = PlanePool::clone(m_lum);
    copy.m_half = PlanePool::clone(m_half);
    copy.m_factor = m_factor;
    copy.m_c1 = PlanePool::clone(m_c1);
    copy.m_c2 = PlanePool::clone(m_c2);
    copy.m_p4 = PlanePool::clone(m_p4);
    copy.m_x = m_x;
    copy.m_y = m_y;
    copy.m_dec = m_dec;
    copy.m_uid_p->takeId(*m_uid_p);
    return copy;
}

void TPImage::setUid(const TUid *uid)
{
    if (uid)
        m_uid_p->takeId(*uid);
}

bool TPImage::RGBC3ToQImage(const cv::Mat &mat, unsigned char *bits, int width, int height, int bytesPerLine)
{
    if (!bits || mat.type() != CV_8UC3 || width < 0 || height < 0 || width > mat.cols || height > mat.rows
        || bytesPerLine < 4 * width)
        return false;
    for (int y = 0; y < height; ++y) {
        const unsigned char *src = mat.ptr<unsigned char>(y);
        unsigned char *dst = bits + std::ptrdiff_t(y) * bytesPerLine;
        for (int x = 0; x < width; ++x) {
            dst[4 * x + 0] = src[3 * x + 0];
            dst[4 * x + 1] = src[3 * x + 1];
            dst[4 * x + 2] = src[3 * x + 2];
            dst[4 * x + 3] = 255;
        }
    }
    return true;
}
