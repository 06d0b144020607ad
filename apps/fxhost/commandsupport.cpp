#include "commandsupport.h"

#include "hostlog.h"
#include "recipe.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>
#include <QTextStream>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

void CommandSupport::addCommonOptions(QCommandLineParser &parser)
{
    parser.addHelpOption();
    parser.addOption({ QStringLiteral("verbose"), QStringLiteral("Show the engine's trace lines on stderr.") });
    parser.addOption({ QStringLiteral("quiet"), QStringLiteral("Leave out informational lines.") });
}

bool CommandSupport::parse(QCommandLineParser &parser, const QStringList &arguments, const char *command, int &exitCode)
{
    QTextStream err(stderr);
    if (!parser.parse(arguments)) {
        err << "fxhost " << command << ": " << parser.errorText() << " (see --help)\n";
        exitCode = 2;
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        // The parser names the program by its path; the user typed "fxhost COMMAND".
        QString help = parser.helpText();
        const int end = help.indexOf(QLatin1String(" [options]"));
        if (help.startsWith(QLatin1String("Usage: ")) && end > 0)
            help.replace(7, end - 7, QStringLiteral("fxhost %1").arg(QLatin1String(command)));
        QTextStream(stdout) << help;
        exitCode = 0;
        return false;
    }
    HostLog::setup(parser.isSet(QStringLiteral("verbose")));
    return true;
}

bool CommandSupport::quiet(const QCommandLineParser &parser) { return parser.isSet(QStringLiteral("quiet")); }

bool CommandSupport::loadInput(const QString &path, LoadedPicture &picture, QString &error)
{
    if (!path.isEmpty())
        return HostIo::load(path, picture, error);
    picture = HostIo::sample(sampleWidth, sampleHeight);
    if (picture.image.isNull()) {
        error = QStringLiteral("the sample picture could not be made");
        return false;
    }
    return true;
}

void CommandSupport::addRecipeOptions(QCommandLineParser &parser)
{
    parser.addOption({ QStringLiteral("recipe"), QStringLiteral("Apply the recipe in <file> (docs/recipes.md)."),
        QStringLiteral("file") });
    parser.addOption(
        { QStringLiteral("fx"), QStringLiteral("Append an effect, as KEY or KEY:param=value,... (repeatable)."),
            QStringLiteral("KEY[:param=value,...]") });
}

bool CommandSupport::readRecipe(const QCommandLineParser &parser, Recipe &recipe, QString &error)
{
    recipe = Recipe();
    if (parser.isSet(QStringLiteral("recipe"))) {
        const QString path = parser.value(QStringLiteral("recipe"));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("%1: cannot read the recipe (%2)").arg(path, file.errorString());
            return false;
        }
        if (!Recipe::fromJson(file.readAll(), recipe, error)) {
            error = QStringLiteral("%1: %2").arg(path, error);
            return false;
        }
    }
    for (const QString &fxText : parser.values(QStringLiteral("fx"))) {
        if (!recipe.addFx(fxText, error))
            return false;
    }
    return true;
}

bool CommandSupport::writeImage(const QImage &image, const QString &path, QString &error)
{
    const QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (!QImageWriter::supportedImageFormats().contains(format)) {
        error = QStringLiteral("%1: cannot tell a picture format from the name (try .png, .jpg or .tif)").arg(path);
        return false;
    }
    // A half-written file must never take the output's name.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("%1: cannot write (%2)").arg(path, file.errorString());
        return false;
    }
    QImageWriter writer(&file, format);
    if (!writer.write(image)) {
        error = QStringLiteral("%1: cannot write the picture (%2)").arg(path, writer.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = QStringLiteral("%1: cannot write (%2)").arg(path, file.errorString());
        return false;
    }
    return true;
}

int CommandSupport::fail(const char *command, const QString &message, int code)
{
    QTextStream(stderr) << "fxhost " << command << ": " << message << "\n";
    return code;
}

CommandSupport::QuietStdout::QuietStdout()
{
    std::cout.flush();
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY);
    m_saved = null < 0 ? -1 : dup(STDOUT_FILENO);
    if (m_saved >= 0)
        dup2(null, STDOUT_FILENO);
    if (null >= 0)
        close(null);
}

CommandSupport::QuietStdout::~QuietStdout()
{
    std::cout.flush();
    std::fflush(stdout);
    if (m_saved < 0)
        return;
    dup2(m_saved, STDOUT_FILENO);
    close(m_saved);
}
