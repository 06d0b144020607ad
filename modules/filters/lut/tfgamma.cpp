#include "tfgamma.h"

#include <algorithm>
#include <cmath>

TFGamma::TFGamma(const QString &name, QObject *parent)
    : TFilterLUT(name, parent)
{
    setupYLUT();
}

void TFGamma::setGamma(float gamma)
{
    gamma = std::clamp(gamma, 0.1f, 10.0f);
    if (gamma == m_gamma)
        return;
    m_gamma = gamma;
    invalidateLUT();
}

void TFGamma::setupParams() { m_exponent = 1.0 / double(m_gamma); }

void TFGamma::computePixel(quint16 &y, quint8 &, quint8 &)
{
    y = quint16(std::lround(std::pow(double(y) / 65535.0, m_exponent) * 65535.0));
}
