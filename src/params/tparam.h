#ifndef TPARAM_H
#define TPARAM_H

#include "fxengine_export.h"

#include <QObject>
#include <QString>
#include <memory>

class TUid;

// The base of every effect parameter: one typed value behind Qt signals and slots, a list of
// presets whose first entry is the default, and a change stamp that effects put into the
// dependency records of their image levels. The key is the Qt object name; hosts find and
// drive parameters by name. A parameter is a Qt child of its effect or group, which owns it;
// the parameter owns its stamp. Kinds that reject a value clamp it or ignore it, never fail.
class FXENGINE_EXPORT TParam : public QObject {
    Q_OBJECT
public:
    TParam(QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type);
    ~TParam() override;

    // The change stamp; lives exactly as long as the parameter.
    TUid *uid() const { return m_uid_p.get(); }

    virtual int numPresets() const = 0;
    // Applies preset i; an index outside the preset list does nothing.
    virtual void applyPreset(int i) = 0;
    // True when the value stands at the default (what that means is the kind's).
    virtual bool bDefault() const = 0;
    // Applies the default, the first preset.
    virtual void reset();

public slots:
    QString key() const;
    // moc turns slots that return a reference into slots returning nothing, which would make
    // these unreadable by name; moc sees by-value returns, C++ callers keep the references.
#ifdef Q_MOC_RUN
    QString name() const;
    QString desc() const;
    QString type() const;
#else
    const QString &name() const { return m_name; }
    const QString &desc() const { return m_desc; }
    const QString &type() const { return m_type; }
#endif

private:
    std::unique_ptr<TUid> m_uid_p;
    QString m_name;
    QString m_desc;
    QString m_type;
};

#endif
