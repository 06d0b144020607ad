#ifndef TFBRIGHTNESSCONTRAST_H
#define TFBRIGHTNESSCONTRAST_H

#include <tfilterlut.h>

// Brightness and contrast of the luminance; colour passes through unchanged. On the 0..1 scale
// of the luminance, brightness b shifts every value by b / 2 (clipped to 0..1), then contrast c
// bends it through an S-curve about mid-grey that keeps black and white:
//   x < 1/2:  x' = (2x)^p / 2,   x >= 1/2:  x' = 1 - (2 - 2x)^p / 2,   p = 3^c,
// so the slope at mid-grey is p: 3 at c = 1 (steeper), 1/3 at c = -1 (flatter). Both settings
// are clamped to -1..1 and start at 0, which leaves the luminance unchanged.
class TFBrightnessContrast : public TFilterLUT {
    Q_OBJECT
public:
    TFBrightnessContrast(const QString &name, QObject *parent);

public slots:
    // Each clamps its value; a change takes effect at the next proc(), even when the inputs
    // have not changed since the last one.
    void setBrightness(float brightness);
    void setContrast(float contrast);
    float brightness() const { return m_brightness; }
    float contrast() const { return m_contrast; }

protected:
    void setupParams() override;
    void computePixel(quint16 &y, quint8 &c1, quint8 &c2) override;

private:
    float m_brightness = 0.0f;
    float m_contrast = 0.0f;
    double m_shift = 0.0;
    double m_power = 1.0;
};

#endif
