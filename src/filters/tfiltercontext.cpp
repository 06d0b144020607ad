#include "tfiltercontext.h"

#include "qximproca.h"
#include "tfilter.h"
#include "tpluginfactory.h"

#include <QDebug>

TFilterContext::TFilterContext(QObject *parent)
    : QObject(parent)
    , m_factory_p(new TPluginFactory(this))
{
}

TFilterContext::~TFilterContext() = default;

TFilterContext *TFilterContext::findFilterContext(QObject *obj)
{
    for (QObject *object = obj; object; object = object->parent()) {
        if (auto *context = qobject_cast<TFilterContext *>(object))
            return context;
    }
    return nullptr;
}

bool TFilterContext::progressAndCheckCancel(TFilter *filter)
{
    qDebug() << QXimproca::traceMsg("TFilterContext::progressAndCheckCancel", 640, "enter").c_str()
             << (filter ? filter->objectName() : QString());
    return false;
}
