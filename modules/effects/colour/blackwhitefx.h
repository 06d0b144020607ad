#ifndef BLACKWHITEFX_H
#define BLACKWHITEFX_H

#include "tcataloguefx.h"

#include <vector>

// "BlackWhite": a black-and-white conversion with a colour mixer. The grey of a 2 x 2 block
// is its luminance L plus mix x 0.75 x L x S, where L x S is the colour's contribution: S is
// its saturation (max - min) / max of the encoded R, G, B, the chroma scaled to the colour's
// brightness. mix is the sliders' value at the block's hue: the six sliders sit at red,
// yellow, green, cyan, blue and magenta (hexcone hue 0..5), and between two neighbours their
// values blend with smoothstep weights that add up to one. Grey pixels never move. Lightening
// rolls off softly towards white; darkening divides by 1 + |change| / L, so it approaches
// black without reaching it. Each pixel of the block takes the block's luminance gain, which
// keeps texture. The colour planes become neutral, or with "tint" take a fixed warm sepia
// tone that is strongest in the midtones (4 L (1 - L) of the block's new luminance L).
//
// Even at its defaults the effect turns the picture grey, so its defaults are not the
// identity: every level is computed.
class BlackWhiteFx : public TCatalogueFullFx {
public:
    BlackWhiteFx(const QString &key, QObject *parent);

protected:
    bool procLevel(const TPImage &work, TPImage &eff, const TLevelGeometry &geometry) override;
    bool bDefaultsAreIdentity() const override { return false; }

private:
    // The luminance gains of a row of blocks (luminance 0..1 and colour-plane samples in,
    // gains out, in place of the luminances), for the sliders' values in hue order. Free of
    // branches on the data so that the compiler can vectorise it.
    // Gains and new luminances of the blocks of half row y into m_gain and m_newLuma.
    void blockRow(const TPImage &work, int y, const float sliders[6], bool mixing);
    void tintRow(int y, TPImage &eff, float tint) const;

    TParamFloat *m_sliders_p[6];
    TParamFloat *m_tint_p;
    std::vector<float> m_gain;
    std::vector<float> m_newLuma;
    std::vector<float> m_c1, m_c2;
    // The gain of each luminance sample of a row: its block's.
    std::vector<float> m_pixelGain;
};

#endif
