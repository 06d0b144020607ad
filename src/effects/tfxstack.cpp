#include "tfxstack.h"

#include "fxtrace.h"
#include "tfxcommondata.h"
#include "tpimage.h"
#include "tpluginfactory.h"

int TfxStack::m_refcount = 0;
TPluginFactory *TfxStack::m_pluginFactory_p = nullptr;

namespace {
void writeDebugLine(const char *text) { qDebug() << text; }
}

TfxStack::TfxStack(const QString &name, QObject *parent)
    : TFx(name, parent)
{
    ++m_refcount;
    if (!m_pluginFactory_p) {
        m_pluginFactory_p = new TPluginFactory(nullptr);
        QXimproca::m_tDebug_p = writeDebugLine;
    }
}

TfxStack::~TfxStack()
{
    --m_refcount;
    if (m_refcount <= 0 && m_pluginFactory_p) {
        delete m_pluginFactory_p;
        m_pluginFactory_p = nullptr;
    }
    while (!m_tfxs.isEmpty()) {
        TFx *fx = m_tfxs.takeLast();
        disconnect(fx, nullptr, this, nullptr);
        delete fx;
    }
}

TFx *TfxStack::addTFx(const QString &key, const QString &name, int index)
{
    if (m_processing) {
        FX_TRACE("TfxStack::addTFx", "refused while processing:") << key;
        return nullptr;
    }
    const int count = m_tfxs.size();
    index = qBound(0, index, count);
    TFx *fx = m_pluginFactory_p ? m_pluginFactory_p->createTFx(key, name, this) : nullptr;
    if (!fx) {
        FX_TRACE("TfxStack::addTFx", "createTFx failed") << key << name;
        return nullptr;
    }
    if (fx->parent() != this)
        fx->setParent(this);
    connect(fx, &TFx::progress, this, &TfxStack::emitProg);
    // The pointers are captured, not read from the dying object.
    const TIm *out = fx->outImagePtr();
    connect(fx, &QObject::destroyed, this, [this, fx, out]() { forgetDestroyedEffect(fx, out); });

    const TIm *source = nullptr;
    const TIm *mix = nullptr;
    if (count == 0 || index == 0) {
        source = m_inIm_p;
        mix = m_mixIm_p;
    } else {
        source = m_tfxs.at(index - 1)->outImagePtr();
        mix = source;
    }
    m_tfxs.insert(index, fx);
    fx->setInImage(source);
    fx->setMixImage(mix);
    for (int i = index + 1; i < m_tfxs.size(); ++i) {
        TFx *next = m_tfxs.at(i);
        if (next->inImagePtr() == source)
            next->setInImage(fx->outImagePtr());
        if (next->mixImagePtr() == source)
            next->setMixImage(fx->outImagePtr());
    }
    FX_TRACE("TfxStack::addTFx", "TFX created") << key << name << index;
    return fx;
}

bool TfxStack::deleteTFx(int index)
{
    if (index < 0 || index >= m_tfxs.size() || m_processing) {
        FX_TRACE("TfxStack::deleteTFx", "refused: index, count, processing") << index << m_tfxs.size() << m_processing;
        return false;
    }
    TFx *fx = m_tfxs.at(index);
    disconnect(fx, nullptr, this, nullptr);
    removeAndRewire(index, fx->outImagePtr(), fx->inImagePtr(), fx->mixImagePtr());
    const QString key = fx->key();
    delete fx;
    FX_TRACE("TfxStack::deleteTFx", "deleted: index, key") << index << key;
    return true;
}

bool TfxStack::moveTFx(int from, int to)
{
    const int count = m_tfxs.size();
    if (from < 0 || from >= count || to < 0 || to >= count || m_processing) {
        FX_TRACE("TfxStack::moveTFx", "refused: from, to, count, processing") << from << to << count << m_processing;
        return false;
    }
    m_tfxs.move(from, to);
    wireInOrder();
    if (m_current == from)
        setCurrentIndexQuietly(to);
    else if (from < m_current && m_current <= to)
        setCurrentIndexQuietly(m_current - 1);
    else if (to <= m_current && m_current < from)
        setCurrentIndexQuietly(m_current + 1);
    FX_TRACE("TfxStack::moveTFx", "moved: from, to, key") << from << to << m_tfxs.at(to)->key();
    return true;
}

void TfxStack::wireInOrder()
{
    for (int i = 0; i < m_tfxs.size(); ++i) {
        TFx *fx = m_tfxs.at(i);
        const TIm *source = i == 0 ? m_inIm_p : m_tfxs.at(i - 1)->outImagePtr();
        const TIm *mix = i == 0 ? m_mixIm_p : source;
        fx->setInImage(source);
        fx->setMixImage(mix);
    }
}

// An effect deleted behind the stack's back (by a host holding its pointer) leaves the list
// and its successors read what it read, as with deleteTFx, so no dangling pointer stays.
void TfxStack::takeOutDestroyedEffect(TFx *fx)
{
    const int index = m_tfxs.indexOf(fx);
    if (index < 0)
        return;
    disconnect(fx, nullptr, this, nullptr);
    removeAndRewire(index, fx->outImagePtr(), fx->inImagePtr(), fx->mixImagePtr());
}

// Only reached for an effect that a host moved to another Qt parent: its members are gone,
// so the effects after it first forget the dead output without looking at it, then the
// chain is wired again in order.
void TfxStack::forgetDestroyedEffect(const TFx *fx, const TIm *out)
{
    const int index = m_tfxs.indexOf(const_cast<TFx *>(fx));
    if (index < 0)
        return;
    m_tfxs.removeAt(index);
    for (TFx *next : qAsConst(m_tfxs)) {
        if (next->m_inIm_p == out)
            next->m_inIm_p = nullptr;
        if (next->m_mixIm_p == out)
            next->m_mixIm_p = nullptr;
    }
    wireInOrder();
    updateCurrentAfterRemoval(index);
    FX_TRACE("TfxStack::deleteTFx", "effect deleted from outside: index") << index;
}

void TfxStack::removeAndRewire(int index, const TIm *removedOut, const TIm *in, const TIm *mix)
{
    m_tfxs.removeAt(index);
    // Successors that read the removed effect now read what it read, so the chain stays intact.
    for (TFx *next : qAsConst(m_tfxs)) {
        if (next->inImagePtr() == removedOut)
            next->setInImage(in);
        if (next->mixImagePtr() == removedOut)
            next->setMixImage(mix);
    }
    updateCurrentAfterRemoval(index);
}

void TfxStack::updateCurrentAfterRemoval(int index)
{
    if (m_current == index)
        setCurrentIndexQuietly(-1);
    else if (m_current > index)
        setCurrentIndexQuietly(m_current - 1);
}

void TfxStack::setCurrentIndexQuietly(int index)
{
    // The index follows its effect; hosts still hear about the new number.
    if (index == m_current)
        return;
    m_current = index;
    emit currentTfxChanged(m_current);
}

TFx *TfxStack::tfxPtr(int index) { return index >= 0 && index < m_tfxs.size() ? m_tfxs.at(index) : nullptr; }

const TFx *TfxStack::tfxPtr(int index) const
{
    return index >= 0 && index < m_tfxs.size() ? m_tfxs.at(index) : nullptr;
}

int TfxStack::numTFxs() const { return m_tfxs.size(); }

int TfxStack::connectedToTFx(const TIm *image)
{
    if (image == m_inIm_p)
        return -1;
    if (image == m_mixIm_p)
        return -2;
    for (int i = 0; i < m_tfxs.size(); ++i) {
        if (m_tfxs.at(i)->outImagePtr() == image)
            return i;
    }
    FX_TRACE("TfxStack::connectedToTFx", "ERROR: must be BAD TfxStack!");
    return -3;
}

int TfxStack::currentTfx() const { return m_current; }

void TfxStack::setCurrentTfx(int index)
{
    if (index == m_current)
        return;
    const int count = m_tfxs.size();
    m_current = index < 0 ? -1 : (index < count ? index : count - 1);
    emit currentTfxChanged(m_current);
}

void TfxStack::setInImage(const TIm *inIm_p)
{
    const TIm *old = m_inIm_p;
    if (inIm_p != old) {
        m_inIm_p = inIm_p;
        setOutImageDepends();
    }
    for (TFx *fx : qAsConst(m_tfxs)) {
        if (fx->inImagePtr() == old)
            fx->setInImage(inIm_p);
    }
}

void TfxStack::setMixImage(const TIm *mixIm_p)
{
    const TIm *old = m_mixIm_p;
    if (mixIm_p != old) {
        m_mixIm_p = mixIm_p;
        setOutImageDepends();
    }
    for (TFx *fx : qAsConst(m_tfxs)) {
        if (fx->mixImagePtr() == old)
            fx->setMixImage(mixIm_p);
    }
}

void TfxStack::setCommonData(TFxCommonData *commonData)
{
    m_commonData_p = commonData;
    const TIm *image = commonData ? &commonData->image() : nullptr;
    if (!commonData)
        FX_TRACE("TfxStack::setCommonData", "no shared data: the stack has no input now");
    setInImage(image);
    setMixImage(image);
}

const QSet<TIm::CImId> &TfxStack::depends(const TIm::CImId &, TFx::InportId) const { return m_emptySet; }

void TfxStack::setOutImageDepends() { }

void TfxStack::paramsReset()
{
    for (TFx *fx : qAsConst(m_tfxs))
        fx->paramsReset();
}

bool TfxStack::bParamsDefault() const
{
    bool all = true;
    for (const TFx *fx : m_tfxs)
        all = fx->bParamsDefault() && all;
    FX_TRACE("TfxStack::bParamsDefault", "-") << all;
    return all;
}
