#ifndef TFILTERC_H
#define TFILTERC_H

#include "fxengine_export.h"
#include "tfilter.h"

class TInport;
class TOutport;

// The base of filters that take and give colour: an input "inC" (C) and an owning output
// "outC" (C), made in the constructor without name checks or messages. proc() stays the
// derived filter's.
class FXENGINE_EXPORT TFilterC : public TFilter {
    Q_OBJECT
public:
    TFilterC(const QString &name, QObject *parent);

protected:
    TInport *m_inC_p;
    TOutport *m_outC_p;
};

#endif
