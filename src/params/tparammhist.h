#ifndef TPARAMMHIST_H
#define TPARAMMHIST_H

#include "fxengine_export.h"
#include "tparam.h"

#include <QMetaType>
#include <memory>
#include <string>

class MHist;

// Carries a histogram of the core library, set from its serialised text. Every setValue
// advances the stamp, even when the text is rejected (the histogram then keeps its previous
// content). It has no presets to speak of and never counts as default. Owns its MHist.
class FXENGINE_EXPORT TParamMHist : public TParam {
    Q_OBJECT
public:
    TParamMHist(QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type);
    ~TParamMHist() override;

    MHist &mhist() { return *m_mhist_p; }
    const MHist &mhist() const { return *m_mhist_p; }

    int numPresets() const override;
    void applyPreset(int i) override;
    bool bDefault() const override;
    // A hook for kinds that keep derived state; does nothing here.
    virtual void clean(int);

public slots:
    // Loads buf into the histogram and advances the stamp; true whether or not buf was read.
    bool setValue(std::string buf);

private:
    std::unique_ptr<MHist> m_mhist_p;
};

Q_DECLARE_METATYPE(std::string)

#endif
