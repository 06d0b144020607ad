#include "tfblur.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tinport.h>
#include <toutport.h>
#include <vector>

namespace {
constexpr int passes = 3;
// Columns blurred together down the image: wide enough for the compiler to vectorise the
// column sums, narrow enough to keep the band in cache.
constexpr int bandWidth = 64;
// Rows between looks at the cancel flag.
constexpr int cancelRows = 64;

// One box: full weight within whole pixels of the centre, the fraction at the next one out.
struct Box {
    explicit Box(float reach)
        : whole(int(std::floor(reach)))
        , fraction(reach - float(whole))
        , scale(1.0 / (2.0 * whole + 1.0 + 2.0 * fraction))
    {
    }
    int whole;
    float fraction;
    double scale;
};

// One box along a line of len samples, edge samples repeated, with a running sum.
void boxLine(const float *src, float *dst, int len, const Box &box)
{
    const int last = len - 1;
    const auto at = [&](int i) { return src[std::clamp(i, 0, last)]; };
    double sum = 0.0;
    for (int k = -box.whole; k <= box.whole; ++k)
        sum += at(k);
    for (int i = 0; i < len; ++i) {
        dst[i] = float((sum + box.fraction * (at(i - box.whole - 1) + at(i + box.whole + 1))) * box.scale);
        sum += at(i + box.whole + 1) - at(i - box.whole);
    }
}

// One box down the columns of a rows x cols band (rows cols apart), a running sum per column.
void boxColumns(const float *src, float *dst, int rows, int cols, const Box &box, std::vector<double> &sums)
{
    const int last = rows - 1;
    const auto row = [&](int i) { return src + size_t(std::clamp(i, 0, last)) * size_t(cols); };
    std::fill(sums.begin(), sums.begin() + cols, 0.0);
    for (int k = -box.whole; k <= box.whole; ++k) {
        const float *r = row(k);
        for (int x = 0; x < cols; ++x)
            sums[size_t(x)] += r[x];
    }
    for (int i = 0; i < rows; ++i) {
        const float *outer0 = row(i - box.whole - 1), *outer1 = row(i + box.whole + 1);
        const float *leaving = row(i - box.whole);
        float *out = dst + size_t(i) * size_t(cols);
        for (int x = 0; x < cols; ++x) {
            out[x] = float((sums[size_t(x)] + box.fraction * (outer0[x] + outer1[x])) * box.scale);
            sums[size_t(x)] += outer1[x] - leaving[x];
        }
    }
}

template <typename T> T toSample(float v, float maximum) { return T(std::clamp(v, 0.0f, maximum) + 0.5f); }

// The row passes from in into out, then the column passes of out in place.
template <typename T> bool blurPlane(const cv::Mat &in, cv::Mat &out, float reach, const bool &cancel)
{
    const int rows = in.rows, cols = in.cols;
    const float maximum = float(std::numeric_limits<T>::max());
    const Box box(reach);
    std::vector<float> a(size_t(std::max(cols, rows) * bandWidth)), b(a.size());
    std::vector<double> sums(bandWidth);
    for (int r = 0; r < rows; ++r) {
        if (r % cancelRows == 0 && cancel)
            return false;
        std::copy(in.ptr<T>(r), in.ptr<T>(r) + cols, a.begin());
        for (int p = 0; p < passes; ++p) {
            boxLine(a.data(), b.data(), cols, box);
            std::swap(a, b);
        }
        std::transform(a.begin(), a.begin() + cols, out.ptr<T>(r), [&](float v) { return toSample<T>(v, maximum); });
    }
    for (int x0 = 0; x0 < cols; x0 += bandWidth) {
        if (cancel)
            return false;
        const int width = std::min(bandWidth, cols - x0);
        for (int r = 0; r < rows; ++r)
            std::copy(out.ptr<T>(r) + x0, out.ptr<T>(r) + x0 + width, a.begin() + size_t(r) * size_t(width));
        for (int p = 0; p < passes; ++p) {
            boxColumns(a.data(), b.data(), rows, width, box, sums);
            std::swap(a, b);
        }
        for (int r = 0; r < rows; ++r) {
            const float *src = a.data() + size_t(r) * size_t(width);
            std::transform(src, src + width, out.ptr<T>(r) + x0, [&](float v) { return toSample<T>(v, maximum); });
        }
    }
    return true;
}
}

TFBlur::TFBlur(const QString &name, QObject *parent)
    : TFilterYC(name, parent)
{
}

void TFBlur::setRadius(float radius)
{
    if (std::isnan(radius))
        return;
    radius = std::clamp(radius, 0.0f, 100.0f);
    if (radius != m_radius) {
        m_radius = radius;
        m_bRadiusChanged = true;
    }
}

float TFBlur::radius() const { return m_radius; }

bool TFBlur::blurImage(const TImage &in, TImage &out, float radius)
{
    out.resize(in.size());
    if (!in.bEmpty()) {
        const float reach = radius / float(passes);
        const bool bLuma = in.type() == TImage::Y;
        if (bLuma && !blurPlane<unsigned short>(in.mat1(), out.mat1(), reach, m_cancel))
            return false;
        if (!bLuma
            && (!blurPlane<unsigned char>(in.mat1(), out.mat1(), reach, m_cancel)
                || !blurPlane<unsigned char>(in.mat2(), out.mat2(), reach, m_cancel)))
            return false;
    }
    out.markWritten();
    return true;
}

QString TFBlur::proc()
{
    const TImage *y = m_inY_p->imagePtr();
    if (!y)
        return QStringLiteral("TFBlur: no image at inport inY");
    if (!m_bRadiusChanged && !bInsChanged())
        return QString();
    bool bDone = true;
    if (TImage *outY = m_outY_p->imagePtrMod())
        bDone = blurImage(*y, *outY, m_radius);
    const TImage *c = m_inC_p->imagePtr();
    if (TImage *outC = m_outC_p->imagePtrMod(); bDone && outC) {
        if (c)
            bDone = blurImage(*c, *outC, m_radius / 2.0f);
        else if (!outC->bEmpty()) {
            outC->resize(TSize(0, 0));
            outC->markWritten();
        }
    }
    if (!bDone) {
        m_cancel = false;
        return QStringLiteral("UC TFBlur: cancelled");
    }
    m_bRadiusChanged = false;
    setProccessed();
    return QString();
}
