#ifndef TFSATURATION_H
#define TFSATURATION_H

#include <tfilterlut.h>

// Saturation: scales both colour differences about neutral 128 by a factor s,
//   c' = 128 + (c - 128) s   (rounded, clipped to 0..255),
// and leaves the luminance as it is (through an identity luminance table, which holds the top
// 15 of 65536 levels at 65520). Desaturating (s <= 1) works the same at every luminance, so 0
// gives grey. Boosting (s > 1) is held back in the shadows, where it would mostly lift colour
// noise: at luminance x (0..1) the factor is 1 + (s - 1) w(x), with
//   w(x) = 1/4 + 3/4 smoothstep(2x) below mid-grey (smoothstep(t) = t^2 (3 - 2t)), 1 above.
// The colour therefore depends on luminance: the filter keeps 8 chroma tables, one per
// luminance band, and blends between neighbouring bands. The setting is clamped to 0..2 and
// starts at 1, which leaves the colour unchanged apart from the band blend's rounding.
class TFSaturation : public TFilterLUT {
    Q_OBJECT
public:
    TFSaturation(const QString &name, QObject *parent);

public slots:
    // Clamps the value; a change takes effect at the next proc(), even when the inputs have
    // not changed since the last one.
    void setSaturation(float saturation);
    float saturation() const { return m_saturation; }

protected:
    void setupParams() override;
    void computePixel(quint16 &y, quint8 &c1, quint8 &c2) override;

private:
    float m_saturation = 1.0f;
    double m_boost = 0.0;
};

#endif
