#ifndef TPARAMCHOICES_H
#define TPARAMCHOICES_H

#include "fxengine_export.h"
#include "tparam.h"

#include <QList>
#include <QStringList>

// An index into a list of named choices. Starts at 0 with no choices. Values are clamped into
// the list (-1 when it is empty). A change is announced by valueChanged only: the stamp stays,
// so an effect that depends on the choice listens to the signal.
class FXENGINE_EXPORT TParamChoices : public TParam {
    Q_OBJECT
    Q_PROPERTY(int value READ value WRITE setValue)
    Q_PROPERTY(QStringList choices READ choices WRITE setChoices)
public:
    TParamChoices(QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type);

signals:
    void valueChanged(int v);

public slots:
    int value() const { return m_value; }
    // Stores v raised to 0, then lowered to the last index, and emits valueChanged; nothing
    // when that is the value. The stamp is not touched.
    void setValue(int v);
#ifdef Q_MOC_RUN
    QList<int> presets();
#else
    // Editable in place; the first entry is the default. Presets are clamped when applied.
    QList<int> &presets() { return m_presets; }
#endif
    int numPresets() const override;
    void applyPreset(int i) override;
    // Compares with the first preset as stored; false without presets.
    bool bDefault() const override;
    QStringList choices() const { return m_choices; }
    // Replaces the list; the value is neither clamped nor announced.
    void setChoices(const QStringList &v) { m_choices = v; }

private:
    int m_value;
    QStringList m_choices;
    QList<int> m_presets;
};

#endif
