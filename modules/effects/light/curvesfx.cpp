#include "curvesfx.h"

#include "blockcolourgain.h"
#include "fxpixelmodel.h"

#include <algorithm>
#include <cmath>
#include <planepool.h>

namespace {
// Control points nearer than this in x are one point: a host's float editing cannot place
// them more precisely, and two outputs at one input would make the curve a step.
constexpr double mergeDistance = 0.001;
// The colour gain table is indexed by the block's luminance in these steps.
constexpr int colourGainSteps = BlockColourGain::steps;
// Where the curve lifts the blacks, the ratio output / input grows without bound near black;
// beyond this gain the colour of near-black blocks would be mostly noise made visible.
constexpr float maxColourGain = 4.0f;

double clamp01(double v) { return std::min(1.0, std::max(0.0, v)); }

// Fritsch-Carlson tangents: the average of the neighbouring secants where they agree in sign,
// flat at a local extreme, and shrunk where they would let a segment overshoot.
std::vector<double> tangentsOf(const std::vector<CurvesFx::Knot> &knots)
{
    const std::size_t n = knots.size();
    std::vector<double> secant(n - 1), tangent(n);
    for (std::size_t k = 0; k + 1 < n; ++k)
        secant[k] = (knots[k + 1].y - knots[k].y) / (knots[k + 1].x - knots[k].x);
    tangent[0] = secant[0];
    tangent[n - 1] = secant[n - 2];
    for (std::size_t k = 1; k + 1 < n; ++k)
        tangent[k] = secant[k - 1] * secant[k] <= 0.0 ? 0.0 : 0.5 * (secant[k - 1] + secant[k]);
    for (std::size_t k = 0; k + 1 < n; ++k) {
        if (secant[k] == 0.0) {
            tangent[k] = tangent[k + 1] = 0.0;
            continue;
        }
        const double a = tangent[k] / secant[k], b = tangent[k + 1] / secant[k];
        const double radius = a * a + b * b;
        if (radius > 9.0) {
            const double shrink = 3.0 / std::sqrt(radius);
            tangent[k] = shrink * a * secant[k];
            tangent[k + 1] = shrink * b * secant[k];
        }
    }
    return tangent;
}
}

CurvesFx::CurvesFx(const QString &key, QObject *parent)
    : TCatalogueFullFx(key, parent)
{
    m_curve_p = addCurve(QStringLiteral("curve"), tr("Curve"),
        tr("A tone curve on luminance: each point lifts (+) or lowers (-) the output at its input level"));
}

std::vector<CurvesFx::Knot> CurvesFx::knotsOf(const QList<QPointF> &controlPoints)
{
    std::vector<Knot> points;
    for (const QPointF &point : controlPoints) {
        if (!std::isfinite(point.x()) || !std::isfinite(point.y()))
            continue;
        const double x = clamp01(point.x());
        points.push_back({ x, clamp01(x + point.y()) });
    }
    std::stable_sort(points.begin(), points.end(), [](const Knot &a, const Knot &b) { return a.x < b.x; });

    std::vector<Knot> knots;
    for (std::size_t i = 0; i < points.size();) {
        // Points within mergeDistance of the first of a run become their average.
        std::size_t end = i;
        double sumX = 0.0, sumY = 0.0;
        while (end < points.size() && points[end].x - points[i].x < mergeDistance) {
            sumX += points[end].x;
            sumY += points[end].y;
            ++end;
        }
        const double count = double(end - i);
        knots.push_back({ sumX / count, sumY / count });
        i = end;
    }
    if (knots.empty() || knots.front().x >= mergeDistance)
        knots.insert(knots.begin(), { 0.0, 0.0 });
    else
        knots.front().x = 0.0;
    if (knots.back().x <= 1.0 - mergeDistance)
        knots.push_back({ 1.0, 1.0 });
    else
        knots.back().x = 1.0;
    return knots;
}

void CurvesFx::fillTable(const std::vector<Knot> &knots, std::vector<unsigned short> &table)
{
    table.resize(65536);
    const std::vector<double> tangent = tangentsOf(knots);
    std::size_t k = 0;
    for (int i = 0; i < 65536; ++i) {
        const double x = i / double(FxPixel::maxSample);
        while (k + 2 < knots.size() && x > knots[k + 1].x)
            ++k;
        const Knot &p = knots[k], &q = knots[k + 1];
        const double h = q.x - p.x, t = (x - p.x) / h;
        const double t2 = t * t, t3 = t2 * t;
        // Cubic Hermite basis on the segment.
        const double y = (2 * t3 - 3 * t2 + 1) * p.y + (t3 - 2 * t2 + t) * h * tangent[k] + (-2 * t3 + 3 * t2) * q.y
            + (t3 - t2) * h * tangent[k + 1];
        table[std::size_t(i)] = FxPixel::toSample(float(clamp01(y) * FxPixel::maxSample));
    }
}

bool CurvesFx::procLevel(const TPImage &work, TPImage &eff, const TLevelGeometry &)
{
    fillTable(knotsOf(m_curve_p->value()), m_lumaTable);
    // The gain at the middle of each step, so that the first step does not divide by zero.
    m_colourGain.resize(colourGainSteps);
    for (int i = 0; i < colourGainSteps; ++i) {
        const float v = (float(i) + 0.5f) / colourGainSteps;
        const float out = m_lumaTable[std::size_t(v * FxPixel::maxSample + 0.5f)] / FxPixel::maxSample;
        m_colourGain[std::size_t(i)] = std::min(maxColourGain, out / v);
    }

    const cv::Mat &lum = work.m_lum;
    PlanePool::createOwned(eff.m_lum, lum.rows, lum.cols, CV_16UC1);
    for (int y = 0; y < lum.rows; ++y) {
        const unsigned short *src = lum.ptr<unsigned short>(y);
        unsigned short *dst = eff.m_lum.ptr<unsigned short>(y);
        for (int x = 0; x < lum.cols; ++x)
            dst[x] = m_lumaTable[src[x]];
        if (y % 256 == 0 && !bGoOn(y, 2 * lum.rows))
            return false;
    }
    return procColour(work, eff);
}

// Colour differences scale with the luminance gain of their block, as with exposure, so that
// a pixel keeps its hue and saturation.
bool CurvesFx::procColour(const TPImage &work, TPImage &eff)
{
    const int rows = work.m_c1.rows;
    return BlockColourGain::apply(
        work, eff, m_colourGain, [this, rows](int row, int) { return bGoOn(rows + row, 2 * rows); });
}
