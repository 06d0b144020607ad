#ifndef TFILTERCONTEXT_H
#define TFILTERCONTEXT_H

#include "fxengine_export.h"

#include <QObject>

class TFilter;
class TPluginFactory;

// The root under which a host builds filter graphs: every filter has its context among its
// Qt ancestors. The context owns a plug-in factory of its own (which scans the plug-in
// directory when the context is made, so a context is costly) through which filters create
// their sub-filters.
class FXENGINE_EXPORT TFilterContext : public QObject {
    Q_OBJECT
public:
    explicit TFilterContext(QObject *parent);
    ~TFilterContext() override;

    TPluginFactory *filterFactoryPtr() const { return m_factory_p; }
    // The nearest context among obj and its ancestors; null for null or when there is none.
    static TFilterContext *findFilterContext(QObject *obj);
    // Asked by filters whether to stop: writes a trace line and answers false (go on).
    // Cancelling is each filter's own flag (TFilter::cancelProc).
    bool progressAndCheckCancel(TFilter *filter);

private:
    TPluginFactory *m_factory_p;
};

#endif
