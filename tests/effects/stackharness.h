#ifndef STACKHARNESS_H
#define STACKHARNESS_H

#include "recordlog.h"
#include "stdoutcapture.h"
#include "tfxstack.h"
#include "tpimage.h"
#include "tracecapture.h"
#include "trecordingfx.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringList>
#include <algorithm>
#include <initializer_list>
#include <memory>

// A stack of recording effects between two source images of its own, for the effect tests.
// The input and the mix image are distinct sets whose levels all have different sizes, so
// that a test can tell every level and both images apart. Creating the stack may create the
// shared plug-in factory, which writes to standard output; that is kept out of the test log.
class StackHarness {
public:
    explicit StackHarness(bool withImages = true)
    {
        for (int i = 0; i < TIm::numLevels; ++i) {
            const auto cid = TIm::CImId(i);
            input.ptr(cid)->create(levelWidth(cid), levelHeight(cid), false);
            mix.ptr(cid)->create(levelWidth(cid) + 1, levelHeight(cid) + 1, false);
        }
        stack = newStack();
        if (withImages) {
            stack->setInImage(&input);
            stack->setMixImage(&mix);
        }
    }

    static std::unique_ptr<TfxStack> newStack(const QString &name = QStringLiteral("stack"))
    {
        StdoutCapture quiet;
        return std::make_unique<TfxStack>(name, nullptr);
    }

    static int levelWidth(TIm::CImId cid) { return 10 + int(cid); }
    static int levelHeight(TIm::CImId cid) { return 5 + 2 * int(cid); }

    // Adds recording effects with the given names (key "RecA") at the end.
    QList<TRecordingFx *> append(const QStringList &names)
    {
        QList<TRecordingFx *> added;
        for (const QString &name : names)
            added.append(add(name, stack->numTFxs()));
        return added;
    }

    TRecordingFx *add(const QString &name, int index, const QString &key = QStringLiteral("RecA"))
    {
        return qobject_cast<TRecordingFx *>(stack->addTFx(key, name, index));
    }

    TRecordingFx *fx(int index) { return qobject_cast<TRecordingFx *>(stack->tfxPtr(index)); }

    QStringList names() const
    {
        QStringList list;
        for (int i = 0; i < stack->numTFxs(); ++i)
            list.append(stack->tfxPtr(i)->objectName());
        return list;
    }

    // Where an image comes from: "in" and "mix" for the harness images, the name of the
    // effect whose output it is, "null", or "?" for anything else.
    QString source(const TIm *image) const
    {
        if (!image)
            return QStringLiteral("null");
        if (image == &input)
            return QStringLiteral("in");
        if (image == &mix)
            return QStringLiteral("mix");
        for (int i = 0; i < stack->numTFxs(); ++i) {
            if (stack->tfxPtr(i)->outImagePtr() == image)
                return stack->tfxPtr(i)->objectName();
        }
        return QStringLiteral("?");
    }

    // Every effect as "name<input,mix", in list order.
    QStringList wiring() const
    {
        QStringList list;
        for (int i = 0; i < stack->numTFxs(); ++i) {
            const TFx *effect = stack->tfxPtr(i);
            list.append(effect->objectName() + QLatin1Char('<') + source(effect->inImagePtr()) + QLatin1Char(',')
                + source(effect->mixImagePtr()));
        }
        return list;
    }

    TIm input;
    TIm mix;
    std::unique_ptr<TfxStack> stack;
};

inline QSet<TIm::CImId> levelSet(std::initializer_list<int> ids)
{
    QSet<TIm::CImId> set;
    for (int id : ids)
        set.insert(TIm::CImId(id));
    return set;
}

inline QSet<TIm::CImId> levelSet(const QList<int> &ids)
{
    QSet<TIm::CImId> set;
    for (int id : ids)
        set.insert(TIm::CImId(id));
    return set;
}

inline QList<int> sortedLevels(const QSet<TIm::CImId> &set)
{
    QList<int> list;
    for (TIm::CImId cid : set)
        list.append(int(cid));
    std::sort(list.begin(), list.end());
    return list;
}

// The level of every emission an outputChanged spy saw, ascending.
inline QList<int> emittedLevels(const QSignalSpy &spy)
{
    QList<int> levels;
    for (const QList<QVariant> &arguments : spy)
        levels.append(arguments.at(0).toInt());
    std::sort(levels.begin(), levels.end());
    return levels;
}

inline bool allEmpty(const TIm *image)
{
    for (int i = 0; i < TIm::numLevels; ++i) {
        if (!image->bEmpty(TIm::CImId(i)))
            return false;
    }
    return true;
}

// Trace lines of the engine written for operation where with a text that starts with text:
// "<where>:<line>: <text>...".
inline QStringList traceLines(const TraceCapture &trace, const QString &where, const QString &text)
{
    const QRegularExpression pattern(QLatin1Char('^') + QRegularExpression::escape(where) + QStringLiteral(":\\d+: ")
        + QRegularExpression::escape(text));
    QStringList lines;
    for (const QString &line : trace.lines()) {
        if (pattern.match(line).hasMatch())
            lines.append(line);
    }
    return lines;
}

inline int traceCount(const TraceCapture &trace, const QString &where, const QString &text)
{
    return traceLines(trace, where, text).size();
}

#endif
