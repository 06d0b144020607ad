#ifndef STACKHARNESS_H
#define STACKHARNESS_H

#include "quietstdout.h"
#include "tfxstack.h"
#include "tpimage.h"
#include "trecordingfx.h"

#include <QSignalSpy>
#include <memory>

// A stack of recording effects (key "RecA", named as given) between an input and a mix image
// of its own, whose levels all differ in size, so that a test can tell levels and images apart.
struct StackHarness {
    explicit StackHarness(const QStringList &names = {}, bool withImages = true)
    {
        for (int i = 0; i < TIm::numLevels; ++i) {
            input.ptr(TIm::CImId(i))->create(10 + i, 5 + 2 * i, false);
            mix.ptr(TIm::CImId(i))->create(11 + i, 6 + 2 * i, false);
        }
        QuietStdout quiet; // The first stack creates the plug-in factory, which writes there.
        stack = std::make_unique<TfxStack>("stack", nullptr);
        if (withImages)
            stack->setInImage(&input), stack->setMixImage(&mix);
        for (const QString &name : names)
            stack->addTFx("RecA", name, stack->numTFxs());
        TRecordingFx::calls.clear();
    }
    TRecordingFx *fx(const QString &name) { return stack->findChild<TRecordingFx *>(name); }
    // Every effect as "name<input,mix", where "in" and "mix" are the harness images and an
    // effect's name stands for its output.
    QString wiring() const
    {
        auto source = [this](const TIm *image) {
            for (int i = 0; i < stack->numTFxs(); ++i) {
                if (stack->tfxPtr(i)->outImagePtr() == image)
                    return stack->tfxPtr(i)->objectName();
            }
            return QString(image == &input ? "in" : image == &mix ? "mix" : image ? "?" : "null");
        };
        QStringList list;
        for (int i = 0; i < stack->numTFxs(); ++i) {
            const TFx *fx = stack->tfxPtr(i);
            list.append(fx->objectName() + '<' + source(fx->inImagePtr()) + ',' + source(fx->mixImagePtr()));
        }
        return list.join(' ');
    }

    TIm input, mix;
    std::unique_ptr<TfxStack> stack;
};

// The recorded calls of one kind, without the kind: "A(0,2) B(2)" for procOutput.
inline QString recorded(const QString &what)
{
    QStringList list;
    for (const QString &call : TRecordingFx::calls.filter('.' + what))
        list.append(QString(call).remove('.' + what));
    return list.join(' ');
}

// "0,2" as a set of level ids.
inline QSet<TIm::CImId> levelSet(const QString &ids)
{
    QSet<TIm::CImId> set;
    for (const QString &id : ids.split(',', Qt::SkipEmptyParts))
        set.insert(TIm::CImId(id.toInt()));
    return set;
}

// The first argument of every emission as "2,1", in order or sorted (as text, which is
// numeric order for level ids).
inline QString values(const QSignalSpy &spy, bool sorted = false)
{
    QStringList list;
    for (const QList<QVariant> &arguments : spy)
        list.append(arguments.at(0).toString());
    if (sorted)
        list.sort();
    return list.join(',');
}

#endif
