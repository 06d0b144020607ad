#ifndef TCATALOGUEFX_H
#define TCATALOGUEFX_H

#include "tlevelgeometry.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <tfxfullproc.h>
#include <tfxhalfproc.h>
#include <tim.h>
#include <tparamcurve.h>
#include <tparamfloat.h>
#include <tpimage.h>
#include <tprogress.h>
#include <tuid.h>

// The base of the bundled effects (Base is TFxFullProc or TFxHalfProc). It does the
// bookkeeping that makes a pass incremental, once for all of them:
//   - an effect level depends on its input level and on the effect's own parameters;
//   - a level whose record is clean is not computed again; after computing one, the record
//     is cleaned and the level's stamp advanced, so that the output blend and the effects
//     after this one see the change;
//   - with every parameter at its default the level shares the input's planes, bit for bit;
//   - parameters that do not advance their stamp on a change (curves) are stamped here.
// The number of levels an effect computed is readable as the dynamic property
// "levelsComputed", so that hosts and tests can see what a pass cost.
template <class Base> class TCatalogueFx : public Base {
public:
    TCatalogueFx(const QString &key, QObject *parent)
        : Base(key, parent)
    {
        this->setProperty("levelsComputed", 0);
    }

    bool bOwnParamsDefault() const
    {
        for (const TParam *param : m_ownParams)
            if (!param->bDefault())
                return false;
        return true;
    }

protected:
    // A float parameter, declared once: key, name, description, default and range.
    TParamFloat *addFloat(
        const QString &key, const QString &name, const QString &desc, float value, float vmin, float vmax)
    {
        auto *param = new TParamFloat(this, key, name, desc, QStringLiteral("float"), value, vmin, vmax);
        m_ownParams.append(param);
        return param;
    }

    // A curve parameter. A curve announces changes by signal only; its stamp is advanced here
    // so that the levels computed from it become dirty.
    TParamCurve *addCurve(const QString &key, const QString &name, const QString &desc)
    {
        auto *param = new TParamCurve(this, key, name, desc, QStringLiteral("curve"));
        QObject::connect(param, &TParamCurve::valueChanged, param, [param] { param->uid()->update(); });
        m_ownParams.append(param);
        return param;
    }

    // The effect's pixel work for one level that is not at the defaults. work is the prepared
    // working image (full luminance for TFxFullProc, with a half plane for TFxHalfProc); the
    // level's planes, factor, dec, x and y on eff are prepared by the base as its kind says.
    virtual bool procLevel(const TPImage &work, TPImage &eff, const TLevelGeometry &geometry) = 0;

    // Whether the defaults leave the picture as it is, so that a level at the defaults may
    // share the input. An effect that changes the picture even at its defaults says false.
    virtual bool bDefaultsAreIdentity() const { return true; }

    // Reports progress within the level (done of total) and tells whether to go on: false once
    // the host asked to cancel. Call it every few dozen rows.
    bool bGoOn(int done, int total) { return this->m_progress_p->prog(done, total); }

    // The picture's full-resolution size, which levels that show a region do not know.
    int fullWidth() const { return this->inImagePtr() ? this->inImagePtr()->width(TIm::CImFull) : 0; }
    int fullHeight() const { return this->inImagePtr() ? this->inImagePtr()->height(TIm::CImFull) : 0; }

public:
    void setTPImageDepends(TIm::CImId, const TPImage &in, TPImage &eff) override
    {
        eff.m_depends.addDepedentUid(in.uid());
        for (const TParam *param : m_ownParams)
            eff.m_depends.addDepedentUid(param->uid());
    }

    bool procTPImage(TIm::CImId cid, const TPImage &in, TPImage &eff) override
    {
        if (!eff.m_depends.dirty(nullptr) && eff.width() == in.width() && eff.height() == in.height())
            return true;
        if (in.bEmpty()) {
            eff = TPImage();
        } else if (bOwnParamsDefault() && bDefaultsAreIdentity()) {
            shareInput(in, eff);
        } else if (!Base::procTPImage(cid, in, eff)) {
            return false;
        }
        eff.m_depends.clean(nullptr);
        eff.uid()->update();
        this->setProperty("levelsComputed", this->property("levelsComputed").toInt() + 1);
        return true;
    }

    bool procPreparedTPImage(TIm::CImId, const TPImage &work, TPImage &eff) override
    {
        return procLevel(work, eff, TLevelGeometry::of(work, fullWidth(), fullHeight()));
    }

private:
    // The level as it came in: the same planes, shared, so the defaults change no bit.
    static void shareInput(const TPImage &in, TPImage &eff)
    {
        eff.m_lum = in.m_lum;
        eff.m_half = in.m_half;
        eff.m_factor = in.m_factor;
        eff.m_c1 = in.m_c1;
        eff.m_c2 = in.m_c2;
        eff.m_p4 = in.m_p4;
        eff.m_dec = in.m_dec;
        eff.m_x = in.m_x;
        eff.m_y = in.m_y;
    }

    QList<TParam *> m_ownParams;
};

using TCatalogueFullFx = TCatalogueFx<TFxFullProc>;
using TCatalogueHalfFx = TCatalogueFx<TFxHalfProc>;

#endif
