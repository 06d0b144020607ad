#ifndef TFGAMMA_H
#define TFGAMMA_H

#include <tfilterlut.h>

// Gamma of the luminance; colour passes through unchanged. On the 0..1 scale, x' = x^(1/gamma):
// a gamma above 1 brightens the mid-tones, below 1 darkens them; black and white stay. The
// gamma is clamped to 0.1..10 and starts at 1, which leaves the luminance unchanged.
class TFGamma : public TFilterLUT {
    Q_OBJECT
public:
    TFGamma(const QString &name, QObject *parent);

public slots:
    // Clamps the value; a change takes effect at the next proc(), even when the inputs have
    // not changed since the last one.
    void setGamma(float gamma);
    float gamma() const { return m_gamma; }

protected:
    void setupParams() override;
    void computePixel(quint16 &y, quint8 &c1, quint8 &c2) override;

private:
    float m_gamma = 1.0f;
    double m_exponent = 1.0;
};

#endif
