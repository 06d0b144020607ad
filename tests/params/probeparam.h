#ifndef PROBEPARAM_H
#define PROBEPARAM_H

#include "tparamvisual.h"

#include <QList>
#include <QStringList>

// A display-only parameter that records what is asked of it: how often bDefault() was
// queried and which presets were applied (optionally into a journal shared by several).
class ProbeParam : public TParamVisual {
public:
    ProbeParam(QObject *parent, const QString &key, bool isDefault = true, QStringList *journal = nullptr)
        : TParamVisual(parent, key, key, QString(), QString())
        , m_isDefault(isDefault)
        , m_journal(journal)
    {
    }
    bool bDefault() const override
    {
        ++m_defaultQueries;
        return m_isDefault;
    }
    void applyPreset(int i) override
    {
        m_applied << i;
        if (m_journal)
            *m_journal << QStringLiteral("%1 preset %2").arg(key()).arg(i);
    }

    bool m_isDefault;
    QStringList *m_journal;
    mutable int m_defaultQueries = 0;
    QList<int> m_applied;
};

#endif
