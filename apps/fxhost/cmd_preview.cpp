// fxhost preview: renders one view level of the edited picture, as a host's screen shows it,
// and says how long the engine's pass took.
//
// --view WxH[+X+Y] is the screen: W x H pixels. The region shown runs from the origin X, Y
// (full-resolution pixels, 0,0 by default; rounded down to even numbers, as the engine's
// regions are) to the picture's right and bottom edges. The decimation is the smallest whole
// number at which that region fits the screen, and the output is the region at that
// decimation: ceil(region width / dec) x ceil(region height / dec), never larger than W x H.

#include "commands.h"
#include "commandsupport.h"
#include "recipe.h"

#include <QColorSpace>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTextStream>
#include <tcms.h>
#include <tfxcommondata.h>
#include <tfxstack.h>
#include <tpimage.h>
#include <troi.h>

namespace {
// The engine samples views at decimations 1 to 32.
constexpr int maxDecimation = 32;

struct View {
    int width = 0, height = 0, x = 0, y = 0;
};

bool parseView(const QString &text, View &view)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,6})x(\\d{1,6})(?:\\+(\\d{1,6})\\+(\\d{1,6}))?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    view.width = match.captured(1).toInt();
    view.height = match.captured(2).toInt();
    view.x = match.captured(3).toInt() & ~1;
    view.y = match.captured(4).toInt() & ~1;
    return view.width > 0 && view.height > 0;
}

int ceilDiv(int a, int b) { return (a + b - 1) / b; }

// The region from the view's origin to the picture's far edges, at the decimation that fits.
bool fitRegion(const View &view, const QSize &picture, TRoi &roi, QString &error)
{
    if (view.x >= picture.width() || view.y >= picture.height()) {
        error = QStringLiteral("the origin %1,%2 lies outside the %3 x %4 picture")
                    .arg(view.x)
                    .arg(view.y)
                    .arg(picture.width())
                    .arg(picture.height());
        return false;
    }
    const int width = picture.width() - view.x, height = picture.height() - view.y;
    const int dec = std::max({ 1, ceilDiv(width, view.width), ceilDiv(height, view.height) });
    if (dec > maxDecimation) {
        error = QStringLiteral("a %1 x %2 view would need decimation %3; the engine goes to %4")
                    .arg(view.width)
                    .arg(view.height)
                    .arg(dec)
                    .arg(maxDecimation);
        return false;
    }
    roi = TRoi(ceilDiv(width, dec), ceilDiv(height, dec), view.x, view.y, dec);
    return true;
}

struct Options {
    QString input, output;
    View view;
    Recipe recipe;
    bool quiet = false;
};

int readOptions(const QStringList &arguments, Options &options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Renders one view of INPUT (the built-in sample without it) at the decimation that fits "
                       "a WxH screen; the region runs from X,Y (default 0,0) to the picture's edges."));
    CommandSupport::addCommonOptions(parser);
    CommandSupport::addRecipeOptions(parser);
    parser.addOption({ QStringLiteral("view"), QStringLiteral("The screen size and the region's origin."),
        QStringLiteral("WxH[+X+Y]") });
    parser.addOption({ { QStringLiteral("o"), QStringLiteral("output") }, QStringLiteral("The view picture to write."),
        QStringLiteral("file") });
    parser.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("The picture (optional)."), "[INPUT]");
    int exitCode = Commands::Success;
    if (!CommandSupport::parse(parser, arguments, "preview", exitCode))
        return exitCode;
    const QStringList inputs = parser.positionalArguments();
    if (inputs.size() > 1)
        return CommandSupport::fail("preview", QStringLiteral("one INPUT at most"), Commands::UsageError);
    if (!parser.isSet("view") || !parseView(parser.value("view"), options.view))
        return CommandSupport::fail(
            "preview", QStringLiteral("--view WxH[+X+Y] is needed, e.g. --view 800x600"), Commands::UsageError);
    if (parser.value("output").isEmpty())
        return CommandSupport::fail("preview", QStringLiteral("-o OUT is needed"), Commands::UsageError);
    QString error;
    if (!CommandSupport::readRecipe(parser, options.recipe, error))
        return CommandSupport::fail("preview", error, Commands::UsageError);
    options.input = inputs.value(0);
    options.output = parser.value("output");
    options.quiet = CommandSupport::quiet(parser);
    return -1;
}

int preview(const QStringList &arguments)
{
    Options options;
    const int exitCode = readOptions(arguments, options);
    if (exitCode >= 0)
        return exitCode;
    LoadedPicture picture;
    QString error;
    if (!CommandSupport::loadInput(options.input, picture, error))
        return CommandSupport::fail("preview", error, Commands::SomeFileFailed);
    TRoi roi;
    if (!fitRegion(options.view, picture.image.size(), roi, error))
        return CommandSupport::fail("preview", error, Commands::UsageError);
    TCMS cms;
    TFxCommonData source;
    if (!HostIo::setup(picture, source, cms, error))
        return CommandSupport::fail("preview", error, Commands::SomeFileFailed);
    std::unique_ptr<TfxStack> stack;
    {
        CommandSupport::QuietStdout quietStdout;
        stack = std::make_unique<TfxStack>(QStringLiteral("stack"), nullptr);
    }
    stack->setInImage(&source.image());
    stack->setCommonData(&source);
    if (!options.recipe.apply(*stack, picture.image.size(), error))
        return CommandSupport::fail("preview", error, Commands::UsageError);

    QElapsedTimer timer;
    timer.start();
    source.image().updateCIms(TIm::CImView1, roi);
    const double levelMs = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    stack->procOutput({ TIm::CImView1 });
    const double passMs = double(timer.nsecsElapsed()) / 1e6;
    const TIm *output = stack->outImagePtr();
    if (output->bEmpty(TIm::CImView1))
        return CommandSupport::fail("preview", QStringLiteral("the engine gave no view"), Commands::SomeFileFailed);
    QImage view;
    cms.convert(*output->ptr(TIm::CImView1), view);
    // The view is in the picture's own colour space: its embedded profile was the device one.
    view.setColorSpace(
        picture.icc.isEmpty() ? QColorSpace(QColorSpace::SRgb) : QColorSpace::fromIccProfile(picture.icc));
    if (!CommandSupport::writeImage(view, options.output, error))
        return CommandSupport::fail("preview", error, Commands::SomeFileFailed);
    if (!options.quiet)
        QTextStream(stdout) << QStringLiteral("%1: %2 x %3 at decimation %4 from %5,%6; view level %7 ms, pass %8 ms\n")
                                   .arg(options.output)
                                   .arg(view.width())
                                   .arg(view.height())
                                   .arg(roi.dec())
                                   .arg(roi.x())
                                   .arg(roi.y())
                                   .arg(levelMs, 0, 'f', 1)
                                   .arg(passMs, 0, 'f', 1);
    return Commands::Success;
}
}

FXHOST_COMMAND("preview", "Renders one view at the decimation that fits a screen, timed.", preview)
