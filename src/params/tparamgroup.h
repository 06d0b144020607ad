#ifndef TPARAMGROUP_H
#define TPARAMGROUP_H

#include "fxengine_export.h"
#include "tparam.h"

#include <QStringList>

// Gathers parameters as its Qt children (it owns them, and holds nothing else), switches
// them on and off as a whole, remembers whether a host shows it expanded, and applies named
// presets to all members at once. Switching it on or off advances its stamp; expanding does
// not. Lookups report a missing member as null.
class FXENGINE_EXPORT TParamGroup : public TParam {
    Q_OBJECT
public:
    TParamGroup(QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type,
        bool enabled, bool expanded);

    bool enabled() const { return m_enabled; }
    bool expanded() const { return m_expanded; }
    // One name per group preset; starts as the translated "Default". Editable in place.
    QStringList &presetNames() { return m_presetNames; }

    // The number of Qt children.
    int numParams() const;
    // The i-th child; null (with a trace line) when i is out of range or the child is not a
    // parameter.
    TParam *paramPtr(int i);
    const TParam *paramPtr(int i) const;
    // The first parameter with that key in a depth-first walk in child order, looking at each
    // child's own key before its descendants; the walk enters every parameter, not only
    // groups, and skips children that are not parameters. Null, silently, when none matches.
    TParam *paramPtr(const QString &key);
    const TParam *paramPtr(const QString &key) const;

    int numPresets() const override;
    // Forwards i to every member in child order, then emits presetChanged(i); nothing when i
    // is not the index of one of the group's preset names.
    void applyPreset(int i) override;
    // True for an empty group; otherwise asks the members in child order up to the first false.
    bool bDefault() const override;

signals:
    void enableChanged(bool v);
    void expandedChanged(bool v);
    void presetChanged(int v);

public slots:
    // Stores e, advances the stamp and emits enableChanged; nothing when e is the state.
    void setEnable(bool e);
    // Stores e and emits expandedChanged; nothing when e is the state. Display state only.
    void setExpand(bool e);

private:
    bool m_enabled;
    bool m_expanded;
    QStringList m_presetNames;
    // Free text for hosts; the library neither reads nor writes it.
    QString m_text;
};

#endif
