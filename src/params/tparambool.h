#ifndef TPARAMBOOL_H
#define TPARAMBOOL_H

#include "fxengine_export.h"
#include "tparam.h"

#include <QList>

// A switch. Its "value" property is declared int for hosts that treat every parameter as a
// number; any non-zero int written there means true. A change advances the stamp.
class FXENGINE_EXPORT TParamBool : public TParam {
    Q_OBJECT
    Q_PROPERTY(int value READ value WRITE setValue)
public:
    TParamBool(
        QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type, bool value);

signals:
    void valueChanged(bool v);

public slots:
    bool value() const { return m_value; }
    // Stores v, advances the stamp and emits valueChanged; nothing when v is the value.
    void setValue(bool v);
#ifdef Q_MOC_RUN
    QList<bool> presets();
#else
    // Editable in place; the first entry is the default.
    QList<bool> &presets() { return m_presets; }
#endif
    int numPresets() const override;
    void applyPreset(int i) override;
    // False when the preset list has been emptied: there is no default to stand at.
    bool bDefault() const override;

private:
    bool m_value;
    QList<bool> m_presets;
};

#endif
