#include "exposurefx.h"

#include "blockcolourgain.h"
#include "fxpixelmodel.h"

#include <cmath>
#include <planepool.h>

namespace {
// The colour gain table is indexed by the block's luminance in these steps.
constexpr int colourGainSteps = BlockColourGain::steps;
}

ExposureFx::ExposureFx(const QString &key, QObject *parent)
    : TCatalogueFullFx(key, parent)
{
    m_exposure_p = addFloat(QStringLiteral("exposure"), tr("Exposure"),
        tr("Brightens or darkens the picture in stops (EV): +1 doubles the light"), 0.0f, -5.0f, 5.0f);
    m_recovery_p = addFloat(QStringLiteral("recovery"), tr("Highlight recovery"),
        tr("Rolls bright highlights off smoothly instead of clipping them to white"), 0.0f, 0.0f, 1.0f);
}

float ExposureFx::tone(float v) const
{
    // The knee where the roll-off starts; at recovery 0 it sits at white, a plain clip.
    const float knee = 1.0f - 0.6f * m_recovery_p->value();
    if (v <= knee)
        return v;
    const float room = 1.0f - knee;
    if (room <= 0.0f)
        return 1.0f;
    // Slope 1 at the knee, approaching white without reaching it.
    return knee + room * (1.0f - std::exp(-(v - knee) / room));
}

bool ExposureFx::procLevel(const TPImage &work, TPImage &eff, const TLevelGeometry &)
{
    // Linear light is encoded^1.8, so doubling light multiplies encoded values by 2^(1/1.8).
    const float gain = std::exp2(m_exposure_p->value() / FxPixel::gamma);
    m_lumaTable.resize(65536);
    for (int i = 0; i < 65536; ++i)
        m_lumaTable[std::size_t(i)]
            = FxPixel::toSample(tone(gain * float(i) / FxPixel::maxSample) * FxPixel::maxSample);
    // Colour differences scale with the luminance of their block, so a pixel keeps its hue
    // and saturation unless its luminance was rolled off.
    m_colourGain.resize(colourGainSteps + 1);
    for (int i = 0; i <= colourGainSteps; ++i) {
        const float v = gain * (float(i) + 0.5f) / colourGainSteps;
        m_colourGain[std::size_t(i)] = tone(v) / v * gain;
    }

    const cv::Mat &lum = work.m_lum;
    PlanePool::createOwned(eff.m_lum, lum.rows, lum.cols, CV_16UC1);
    for (int y = 0; y < lum.rows; ++y) {
        const unsigned short *src = lum.ptr<unsigned short>(y);
        unsigned short *dst = eff.m_lum.ptr<unsigned short>(y);
        for (int x = 0; x < lum.cols; ++x)
            dst[x] = m_lumaTable[src[x]];
    }

    return BlockColourGain::apply(work, eff, m_colourGain, [this](int row, int rows) { return bGoOn(row, rows); });
}
