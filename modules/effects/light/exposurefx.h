#ifndef EXPOSUREFX_H
#define EXPOSUREFX_H

#include "tcataloguefx.h"

#include <vector>

// "Exposure": scales linear light by 2^exposure. Recovery rolls highlights off smoothly
// towards white instead of clipping them, starting further below white the larger it is.
// A point operation on full-resolution luminance; colour follows the luminance's gain.
class ExposureFx : public TCatalogueFullFx {
public:
    ExposureFx(const QString &key, QObject *parent);

protected:
    bool procLevel(const TPImage &work, TPImage &eff, const TLevelGeometry &geometry) override;

private:
    // The encoded luminance after the exposure change and the highlight roll-off, for
    // encoded luminance v (0..1 scale, may be beyond 1 before the roll-off).
    float tone(float v) const;

    TParamFloat *m_exposure_p;
    TParamFloat *m_recovery_p;
    std::vector<unsigned short> m_lumaTable;
    std::vector<float> m_colourGain;
};

#endif
