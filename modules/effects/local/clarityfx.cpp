#include "clarityfx.h"

#include "fxpixelmodel.h"

#include <algorithm>
#include <planepool.h>

namespace {
// Edges stronger than about sqrt(detailEps) (in 0..1 luminance) stay in the base. Small
// enough that a strong edge's neighbourhood keeps within a percent of its level when the
// detail is doubled.
constexpr float detailEps = 0.0015f;
}

ClarityFx::ClarityFx(const QString &key, QObject *parent)
    : TCatalogueHalfFx(key, parent)
{
    m_amount_p = addFloat(QStringLiteral("amount"), tr("Amount"),
        tr("Strengthens (or softens) local contrast: the midtone detail around smooth regions"), 0.0f, -1.0f, 1.0f);
    m_radius_p = addFloat(QStringLiteral("radius"), tr("Radius"),
        tr("Size of the regions whose contrast is changed, in pixels of the full picture"), 50.0f, 5.0f, 200.0f);
}

bool ClarityFx::procLevel(const TPImage &work, TPImage &eff, const TLevelGeometry &geometry)
{
    const cv::Mat &half = work.m_half;
    if (half.empty() || half.type() != CV_16UC1)
        return false;
    const int rows = half.rows, cols = half.cols;
    m_plane.resize(std::size_t(rows) * std::size_t(cols));
    for (int y = 0; y < rows; ++y) {
        const unsigned short *src = half.ptr<unsigned short>(y);
        float *dst = m_plane.data() + std::size_t(y) * std::size_t(cols);
        for (int x = 0; x < cols; ++x)
            dst[x] = float(src[x]) / FxPixel::maxSample;
    }
    if (!m_filter.fit(m_plane.data(), cols, rows, float(geometry.toHalf(m_radius_p->value())), detailEps, true))
        return false;
    PlanePool::createOwned(eff.m_half, rows, cols, CV_16UC1);
    const float amount = m_amount_p->value();
    for (int y = 0; y < rows; ++y) {
        const std::size_t offset = std::size_t(y) * std::size_t(cols);
        const float *v = m_plane.data() + offset;
        const float *a = m_filter.coefficientA() + offset, *b = m_filter.coefficientB() + offset;
        unsigned short *dst = eff.m_half.ptr<unsigned short>(y);
        for (int x = 0; x < cols; ++x) {
            const float base = a[x] * v[x] + b[x];
            // Full strength at mid-grey, none at black and white.
            // Selections on values rather than std::clamp (which passes references), so that
            // the loop vectorises.
            float midtone = 4.0f * base * (1.0f - base);
            midtone = midtone > 0.0f ? midtone : 0.0f;
            float toned = (base + (1.0f + amount * midtone) * (v[x] - base)) * FxPixel::maxSample;
            toned = toned > 0.0f ? toned : 0.0f;
            toned = toned < FxPixel::maxSample ? toned : FxPixel::maxSample;
            dst[x] = static_cast<unsigned short>(toned + 0.5f);
        }
        if (y % 64 == 0 && !bGoOn(y, rows))
            return false;
    }
    // The finer detail of the full plane is carried over as it is: scaling it would
    // overshoot at every sharp edge.
    eff.m_factor = work.m_factor;
    eff.m_c1 = work.m_c1;
    eff.m_c2 = work.m_c2;
    return true;
}
