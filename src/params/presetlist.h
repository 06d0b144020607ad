#ifndef PRESETLIST_H
#define PRESETLIST_H

#include "fxtrace.h"

#include <QList>
#include <QString>

// Preset handling shared by the scalar parameter kinds (internal to the engine).
namespace PresetList {

// Sets preset i through the parameter's own setter, so that clamping, stamps and signals are
// the kind's; an index outside the list does nothing.
template <typename Param, typename Value> void apply(Param &param, const QList<Value> &presets, int i)
{
    if (i < 0 || i >= presets.size())
        return;
    param.setValue(presets.at(i));
}

// Whether value stands at the first preset by the kind's own equality; false, with a trace
// line naming where and the parameter's key, when there are no presets.
template <typename Value, typename Same>
bool bAtDefault(const char *where, const QString &key, const Value &value, const QList<Value> &presets, Same same)
{
    if (presets.isEmpty()) {
        FX_TRACE(where, "no presets") << key;
        return false;
    }
    return same(value, presets.first());
}
}

#endif
