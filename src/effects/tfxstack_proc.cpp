// The processing pass of the effect stack.

#include "fxtrace.h"
#include "tfxstack.h"
#include "tpimage.h"

#include <QHash>

namespace {
bool allLevelsValid(const QSet<TIm::CImId> &levels)
{
    for (TIm::CImId cid : levels) {
        if (cid < TIm::CImFull || cid >= TIm::numLevels)
            return false;
    }
    return true;
}

// Levels an effect named in its depends table, without ids that name no level.
void uniteValid(QSet<TIm::CImId> &into, const QSet<TIm::CImId> &levels)
{
    for (TIm::CImId cid : levels) {
        if (cid >= TIm::CImFull && cid < TIm::numLevels)
            into.insert(cid);
    }
}
}

bool TfxStack::procOutput(const QSet<TIm::CImId> &updates)
{
    if (m_processing)
        return false;
    if (!allLevelsValid(updates)) {
        FX_TRACE("TfxStack::procOutput", "invalid level in request:") << updates;
        return false;
    }
    m_processing = true;
    bool result = true;
    if (!m_tfxs.isEmpty()) {
        procOutIm(updates, m_tfxs.size() - 1);
    } else if (m_inIm_p) {
        m_outIm = *m_inIm_p;
        FX_TRACE("TfxStack::procOutput", "--> empty stack <--") << updates;
    } else {
        result = false;
    }
    m_processing = false;
    return result;
}

bool TfxStack::procCurrentTFx(const QSet<TIm::CImId> &updates)
{
    if (m_processing)
        return false;
    if (!allLevelsValid(updates)) {
        FX_TRACE("TfxStack::procCurrentTFx", "invalid level in request:") << updates;
        return false;
    }
    m_processing = true;
    if (m_tfxs.isEmpty() || m_current < 0)
        FX_TRACE("TfxStack::procCurrentTFx", "<- no current tfx ") << updates;
    else
        procOutIm(updates, m_current);
    m_processing = false;
    return true;
}

void TfxStack::cancelProc()
{
    m_cancel = true;
    for (TFx *fx : qAsConst(m_tfxs))
        fx->cancelProc();
}

void TfxStack::emitProg(int percent) { emit progress(percent); }

void TfxStack::emitOutputChanged(int cid) { emit outputChanged(cid); }

QList<QSet<TIm::CImId>> TfxStack::collectLevelSets(const QSet<TIm::CImId> &updates, int last)
{
    QList<QSet<TIm::CImId>> sets;
    for (int i = 0; i <= last; ++i)
        sets.append(QSet<TIm::CImId>());
    sets[last] = updates;
    // Backwards: every effect needs what the effects reading its output depend on.
    for (int i = last; i >= 0; --i) {
        TFx *fx = m_tfxs.at(i);
        const int producerIn = connectedToTFx(fx->inImagePtr());
        const int producerMix = connectedToTFx(fx->mixImagePtr());
        const QSet<TIm::CImId> levels = sets.at(i);
        for (TIm::CImId cid : levels) {
            if (producerIn >= 0 && producerIn <= last)
                uniteValid(sets[producerIn], fx->depends(cid, TFx::InportIn));
            if (producerMix >= 0 && producerMix <= last)
                uniteValid(sets[producerMix], fx->depends(cid, TFx::InportMix));
        }
    }
    return sets;
}

bool TfxStack::procOutIm(const QSet<TIm::CImId> &updates, int last)
{
    m_cancel = false;
    FX_TRACE("TfxStack::procOutIm", "->") << updates << last;
    if (last < 0 || last >= m_tfxs.size() || !m_tfxs.at(last)) {
        FX_TRACE("TfxStack::procOutIm", "BUG!");
        return false;
    }
    QHash<int, quint64> stampsBefore;
    for (TIm::CImId cid : updates)
        stampsBefore.insert(cid, m_tfxs.at(last)->outImagePtr()->ptr(cid)->uid()->id());

    const QList<QSet<TIm::CImId>> sets = collectLevelSets(updates, last);
    for (int i = 0; i <= last; ++i) {
        if (m_cancel) {
            FX_TRACE("TfxStack::procOutIm", "Exist due to cancel in tfxstack");
            return false;
        }
        FX_TRACE("TfxStack::procOutIm", "to update: ") << sets.at(i).size() << " CIds.";
        if (!m_tfxs.at(i)->procOutput(sets.at(i))) {
            FX_TRACE("TfxStack::procOutIm", "Exist due to cancel in tfx: ") << i;
            m_outIm = TIm();
            return false;
        }
    }

    const TIm *result = m_tfxs.at(last)->outImagePtr();
    m_outIm = *result;
    for (TIm::CImId cid : updates) {
        FX_TRACE("TfxStack::procOutIm", " updated: ") << int(cid) << result->width(cid) << result->height(cid);
        if (result->ptr(cid)->uid()->id() != stampsBefore.value(cid))
            emitOutputChanged(cid);
    }
    FX_TRACE("TfxStack::procOutIm", "Exist succesfully!") << updates;
    return true;
}
