// The filter graph's foundation: filters and their shared child name space, typed ports and
// their connections (passthrough), change tracking by update rectangles, the filter context,
// and the typed bases that plug-in filters derive from.

#include "testregistry.h"
#include "tfilterc.h"
#include "tfiltercontext.h"
#include "tfilterfx.h"
#include "tfiltery.h"
#include "tfilteryc.h"
#include "tfilterycm.h"
#include "timage.h"
#include "tinport.h"
#include "toutport.h"
#include "tpluginfactory.h"
#include "tracecapture.h"

#include <QPointer>
#include <QtTest>
#include <memory>

namespace {
// The smallest concrete filter; it exposes the state that only derived filters can see.
class TProbeFilter : public TFilter {
public:
    TProbeFilter(const QString &name, QObject *parent)
        : TFilter(name, parent)
    {
    }
    QString proc() override { return QString(); }
    bool updateView(int id) const { return m_updateView[id]; }
    bool prevUpdateView(int id) const { return m_prevUpdateView[id]; }
    bool cancelled() const { return m_cancel; }
    using TFilter::outImagePtr;
};

template <class Base> class TProbeTyped : public Base {
public:
    TProbeTyped(const QString &name, QObject *parent)
        : Base(name, parent)
    {
    }
    QString proc() override { return QString(); }
};

class TProbeFX : public TProbeTyped<TFilterFX> {
public:
    using TProbeTyped<TFilterFX>::TProbeTyped;
    TFilter *layerBlend() const { return m_layerBlend_p; }
};

// A trace line as the graph writes it: location, line, text, then each value quoted.
QString traceLine(const QString &where, int line, const QString &text, const QStringList &values)
{
    QString s = QStringLiteral("%1:%2: %3").arg(where).arg(line).arg(text);
    for (const QString &value : values)
        s += QStringLiteral(" \"%1\"").arg(value);
    return s;
}

// A written image of the type, so that it carries an update rectangle of its own.
std::unique_ptr<TImage> writtenImage(TImage::IMTYPE type, int w = 4, int h = 2)
{
    auto image = std::make_unique<TImage>(type, TSize(w, h));
    image->markWritten();
    return image;
}
}

class tst_FilterGraph : public QObject {
    Q_OBJECT
    TFilterContext *m_context = nullptr;

private slots:
    void initTestCase()
    {
        TraceCapture quiet;
        m_context = new TFilterContext(nullptr);
    }
    void cleanupTestCase() { delete m_context; }

    void graphConstructionNeedsAContext_data()
    {
        QTest::addColumn<int>("parentKind");
        QTest::addColumn<bool>("throws");
        QTest::newRow("no parent") << 0 << true;
        QTest::newRow("plain object") << 1 << true;
        QTest::newRow("context") << 2 << false;
        QTest::newRow("filter under a context") << 3 << false;
    }
    void graphConstructionNeedsAContext()
    {
        QFETCH(int, parentKind);
        QFETCH(bool, throws);
        QObject plain;
        TProbeFilter outer("outer", m_context);
        QObject *parents[] = { nullptr, &plain, m_context, &outer };
        const int childrenBefore = parents[parentKind] ? parents[parentKind]->children().size() : 0;
        // Every way of building a filter goes through the same check, the typed bases too.
        for (int kind = 0; kind < 2; ++kind) {
            QString caught;
            std::unique_ptr<TFilter> filter;
            try {
                if (kind == 0)
                    filter.reset(new TProbeFilter("f", parents[parentKind]));
                else
                    filter.reset(new TProbeTyped<TFilterYCM>("f", parents[parentKind]));
            } catch (const char *text) {
                caught = QString::fromLatin1(text);
            }
            QCOMPARE(caught, throws ? QStringLiteral("TFilter::TFilter - !m_context_p") : QString());
            QCOMPARE(!filter, throws);
            if (filter)
                QCOMPARE(filter->context(), m_context);
            filter.reset();
            // A refused filter leaves nothing behind in its would-be parent.
            if (parents[parentKind])
                QCOMPARE(parents[parentKind]->children().size(), childrenBefore);
        }
    }

    void graphFindFilterContext()
    {
        QVERIFY(!TFilterContext::findFilterContext(nullptr));
        QCOMPARE(TFilterContext::findFilterContext(m_context), m_context);
        TProbeFilter outer("outer", m_context);
        TProbeFilter inner("inner", &outer);
        QCOMPARE(TFilterContext::findFilterContext(&inner), m_context);
        QCOMPARE(inner.context(), m_context);
        QObject root;
        QObject child(&root);
        QVERIFY(!TFilterContext::findFilterContext(&child));
        // The nearest context wins.
        TFilterContext *nested = nullptr;
        {
            TraceCapture quiet;
            nested = new TFilterContext(&outer);
        }
        TProbeFilter underNested("under", nested);
        QCOMPARE(underNested.context(), nested);
        QCOMPARE(nested->filterFactoryPtr()->parent(), nested);
        QVERIFY(nested->filterFactoryPtr() != m_context->filterFactoryPtr());
    }

    void graphProgressNeverAsksToStop()
    {
        TProbeFilter filter("worker", m_context);
        for (bool cancelled : { false, true }) {
            if (cancelled)
                filter.cancelProc();
            QCOMPARE(filter.cancelled(), cancelled);
            TraceCapture trace;
            QVERIFY(!m_context->progressAndCheckCancel(&filter));
            QVERIFY(!filter.kickProgress());
            const QString line = traceLine("TFilterContext::progressAndCheckCancel", 640, "enter", { "worker" });
            QCOMPARE(trace.lines(), QStringList({ line, line }));
        }
    }

    // Inputs, outputs and sub-filters share one name space; only a taken name refused by
    // createInport is traced.
    void graphNamesAreSharedByAllKinds_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("traced");
        const QStringList kinds = { "in", "out", "filter" };
        QTest::newRow("inport then outport") << kinds[0] << kinds[1] << false;
        QTest::newRow("outport then inport") << kinds[1] << kinds[0] << true;
        QTest::newRow("inport then inport") << kinds[0] << kinds[0] << true;
        QTest::newRow("outport then outport") << kinds[1] << kinds[1] << false;
        QTest::newRow("sub-filter then inport") << kinds[2] << kinds[0] << true;
        QTest::newRow("sub-filter then outport") << kinds[2] << kinds[1] << false;
        QTest::newRow("inport then sub-filter") << kinds[0] << kinds[2] << false;
    }
    void graphNamesAreSharedByAllKinds()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, traced);
        TProbeFilter filter("host", m_context);
        TraceCapture trace;
        auto create = [&](const QString &kind) {
            if (kind == "in")
                return filter.createInport("inY", "Y");
            if (kind == "out")
                return filter.createOutport("inY", "Y");
            return filter.createFilter("inY", "NoSuchFilterKey");
        };
        if (first == "filter")
            new TProbeFilter("inY", &filter);
        else
            QVERIFY(create(first));
        const QObject *taken = filter.children().value(0);
        trace.clear();
        QVERIFY(!create(second));
        QCOMPARE(filter.children(), QObjectList({ const_cast<QObject *>(taken) }));
        // A taken name is refused before the factory is asked.
        if (second == "filter")
            QCOMPARE(trace.count("TPluginFactory::createTFilter"), 0);
        const QString dup = traceLine("TFilter::createInport", 244, "failed", { "inY", "Y" });
        if (second != "filter")
            QCOMPARE(trace.lines(), traced ? QStringList(dup) : QStringList());
    }

    void graphPortTypeStrings_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("imtype");
        QTest::newRow("Y") << "Y" << 0;
        QTest::newRow("C") << "C" << 1;
        QTest::newRow("M") << "M" << 2;
        QTest::newRow("RGBA8U") << "RGBA8U" << 3;
        QTest::newRow("RGBA16U") << "RGBA16U" << 4;
        QTest::newRow("lower case y") << "y" << -1;
        QTest::newRow("lower case rgba8u") << "rgba8u" << -1;
        QTest::newRow("blank around") << " Y" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("plane name") << "inY" << -1;
    }
    void graphPortTypeStrings()
    {
        QFETCH(QString, type);
        QFETCH(int, imtype);
        TProbeFilter filter("host", m_context);
        TraceCapture trace;
        QCOMPARE(filter.createInport("in", type, true), imtype >= 0);
        QCOMPARE(trace.lines(),
            imtype >= 0 ? QStringList()
                        : QStringList(traceLine("TFilter::createInport", 239, "failed", { "in", type })));
        trace.clear();
        QCOMPARE(filter.createOutport("out", type), imtype >= 0);
        if (imtype < 0) {
            QCOMPARE(trace.lines(), QStringList());
            QVERIFY(filter.children().isEmpty());
            return;
        }
        QCOMPARE(trace.lines(),
            QStringList(QStringLiteral("TFilter::createOutport( \"out\" ) success - type  \"%1\"").arg(type)));
        const TInport *in = filter.inportPtr("in");
        const TOutport *out = filter.outportPtr("out");
        QVERIFY(in && out);
        QCOMPARE(int(in->type()), imtype);
        QVERIFY(in->bOptional());
        QVERIFY(!in->imagePtr());
        QCOMPARE(int(out->type()), imtype);
        QVERIFY(out->bOwnImage());
        QVERIFY(out->imagePtr());
        QCOMPARE(int(out->imagePtr()->type()), imtype);
        QCOMPARE(out->imagePtr()->size(), TSize(0, 0));
        QVERIFY(filter.createInport("required", type));
        QVERIFY(!filter.inportPtr("required")->bOptional());
    }

    void graphChildListsInCreationOrder()
    {
        TProbeFilter filter("host", m_context);
        QVERIFY(!filter.bParamsChanged());
        QCOMPARE(filter.inports(), QStringList());
        TraceCapture quiet;
        QVERIFY(filter.createInport("inY", "Y"));
        QVERIFY(filter.bParamsChanged());
        QVERIFY(filter.createInport("inC", "C"));
        QVERIFY(filter.createOutport("outY", "Y"));
        const QStringList expected = { "inY", "inC", "outY" };
        QCOMPARE(filter.inports(), expected);
        QCOMPARE(filter.outports(), expected);
        QCOMPARE(filter.params(), expected);
        QCOMPARE(filter.filters(), expected);
        new TProbeFilter("sub", &filter);
        QCOMPARE(filter.filters(), expected + QStringList("sub"));
        QCOMPARE(filter.inports(), filter.filters());
    }

    void graphLookupsCheckTheKind_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("kind");
        QTest::newRow("input") << QString("inY") << "in";
        QTest::newRow("output") << QString("outY") << "out";
        QTest::newRow("sub-filter") << QString("sub") << "filter";
        QTest::newRow("missing") << QString("nowhere") << "";
    }
    void graphLookupsCheckTheKind()
    {
        QFETCH(QString, key);
        QFETCH(QString, kind);
        TProbeFilter filter("host", m_context);
        TraceCapture trace;
        filter.createInport("inY", "Y");
        filter.createOutport("outY", "Y");
        auto *sub = new TProbeFilter("sub", &filter);
        QObject *child = kind.isEmpty() ? nullptr : filter.findChild<QObject *>(key, Qt::FindDirectChildrenOnly);
        const TFilter &constFilter = filter;
        trace.clear();
        QCOMPARE(static_cast<QObject *>(filter.inportPtr(key)), kind == "in" ? child : nullptr);
        QCOMPARE(static_cast<QObject *>(filter.outportPtr(key)), kind == "out" ? child : nullptr);
        QVERIFY(!filter.paramPtr(key));
        QCOMPARE(trace.lines(), QStringList());
        QCOMPARE(static_cast<const QObject *>(constFilter.inportPtr(key)), kind == "in" ? child : nullptr);
        QCOMPARE(static_cast<const QObject *>(constFilter.outportPtr(key)), kind == "out" ? child : nullptr);
        QCOMPARE(filter.filterPtr(key), kind == "filter" ? static_cast<TFilter *>(sub) : nullptr);
        // Only a name that no child has is worth a trace; a child of another kind is not.
        const QStringList missed = { traceLine("TFilter::inportPtr", 197, "ptr=null", { key, "host" }),
            traceLine("TFilter::outportPtr", 315, "failed", { key, "host" }),
            traceLine("TFilter::filterPtr", 463, "failed", { key, "host" }) };
        QCOMPARE(trace.lines(), kind.isEmpty() ? missed : QStringList());
    }

    void graphImageAccessByName()
    {
        TProbeFilter filter("host", m_context);
        TraceCapture trace;
        filter.createInport("inY", "Y");
        filter.createOutport("outY", "Y");
        const TFilter &constFilter = filter;
        auto y = writtenImage(TImage::Y);
        auto c = writtenImage(TImage::C);
        trace.clear();
        QVERIFY(!filter.setInImage("nowhere", y.get()));
        QVERIFY(!filter.setInImage("outY", y.get()));
        QVERIFY(!filter.setInImage("inY", c.get()));
        QCOMPARE(trace.lines(), QStringList());
        // Without an image an input is compatible with nothing.
        QVERIFY(!constFilter.bCompatible("inY", y.get()));
        QVERIFY(filter.setInImage("inY", y.get()));
        QCOMPARE(constFilter.inImagePtr("inY"), y.get());
        QVERIFY(constFilter.bCompatible("inY", y.get()));
        QVERIFY(constFilter.bCompatible("inY", writtenImage(TImage::Y).get()));
        QVERIFY(!constFilter.bCompatible("inY", c.get()));
        QVERIFY(!constFilter.bCompatible("inY", nullptr));
        QCOMPARE(trace.lines(), QStringList());
        QVERIFY(!constFilter.bCompatible("nowhere", y.get()));
        QVERIFY(!constFilter.inImagePtr("nowhere"));
        QCOMPARE(trace.count("TFilter::inportPtr:197: ptr=null \"nowhere\""), 2);
        const TImage *own = constFilter.outImagePtr("outY");
        QVERIFY(own);
        QCOMPARE(static_cast<const TImage *>(filter.outImagePtr("outY")), own);
        QVERIFY(!constFilter.outImagePtr("inY"));
        QVERIFY(!filter.outImagePtr("nowhere"));
    }

    void graphPortsRefuseOtherTypes_data()
    {
        QTest::addColumn<int>("portType");
        QTest::addColumn<int>("imageType");
        for (int p = 0; p < 5; ++p) {
            for (int i = 0; i < 5; ++i)
                QTest::addRow("port %d image %d", p, i) << p << i;
        }
    }
    void graphPortsRefuseOtherTypes()
    {
        QFETCH(int, portType);
        QFETCH(int, imageType);
        TProbeFilter filter("host", m_context);
        TInport in(&filter, "in", TImage::IMTYPE(portType), false, nullptr);
        TOutport out(&filter, "out", TImage::IMTYPE(portType), false);
        TImage old { TImage::IMTYPE(portType) };
        TImage offered { TImage::IMTYPE(imageType) };
        for (TPort *port : { static_cast<TPort *>(&in), static_cast<TPort *>(&out) }) {
            QVERIFY(port->setImage(&old));
            QCOMPARE(port->bCompatible(&offered), portType == imageType);
            QVERIFY(port->bCompatible(nullptr));
            QCOMPARE(port->setImage(&offered), portType == imageType);
            QCOMPARE(port->imagePtr(), portType == imageType ? &offered : &old);
            QVERIFY(port->setImage(nullptr));
            QVERIFY(!port->imagePtr());
        }
    }

    void graphInputsFollowInputs()
    {
        TProbeFilter filter("host", m_context);
        TInport leader(&filter, "leader", TImage::Y, false, nullptr);
        TInport follower(&filter, "follower", TImage::Y, false, nullptr);
        TInport second(&filter, "second", TImage::Y, false, nullptr);
        TInport colour(&filter, "colour", TImage::C, false, nullptr);
        auto a = writtenImage(TImage::Y), b = writtenImage(TImage::Y);
        auto c = writtenImage(TImage::C);
        QVERIFY(leader.setImage(a.get()));
        QVERIFY(follower.connectTo(&leader));
        QCOMPARE(follower.imagePtr(), a.get());
        // A chain: the second follows the follower.
        QVERIFY(second.connectTo(&follower));
        QVERIFY(leader.setImage(b.get()));
        QCOMPARE(follower.imagePtr(), b.get());
        QCOMPARE(second.imagePtr(), b.get());
        // A refused image is not handed on.
        QVERIFY(!leader.setImage(c.get()));
        QCOMPARE(follower.imagePtr(), b.get());
        QVERIFY(leader.setImage(nullptr));
        QVERIFY(!follower.imagePtr());
        QVERIFY(!second.imagePtr());
        // Following an input that shows another type is refused, and no following is set up.
        QVERIFY(colour.setImage(c.get()));
        QVERIFY(!follower.connectTo(&colour));
        QVERIFY(!follower.imagePtr());
        QVERIFY(colour.setImage(nullptr));
        QVERIFY(leader.setImage(a.get()));
        QCOMPARE(follower.imagePtr(), a.get());
        // An empty input of another type may be followed: null fits every port.
        QVERIFY(second.connectTo(&colour));
        QVERIFY(!second.imagePtr());
        // An input following itself, or two following each other, used to hand an image round
        // until the stack ran out.
        TInport self(&filter, "self", TImage::Y, false, nullptr), ringA(&filter, "a", TImage::Y, false, nullptr),
            ringB(&filter, "b", TImage::Y, false, nullptr);
        QVERIFY(self.connectTo(&self));
        QVERIFY(self.setImage(a.get()));
        QCOMPARE(self.imagePtr(), a.get());
        QVERIFY(ringA.connectTo(&ringB) && ringB.connectTo(&ringA));
        QVERIFY(ringA.setImage(a.get()));
        QCOMPARE(ringB.imagePtr(), a.get());
        QVERIFY(ringB.setImage(nullptr));
        QVERIFY(!ringA.imagePtr());
    }

    void graphOutputsPassInputsThrough()
    {
        TProbeFilter filter("host", m_context);
        TraceCapture quiet;
        filter.createInport("inY", "Y");
        filter.createInport("inC", "C");
        filter.createOutport("outY", "Y");
        filter.createOutport("outC", "C");
        filter.createOutport("mirror", "Y");
        TInport *inY = filter.inportPtr("inY");
        TOutport *outY = filter.outportPtr("outY");
        TOutport *outC = filter.outportPtr("outC");
        auto y = writtenImage(TImage::Y), y2 = writtenImage(TImage::Y);
        auto c = writtenImage(TImage::C);
        QVERIFY(filter.setInImage("inC", c.get()));
        QVERIFY(inY->setImage(y.get()));
        // A Y output cannot pass a C input through; it keeps its own image.
        QVERIFY(!outY->connectTo(filter.inportPtr("inC")));
        QVERIFY(outY->bOwnImage());
        QVERIFY(outY->imagePtrMod());
        QVERIFY(outY->connectTo(inY));
        QVERIFY(!outY->bOwnImage());
        QVERIFY(!outY->imagePtrMod());
        QCOMPARE(outY->imagePtr(), y.get());
        QVERIFY(inY->setImage(y2.get()));
        QCOMPARE(outY->imagePtr(), y2.get());
        QVERIFY(inY->setImage(nullptr));
        QVERIFY(!outY->imagePtr());
        // One output showing another.
        TOutport *mirror = filter.outportPtr("mirror");
        QVERIFY(!mirror->connectTo(static_cast<const TOutport *>(outC)));
        QVERIFY(mirror->bOwnImage());
        QVERIFY(mirror->connectTo(static_cast<const TOutport *>(outY)));
        QVERIFY(!mirror->bOwnImage());
        QVERIFY(!mirror->imagePtr());
        // An input showing an output takes its image, but does not follow later changes.
        TInport reader(&filter, "reader", TImage::C, false, nullptr);
        QVERIFY(reader.connectTo(static_cast<const TOutport *>(outC)));
        QCOMPARE(reader.imagePtr(), outC->imagePtr());
        QVERIFY(!reader.connectTo(static_cast<const TOutport *>(nullptr)));
        QVERIFY(!reader.connectTo(static_cast<TInport *>(nullptr)));
    }

    // A follower that dies with its filter must not be handed images afterwards (the
    // sanitizer build sees the use after free).
    void graphDeadFollowersLeaveTheList()
    {
        TProbeFilter leaderFilter("leader", m_context);
        TInport leader(&leaderFilter, "in", TImage::Y, false, nullptr);
        auto y = writtenImage(TImage::Y);
        QPointer<TInport> survivor;
        {
            TProbeFilter doomed("doomed", m_context);
            auto *follower = new TInport(&doomed, "follower", TImage::Y, false, nullptr);
            auto *passer = new TOutport(&doomed, "passer", TImage::Y, true);
            QVERIFY(follower->connectTo(&leader));
            QVERIFY(passer->connectTo(&leader));
            survivor = new TInport(&leaderFilter, "survivor", TImage::Y, false, nullptr);
            QVERIFY(survivor->connectTo(&leader));
        }
        QVERIFY(leader.setImage(y.get()));
        QCOMPARE(survivor->imagePtr(), y.get());
    }

    void graphChangeTracking()
    {
        TProbeFilter filter("host", m_context);
        TraceCapture quiet;
        filter.createInport("inY", "Y");
        filter.createInport("inM", "M");
        filter.createInport("unused", "C");
        filter.createOutport("outY", "Y");
        TInport *inY = filter.inportPtr("inY");
        TInport *inM = filter.inportPtr("inM");
        QVERIFY(!filter.bInsChanged());
        // An image never written has the default rectangle: nothing new yet.
        TImage y(TImage::Y, TSize(4, 4)), m(TImage::M, TSize(4, 4));
        QVERIFY(filter.setInImage("inY", &y));
        QVERIFY(filter.setInImage("inM", &m));
        QVERIFY(!filter.bInsChanged());
        m.markWritten(1, 1, 2, 2);
        QVERIFY(filter.bInsChanged());
        QVERIFY(inM->changed());
        QVERIFY(!inY->changed());
        filter.setProccessed();
        QVERIFY(!filter.bInsChanged());
        QVERIFY(!inM->changed());
        // The same area written again is still news.
        m.markWritten(1, 1, 2, 2);
        QVERIFY(filter.bInsChanged());
        inM->setChanged();
        QVERIFY(!filter.bInsChanged());
        // An output's image is not an input.
        filter.outImagePtr("outY")->resize(TSize(2, 2));
        filter.outImagePtr("outY")->markWritten();
        QVERIFY(!filter.bInsChanged());
        // Another image with another rectangle is a change too; dropping the image is not.
        auto other = writtenImage(TImage::Y);
        QVERIFY(inY->setImage(other.get()));
        QVERIFY(filter.bInsChanged());
        QVERIFY(inY->setImage(nullptr));
        QVERIFY(!inY->changed());
        QVERIFY(!filter.bInsChanged());
        inY->setChanged();
        QVERIFY(inY->setImage(other.get()));
        QVERIFY(filter.bInsChanged());
    }

    void graphFreeOutImagesKeepsTheImageObjects()
    {
        TProbeFilter filter("host", m_context);
        TraceCapture quiet;
        filter.createInport("inY", "Y");
        filter.createOutport("outY", "Y");
        filter.createOutport("outC", "C");
        filter.createOutport("through", "Y");
        auto input = writtenImage(TImage::Y, 6, 4);
        QVERIFY(filter.setInImage("inY", input.get()));
        QVERIFY(filter.outportPtr("through")->connectTo(filter.inportPtr("inY")));
        TImage *outY = filter.outImagePtr("outY");
        TImage *outC = filter.outImagePtr("outC");
        outY->resize(TSize(6, 4));
        outC->resize(TSize(3, 2));
        filter.freeOutImages();
        QCOMPARE(filter.outImagePtr("outY"), outY);
        QCOMPARE(filter.outImagePtr("outC"), outC);
        QCOMPARE(outY->size(), TSize(0, 0));
        QCOMPARE(outC->size(), TSize(0, 0));
        QVERIFY(!outY->plane1());
        // What an output only shows belongs to someone else.
        QCOMPARE(input->size(), TSize(6, 4));
        QVERIFY(input->plane1());
    }

    void graphEnableUpdateViewRemembersThePreviousFlag()
    {
        TProbeFilter filter("host", m_context);
        // The previous flag moves only when the flag changes.
        const bool steps[][2] = { { true, false }, { true, false }, { false, true } };
        for (const auto &step : steps) {
            filter.enableUpdateView(3, step[0]);
            QCOMPARE(filter.updateView(3), step[0]);
            QCOMPARE(filter.prevUpdateView(3), step[1]);
        }
        for (int id = 0; id < 16; ++id)
            QVERIFY(id == 3 || (!filter.updateView(id) && !filter.prevUpdateView(id)));
    }

    void graphReturnCodes_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("userCancel");
        QTest::newRow("empty") << "" << true << false;
        QTest::newRow("UC") << "UC" << false << true;
        QTest::newRow("UC and more") << "UC: stopped at 40%" << false << true;
        QTest::newRow("lower case uc") << "uc" << false << false;
        QTest::newRow("U alone") << "U" << false << false;
        QTest::newRow("error text") << "no input" << false << false;
        QTest::newRow("blank") << " " << false << false;
    }
    void graphReturnCodes()
    {
        QFETCH(QString, code);
        QFETCH(bool, ok);
        QFETCH(bool, userCancel);
        TProbeFilter filter("host", m_context);
        QCOMPARE(filter.procOK(code), ok);
        QCOMPARE(filter.procUserCancel(code), userCancel);
    }

    void graphCreateFilterWithAnUnknownKey()
    {
        TProbeFilter filter("host", m_context);
        TraceCapture trace;
        QVERIFY(!filter.createFilter("sub", "NoSuchFilterKey"));
        QVERIFY(filter.children().isEmpty());
        // The free name is looked up first, then the factory is asked by key and name.
        QCOMPARE(trace.lines().value(0), traceLine("TFilter::filterPtr", 463, "failed", { "sub", "host" }));
        QVERIFY(trace.lines().value(1).startsWith("TPluginFactory::createTFilter  \"NoSuchFilterKey\" \"sub\""));
    }

    // Per port of each base: name, type, and for inputs whether optional ('-' for outputs).
    void graphTypedBasesMakeTheirPorts_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("ports");
        QTest::newRow("TFilterY") << "Y"
                                  << "inY Y0 outY Y-";
        QTest::newRow("TFilterC") << "C"
                                  << "inC C0 outC C-";
        QTest::newRow("TFilterYC") << "YC"
                                   << "inY Y0 outY Y- inC C1 outC C-";
        QTest::newRow("TFilterYCM") << "YCM"
                                    << "inY Y0 outY Y- inC C1 outC C- inM M0 outM M-";
        QTest::newRow("TFilterFX") << "FX"
                                   << "inY Y0 outY Y- inC C1 outC C- inM M0 outM M-";
    }
    void graphTypedBasesMakeTheirPorts()
    {
        QFETCH(QString, base);
        QFETCH(QString, ports);
        TraceCapture trace;
        std::unique_ptr<TFilter> filter;
        if (base == "Y")
            filter.reset(new TProbeTyped<TFilterY>("typed", m_context));
        else if (base == "C")
            filter.reset(new TProbeTyped<TFilterC>("typed", m_context));
        else if (base == "YC")
            filter.reset(new TProbeTyped<TFilterYC>("typed", m_context));
        else if (base == "YCM")
            filter.reset(new TProbeTyped<TFilterYCM>("typed", m_context));
        else
            filter.reset(new TProbeFX("typed", m_context));
        // The ports are made directly: no name checks, no lines.
        if (base != "FX")
            QCOMPARE(trace.lines(), QStringList());
        const QStringList words = ports.split(' ');
        QStringList names;
        for (int i = 0; i < words.size(); i += 2) {
            const QString &name = words[i];
            names << name;
            const TImage::IMTYPE type = TImage::IMTYPE(QString("YCM").indexOf(words[i + 1][0]));
            const QChar optional = words[i + 1][1];
            const TPort *port = optional == '-' ? static_cast<const TPort *>(filter->outportPtr(name))
                                                : static_cast<const TPort *>(filter->inportPtr(name));
            QVERIFY2(port, qPrintable(name));
            QCOMPARE(port->type(), type);
            if (optional == '-') {
                QVERIFY(static_cast<const TOutport *>(port)->bOwnImage());
                QCOMPARE(port->imagePtr()->type(), type);
                QCOMPARE(port->imagePtr()->size(), TSize(0, 0));
            } else {
                QCOMPARE(static_cast<const TInport *>(port)->bOptional(), optional == '1');
                QVERIFY(!port->imagePtr());
            }
        }
        QCOMPARE(filter->inports().mid(0, names.size()), names);
    }

    // Whether the plug-in directory offers a layer-blend filter or not, the filter is built
    // and its field is what the lookup finds.
    void graphFilterFXLayerBlend()
    {
        const bool offered = m_context->filterFactoryPtr()->filters().contains("TLayerModes");
        TraceCapture trace;
        TProbeFX fx("fx", m_context);
        QCOMPARE(fx.layerBlend(), fx.filterPtr("layerblend"));
        QCOMPARE(fx.layerBlend() != nullptr, offered);
        const QString failed = traceLine("TFilter::filterPtr", 463, "failed", { "layerblend", "fx" });
        if (offered) {
            QCOMPARE(fx.layerBlend()->objectName(), QStringLiteral("layerblend"));
            QCOMPARE(fx.layerBlend()->parent(), &fx);
            QCOMPARE(fx.filters().size(), 7);
            QCOMPARE(trace.count(failed), 1);
        } else {
            QCOMPARE(fx.filters().size(), 6);
            // Once before asking the factory, once for the field, once for the check above.
            QCOMPARE(trace.count(failed), 3);
        }
    }
};

FX_REGISTER_TEST(tst_FilterGraph)
#include "tst_filtergraph.moc"
