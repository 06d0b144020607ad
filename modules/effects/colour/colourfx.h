#ifndef COLOURFX_H
#define COLOURFX_H

#include "tcataloguefx.h"

#include <vector>

// "Colour": white balance and saturation, on the colour planes only (one sample per 2 x 2
// block); luminance stays as it is.
//   temperature (-1..1): warm (+) or cool (-). Linear red is scaled by 2^(temperature / 2)
//     and linear blue by the inverse, then the block's colour is rescaled to its luminance;
//   tint (-1..1): green (-) or magenta (+), linear green scaled by 2^(-0.4 tint), the same way;
//   saturation (-1..1): colour differences scaled by 1 + saturation (-1 gives grey);
//   vibrance (-1..1): a saturation change weighted by how dull the colour is. Raising it
//     scales colour differences by 1 + vibrance (1 - s)^2, s the block's saturation
//     (max - min) / (max + 0.2) of its encoded R, G, B, so dull colours gain much and saturated
//     ones little; lowering it scales them by 1 + vibrance (0.3 + 0.7 s), so saturated colours
//     are muted most and dull ones less.
//     Either way, colours near the direction of skin tones (orange, red-yellow) get a quarter
//     of the change.
// Colour that saturation or vibrance would push out of gamut is compressed softly towards
// the gamut's edge instead of being clipped.
class ColourFx : public TCatalogueFullFx {
public:
    ColourFx(const QString &key, QObject *parent);

protected:
    bool procLevel(const TPImage &work, TPImage &eff, const TLevelGeometry &geometry) override;

private:
    // The pass's constant factors, from the parameters.
    struct Factors {
        float red = 1.0f, green = 1.0f, blue = 1.0f;
        bool whiteBalance = false;
        float saturation = 1.0f;
        // Vibrance's change is dull * dullness^2 + flat + saturated * saturation.
        float dull = 0.0f, flat = 0.0f, saturated = 0.0f;
    };
    Factors factors() const;
    // Blocks of one row: luminance (0..1) and colour-plane samples in, new samples out (in
    // place). Free of branches on the data so that the compiler can vectorise it.
    static void adjustRow(const Factors &f, const float *luma, float *c1, float *c2, int count);

    TParamFloat *m_temperature_p;
    TParamFloat *m_tint_p;
    TParamFloat *m_vibrance_p;
    TParamFloat *m_saturation_p;
    std::vector<float> m_luma, m_c1, m_c2;
};

#endif
