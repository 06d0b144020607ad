#ifndef CLARITYFX_H
#define CLARITYFX_H

#include "guidedfilter.h"
#include "tcataloguefx.h"

#include <vector>

// "Clarity": local contrast. The half-resolution luminance is split into an edge-aware
// smooth base (at "radius" full-resolution pixels) and the detail around it; the detail is
// amplified (amount > 0) or softened (amount < 0), most in the midtones so that shadows and
// highlights do not clip. Strong edges belong to the base, so they get no halos. The
// full-resolution detail finer than the half plane is carried over unchanged, and colour is
// left as it is.
class ClarityFx : public TCatalogueHalfFx {
public:
    ClarityFx(const QString &key, QObject *parent);

protected:
    bool procLevel(const TPImage &work, TPImage &eff, const TLevelGeometry &geometry) override;

private:
    TParamFloat *m_amount_p;
    TParamFloat *m_radius_p;
    GuidedFilter m_filter;
    std::vector<float> m_plane;
};

#endif
