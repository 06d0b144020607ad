#include "tfhistogram.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <tinport.h>

namespace {
constexpr int levels = 65536;
}

TFHistogram::TFHistogram(const QString &name, QObject *parent)
    : TFilter(name, parent)
    , m_inY_p(new TInport(this, QStringLiteral("inY"), TImage::Y, false, nullptr))
{
}

QString TFHistogram::proc()
{
    const TImage *y = m_inY_p->imagePtr();
    if (!y)
        return QStringLiteral("TFHistogram: no image at inport inY");
    if (!bInsChanged())
        return QString();
    m_counts.assign(levels, 0);
    m_total = 0;
    for (int r = 0; r < y->height(); ++r) {
        const unsigned short *row = y->mat1().ptr<unsigned short>(r);
        for (int x = 0; x < y->width(); ++x)
            ++m_counts[row[x]];
    }
    m_total = quint64(std::max(y->width(), 0)) * quint64(std::max(y->height(), 0));
    setProccessed();
    return QString();
}

int TFHistogram::percentile(float p) const
{
    if (m_total == 0 || std::isnan(p))
        return -1;
    const double share = std::clamp(double(p), 0.0, 100.0) / 100.0;
    const quint64 wanted = std::max<quint64>(1, quint64(std::ceil(share * double(m_total))));
    quint64 seen = 0;
    for (int level = 0; level < levels; ++level) {
        seen += m_counts[size_t(level)];
        if (seen >= wanted)
            return level;
    }
    return levels - 1;
}

int TFHistogram::pixelCount() const { return int(std::min<quint64>(m_total, quint64(INT_MAX))); }
