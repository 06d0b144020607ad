#ifndef TFILTERY_H
#define TFILTERY_H

#include "fxengine_export.h"
#include "tfilter.h"

class TInport;
class TOutport;

// The base of filters that take and give luminance: an input "inY" (Y) and an owning output
// "outY" (Y), made in the constructor without name checks or messages. proc() stays the
// derived filter's.
class FXENGINE_EXPORT TFilterY : public TFilter {
    Q_OBJECT
public:
    TFilterY(const QString &name, QObject *parent);

protected:
    TInport *m_inY_p;
    TOutport *m_outY_p;
};

#endif
