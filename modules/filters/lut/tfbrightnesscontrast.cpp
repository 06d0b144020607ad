#include "tfbrightnesscontrast.h"

#include <algorithm>
#include <cmath>

TFBrightnessContrast::TFBrightnessContrast(const QString &name, QObject *parent)
    : TFilterLUT(name, parent)
{
    setupYLUT();
}

void TFBrightnessContrast::setBrightness(float brightness)
{
    brightness = std::clamp(brightness, -1.0f, 1.0f);
    if (brightness == m_brightness)
        return;
    m_brightness = brightness;
    invalidateLUT();
}

void TFBrightnessContrast::setContrast(float contrast)
{
    contrast = std::clamp(contrast, -1.0f, 1.0f);
    if (contrast == m_contrast)
        return;
    m_contrast = contrast;
    invalidateLUT();
}

void TFBrightnessContrast::setupParams()
{
    m_shift = 0.5 * double(m_brightness);
    m_power = std::pow(3.0, double(m_contrast));
}

void TFBrightnessContrast::computePixel(quint16 &y, quint8 &, quint8 &)
{
    const double x = std::clamp(double(y) / 65535.0 + m_shift, 0.0, 1.0);
    const double curved = x < 0.5 ? 0.5 * std::pow(2.0 * x, m_power) : 1.0 - 0.5 * std::pow(2.0 - 2.0 * x, m_power);
    y = quint16(std::lround(std::clamp(curved, 0.0, 1.0) * 65535.0));
}
