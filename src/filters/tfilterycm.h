#ifndef TFILTERYCM_H
#define TFILTERYCM_H

#include "fxengine_export.h"
#include "tfilteryc.h"

class TInport;
class TOutport;

// The base of filters that also take a mask: TFilterYC's ports, then an input "inM" (M) and an
// owning output "outM" (M). proc() stays the derived filter's.
class FXENGINE_EXPORT TFilterYCM : public TFilterYC {
    Q_OBJECT
public:
    TFilterYCM(const QString &name, QObject *parent);

protected:
    TInport *m_inM_p;
    TOutport *m_outM_p;
};

#endif
