#ifndef TFILTERYC_H
#define TFILTERYC_H

#include "fxengine_export.h"
#include "tfiltery.h"

class TInport;
class TOutport;

// The base of filters that take luminance and, optionally, colour: TFilterY's ports, then an
// optional input "inC" (C) and an owning output "outC" (C). proc() stays the derived filter's.
class FXENGINE_EXPORT TFilterYC : public TFilterY {
    Q_OBJECT
public:
    TFilterYC(const QString &name, QObject *parent);

protected:
    TInport *m_inC_p;
    TOutport *m_outC_p;
};

#endif
