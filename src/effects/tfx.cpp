#include "tfx.h"

#include "fxtrace.h"
#include "paramsearch.h"
#include "tfxstack.h"
#include "tparam.h"

namespace {
// Sets of levels travel through signals and slots under this name; hosts connect and invoke
// by string signature.
const int registeredLevelSet = qRegisterMetaType<QSet<TIm::CImId>>("QSet<TIm::CImId>");
const int registeredLevel = qRegisterMetaType<TIm::CImId>("TIm::CImId");
const int registeredImage = qRegisterMetaType<const TIm *>("const TIm*");
}

TFxCommonData *TFx::m_commonData_p = nullptr;

TFx::TFx(const QString &key, QObject *parent)
    : QObject(parent)
{
    Q_UNUSED(registeredLevelSet)
    Q_UNUSED(registeredLevel)
    Q_UNUSED(registeredImage)
    setObjectName(key);
}

TFx::~TFx()
{
    // Leave the stack while this effect's output set still exists: the effects after it are
    // rewired to what it read before anything of it is destroyed, so none of them ever holds
    // a pointer into a dead set.
    if (auto *stack = qobject_cast<TfxStack *>(parent()))
        stack->takeOutDestroyedEffect(this);
}

const QString TFx::key() const { return objectName(); }

TFxCommonData *TFx::getCommonData() { return m_commonData_p; }

void TFx::setCommonData(TFxCommonData *commonData) { m_commonData_p = commonData; }

const TIm *TFx::inImagePtr() const { return m_inIm_p; }

const TIm *TFx::mixImagePtr() const { return m_mixIm_p; }

TIm *TFx::outImagePtr() { return &m_outIm; }

const TIm *TFx::outImagePtr() const { return &m_outIm; }

bool TFx::isProcessing() const { return m_processing; }

void TFx::setInImage(const TIm *inIm_p)
{
    if (inIm_p == m_inIm_p)
        return;
    m_inIm_p = inIm_p;
    setOutImageDepends();
}

void TFx::setMixImage(const TIm *mixIm_p)
{
    if (mixIm_p == m_mixIm_p)
        return;
    m_mixIm_p = mixIm_p;
    setOutImageDepends();
}

int TFx::numParams() const
{
    int count = 0;
    for (const QObject *child : children())
        count += child ? 1 : 0;
    return count;
}

TParam *TFx::paramPtr(int index) { return const_cast<TParam *>(static_cast<const TFx *>(this)->paramPtr(index)); }

const TParam *TFx::paramPtr(int index) const
{
    int position = 0;
    for (QObject *child : children()) {
        if (!child)
            continue;
        if (position == index)
            return qobject_cast<TParam *>(child);
        ++position;
    }
    qDebug() << "USAGE - TFx::params() - param not found:" << index;
    return nullptr;
}

TParam *TFx::paramPtr(const QString &key)
{
    // Depth first in child order: a parameter inside an earlier group is found before a later
    // direct child of the same key.
    if (TParam *found = findParamByKey(this, key))
        return found;
    qDebug() << "USAGE - TFx::params() - param key not exist:" << key;
    return nullptr;
}

void TFx::paramsReset()
{
    for (QObject *child : children()) {
        if (auto *param = qobject_cast<TParam *>(child))
            param->reset();
    }
}

bool TFx::bParamsDefault() const
{
    bool all = true;
    for (QObject *child : children()) {
        if (auto *param = qobject_cast<const TParam *>(child))
            all = param->bDefault() && all;
    }
    FX_TRACE("TFx::bParamsDefault", "-") << all;
    return all;
}
