// fxhost graph: runs one filter or filter script of the plug-in directory over a picture.
//
// The mask-drawing filter TFDrawMask (or any run with --toplevel) goes through the ready-made
// top-level graph TFilterToplevelA. Every other filter gets a graph of its own: a source feeds
// the filter's "inY", "inC" and "inM" where it has them, and a sink takes the filter's "outY",
// "outC" and "outM", or the source's plane where the filter has no such output (a filter that
// only measures, such as TFHistogram, leaves the picture as it was).
//
// --set slot=value calls a slot of the filter by name before it runs ("blur.setRadius=20"
// reaches the sub-filter "blur" of a script); values are read to suit the slot's parameters.

#include "commands.h"
#include "commandsupport.h"
#include "slotcall.h"

#include <QColorSpace>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTextStream>
#include <memory>
#include <tfilter.h>
#include <tfiltercontext.h>
#include <tfiltersink.h>
#include <tfiltersrc.h>
#include <tfiltertoplevela.h>
#include <tinport.h>
#include <toutport.h>
#include <tpluginfactory.h>

namespace {
const QString toplevelKey = QStringLiteral("TFDrawMask");

struct Options {
    QString input, output, key;
    QStringList settings;
    bool toplevel = false;
    bool quiet = false;
};

int readOptions(const QStringList &arguments, Options &options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs a filter or a filter script of the plug-in directory over INPUT (the built-in sample without it)."));
    CommandSupport::addCommonOptions(parser);
    parser.addOption({ QStringLiteral("filter"), QStringLiteral("The filter or script key (see fxhost list)."),
        QStringLiteral("key") });
    parser.addOption({ QStringLiteral("set"),
        QStringLiteral("Call a slot of the filter before it runs, e.g. setGamma=2 or blur.setRadius=20; several "
                       "values are separated by commas (repeatable)."),
        QStringLiteral("slot=value") });
    parser.addOption({ QStringLiteral("toplevel"), QStringLiteral("Run through the top-level graph (TFDrawMask).") });
    parser.addOption({ { QStringLiteral("o"), QStringLiteral("output") }, QStringLiteral("The picture to write."),
        QStringLiteral("file") });
    parser.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("The picture (optional)."), "[INPUT]");
    int exitCode = Commands::Success;
    if (!CommandSupport::parse(parser, arguments, "graph", exitCode))
        return exitCode;
    options.toplevel = parser.isSet("toplevel");
    options.key = parser.value("filter");
    if (options.key.isEmpty() && options.toplevel)
        options.key = toplevelKey;
    if (options.key.isEmpty())
        return CommandSupport::fail("graph", QStringLiteral("--filter KEY is needed"), Commands::UsageError);
    if (options.toplevel && options.key != toplevelKey)
        return CommandSupport::fail("graph",
            QStringLiteral("--toplevel runs the top-level graph, whose filter is %1, not %2")
                .arg(toplevelKey, options.key),
            Commands::UsageError);
    options.toplevel = options.toplevel || options.key == toplevelKey;
    if (parser.value("output").isEmpty())
        return CommandSupport::fail("graph", QStringLiteral("-o OUTPUT is needed"), Commands::UsageError);
    if (parser.positionalArguments().size() > 1)
        return CommandSupport::fail("graph", QStringLiteral("one INPUT at most"), Commands::UsageError);
    options.input = parser.positionalArguments().value(0);
    options.output = parser.value("output");
    options.settings = parser.values("set");
    options.quiet = CommandSupport::quiet(parser);
    return -1;
}

// The source's planes into the filter, the filter's (or else the source's) into the sink.
// Inputs are connected first: a filter passing an input through shows it only then.
void connectGraph(TFilterSrc *source, TFilter *filter, TFilterSink *sink)
{
    const QStringList planes { QStringLiteral("Y"), QStringLiteral("C"), QStringLiteral("M") };
    for (const QString &plane : planes) {
        TOutport *out = source->outportPtr("out" + plane);
        TInport *in = filter->inportPtr("in" + plane);
        if (out && in && in->type() == out->type())
            in->connectTo(out);
    }
    for (const QString &plane : planes) {
        TOutport *out = filter->outportPtr("out" + plane);
        TInport *in = sink->inportPtr("in" + plane);
        if (in)
            in->connectTo(out && out->type() == in->type() ? out : source->outportPtr("out" + plane));
    }
}

// Applies the --set calls; the exit code on a mistake, -1 when all were made.
int applySettings(TFilter *filter, const QStringList &settings)
{
    for (const QString &setting : settings) {
        const int equals = setting.indexOf(QLatin1Char('='));
        QString path = equals < 0 ? setting : setting.left(equals);
        const QString value = equals < 0 ? QString() : setting.mid(equals + 1);
        TFilter *target = filter;
        // "sub.slot" reaches a sub-filter, as scripts do.
        while (path.contains(QLatin1Char('.'))) {
            const QString name = path.section(QLatin1Char('.'), 0, 0);
            target = target->filters().contains(name) ? target->filterPtr(name) : nullptr;
            if (!target)
                return CommandSupport::fail("graph",
                    QStringLiteral("--set %1: the filter has no sub-filter \"%2\"").arg(setting, name),
                    Commands::UsageError);
            path = path.section(QLatin1Char('.'), 1);
        }
        QString problem;
        if (SlotCall::call(target, path, value, problem) != SlotCall::Result::Called)
            return CommandSupport::fail(
                "graph", QStringLiteral("--set %1: %2").arg(setting, problem), Commands::UsageError);
    }
    return -1;
}

// Builds the graph under context, runs it and gives the result; exit code -1 on success.
int run(TFilterContext &context, const Options &options, const QImage &input, QImage &result)
{
    QString code;
    try {
        if (options.toplevel) {
            auto *graph = new TFilterToplevelA(QStringLiteral("graph"), &context);
            if (!graph->toplevelFilterPtr())
                return CommandSupport::fail("graph", QStringLiteral("no plug-in offers %1").arg(toplevelKey), 2);
            graph->setImage(input);
            const int settingsCode = applySettings(graph->toplevelFilterPtr(), options.settings);
            if (settingsCode >= 0)
                return settingsCode;
            code = graph->proc();
            result = graph->getImage();
        } else {
            auto *source = new TFilterSrc(QStringLiteral("source"), &context);
            TFilter *filter = context.filterFactoryPtr()->createTFilter(options.key, options.key, &context);
            if (!filter)
                return CommandSupport::fail(
                    "graph", QStringLiteral("the plug-in could not make \"%1\"").arg(options.key), 1);
            auto *sink = new TFilterSink(QStringLiteral("sink"), &context);
            connectGraph(source, filter, sink);
            source->setImage(input);
            const int settingsCode = applySettings(filter, options.settings);
            if (settingsCode >= 0)
                return settingsCode;
            code = filter->proc();
            if (code.isEmpty())
                code = sink->proc();
            result = sink->getImage();
        }
    } catch (const char *thrown) {
        // The graph throws C strings for what it takes as programming errors; for a command
        // line they are a failed run.
        code = QString::fromUtf8(thrown);
    }
    if (!code.isEmpty())
        return CommandSupport::fail("graph", QStringLiteral("%1: %2").arg(options.key, code), 1);
    if (result.isNull())
        return CommandSupport::fail("graph", QStringLiteral("%1 gave no picture").arg(options.key), 1);
    return -1;
}

int graph(const QStringList &arguments)
{
    Options options;
    int exitCode = readOptions(arguments, options);
    if (exitCode >= 0)
        return exitCode;
    LoadedPicture picture;
    QString error;
    if (!CommandSupport::loadInput(options.input, picture, error))
        return CommandSupport::fail("graph", error, Commands::SomeFileFailed);
    std::unique_ptr<TFilterContext> context;
    {
        // The context's plug-in factory announces itself on standard output.
        CommandSupport::QuietStdout quietStdout;
        context = std::make_unique<TFilterContext>(nullptr);
    }
    if (!context->filterFactoryPtr()->filters().contains(options.key))
        return CommandSupport::fail("graph",
            QStringLiteral("no plug-in or script offers the filter \"%1\" (see fxhost list)").arg(options.key),
            Commands::UsageError);
    QImage result;
    QElapsedTimer timer;
    timer.start();
    exitCode = run(*context, options, picture.image, result);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (exitCode >= 0)
        return exitCode;
    // The graph works on the picture's own values, so the result is in its colour space.
    result.setColorSpace(picture.image.colorSpace().isValid() ? picture.image.colorSpace() : QColorSpace::SRgb);
    if (!CommandSupport::writeImage(result, options.output, error))
        return CommandSupport::fail("graph", error, Commands::SomeFileFailed);
    if (!options.quiet)
        QTextStream(stdout) << QStringLiteral("%1: %2 x %3 through %4 in %5 ms\n")
                                   .arg(options.output)
                                   .arg(result.width())
                                   .arg(result.height())
                                   .arg(options.key)
                                   .arg(ms, 0, 'f', 1);
    return Commands::Success;
}
}

FXHOST_COMMAND("graph", "Runs a filter or filter script over a picture.", graph)
