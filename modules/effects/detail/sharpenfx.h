#ifndef SHARPENFX_H
#define SHARPENFX_H

#include "separablegaussian.h"
#include "tcataloguefx.h"

// "Sharpen": an unsharp mask on full-resolution luminance. The detail is the luminance minus
// its Gaussian blur of sigma "radius" (full-resolution pixels, so a decimated view blurs at
// radius / dec and shows what the export shows); details smaller than "threshold" are faded
// out smoothly, the rest is added "amount" times, and the addition is rolled off softly as it
// nears black or white instead of clipping. The colour planes are passed on unchanged.
class SharpenFx : public TCatalogueFullFx {
public:
    SharpenFx(const QString &key, QObject *parent);

protected:
    bool procLevel(const TPImage &work, TPImage &eff, const TLevelGeometry &geometry) override;

private:
    TParamFloat *m_amount_p;
    TParamFloat *m_radius_p;
    TParamFloat *m_threshold_p;
    SeparableGaussian m_blur;
};

#endif
