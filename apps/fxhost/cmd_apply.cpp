// fxhost apply: runs a recipe (and effects given on the command line) over pictures at full
// resolution and writes the results, serially or in worker processes.

#include "commands.h"
#include "hostio.h"
#include "hostlog.h"
#include "hostoutput.h"
#include "hostprogress.h"
#include "recipe.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QSaveFile>
#include <QSet>
#include <QTimer>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <tcms.h>
#include <tfxcommondata.h>
#include <tfxstack.h>
#include <tim.h>
#include <unistd.h>
#include <vector>

namespace {
// The built-in sample's size when no input is given.
const QSize sampleSize(1800, 1200);

struct Settings {
    Recipe recipe;
    OutputProfile profile;
    int depth = 8;
    int quality = -1;
    int jobs = 1;
    bool overwrite = false;
    bool quiet = false;
    bool verbose = false;
    bool sideBySide = false;
    bool worker = false;
    QString saveRecipe;
    QString outputDir; // made before writing when several inputs go to a new folder
    // What a worker process needs to redo the same run on one file.
    QStringList forwarded;
};

struct Job {
    QString input; // empty: the built-in sample
    QString output;
};

void printLine(const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); }

int usageError(const QString &line)
{
    printLine(QStringLiteral("fxhost apply: ") + line);
    return Commands::UsageError;
}

// Sends one of the process's output streams to /dev/null while it lives. The plug-in factory
// announces itself on stdout when the first stack is made, and libpng prints its errors on
// stderr itself; both are noise beside fxhost's own one line per file, so they only show with
// --verbose.
class Silenced {
public:
    Silenced(int fd, bool silence)
        : m_fd(fd)
    {
        if (!silence)
            return;
        std::fflush(fd == STDOUT_FILENO ? stdout : stderr);
        const int null = ::open("/dev/null", O_WRONLY);
        m_saved = null < 0 ? -1 : ::dup(fd);
        if (m_saved >= 0)
            ::dup2(null, fd);
        if (null >= 0)
            ::close(null);
    }
    ~Silenced()
    {
        if (m_saved < 0)
            return;
        std::fflush(m_fd == STDOUT_FILENO ? stdout : stderr);
        ::dup2(m_saved, m_fd);
        ::close(m_saved);
    }
    Silenced(const Silenced &) = delete;
    Silenced &operator=(const Silenced &) = delete;

private:
    int m_fd;
    int m_saved = -1;
};

struct Options {
    QCommandLineOption output { { "o", "output" }, "The output file, or the folder for several inputs.", "OUTPUT" };
    QCommandLineOption recipe { "recipe", "The recipe to apply (docs/recipes.md).", "FILE" };
    QCommandLineOption fx { "fx", "An effect to append after the recipe's; may be repeated.", "KEY[:param=value,...]" };
    QCommandLineOption iccOut { "icc-out",
        "The output's colour space: sRGB (default), AdobeRGB, ProPhoto or an ICC file.", "PROFILE", "sRGB" };
    QCommandLineOption depth { "depth", "Bits per channel of the output: 8 (default) or 16 (PNG, TIFF).", "BITS", "8" };
    QCommandLineOption quality { "quality", "Quality of lossy outputs (JPEG, WebP), 0 to 100.", "N" };
    QCommandLineOption format { "format",
        "Suffix of the outputs written into a folder (default: the input's, or png where that type cannot "
        "be written).",
        "SUFFIX" };
    QCommandLineOption jobs { "jobs", "How many pictures to process at once, each in a process of its own.", "N", "1" };
    QCommandLineOption saveRecipe { "save-recipe", "Also writes the recipe of the stack that ran.", "FILE" };
    QCommandLineOption overwrite { "overwrite", "Replace existing output files." };
    QCommandLineOption quiet { "quiet", "No progress bar and no summary lines." };
    QCommandLineOption verbose { "verbose", "Show the engine's trace lines." };
    QCommandLineOption sideBySide { "side-by-side", "Write the picture before and after the effects side by side." };
    // One picture for a parent that runs several at once; not for people.
    QCommandLineOption worker { "worker" };
    Options() { worker.setFlags(QCommandLineOption::HiddenFromHelp); }
};

bool readNumber(const QString &text, int lowest, int highest, int &value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value >= lowest && value <= highest;
}

bool readRecipe(const QCommandLineParser &parser, const Options &o, Settings &s, QString &error)
{
    if (parser.isSet(o.recipe)) {
        const QString path = parser.value(o.recipe);
        QFile file(path);
        if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("%1: cannot read the recipe (%2)")
                        .arg(path, QFileInfo(path).isDir() ? QStringLiteral("a directory") : file.errorString());
            return false;
        }
        if (!Recipe::fromJson(file.readAll(), s.recipe, error)) {
            error = path + QStringLiteral(": ") + error;
            return false;
        }
    }
    for (const QString &fxText : parser.values(o.fx)) {
        if (!s.recipe.addFx(fxText, error))
            return false;
    }
    return true;
}

bool readSettings(const QCommandLineParser &parser, const Options &o, Settings &s, QString &error)
{
    if (!readNumber(parser.value(o.depth), 8, 16, s.depth) || (s.depth != 8 && s.depth != 16))
        return error = QStringLiteral("--depth must be 8 or 16"), false;
    if (parser.isSet(o.quality) && !readNumber(parser.value(o.quality), 0, 100, s.quality))
        return error = QStringLiteral("--quality must be a whole number from 0 to 100"), false;
    if (!readNumber(parser.value(o.jobs), 1, 256, s.jobs))
        return error = QStringLiteral("--jobs must be a whole number from 1 to 256"), false;
    s.overwrite = parser.isSet(o.overwrite);
    s.quiet = parser.isSet(o.quiet);
    s.verbose = parser.isSet(o.verbose);
    s.sideBySide = parser.isSet(o.sideBySide);
    s.worker = parser.isSet(o.worker);
    s.saveRecipe = parser.value(o.saveRecipe);
    if (!HostOutput::profile(parser.value(o.iccOut), s.profile, error))
        return false;
    if (parser.isSet(o.recipe))
        s.forwarded << "--recipe" << parser.value(o.recipe);
    for (const QString &fxText : parser.values(o.fx))
        s.forwarded << "--fx" << fxText;
    s.forwarded << "--icc-out" << parser.value(o.iccOut) << "--depth" << QString::number(s.depth);
    if (s.quality >= 0)
        s.forwarded << "--quality" << QString::number(s.quality);
    for (const auto *flag : { &o.overwrite, &o.verbose, &o.sideBySide })
        if (parser.isSet(*flag))
            s.forwarded << "--" + flag->names().constFirst();
    return readRecipe(parser, o, s, error);
}

// The name of input's result in the output folder: the input's own name, with suffix when given;
// PNG stands in for types Qt cannot write, or not at that depth, and for inputs without a type
// (whose failure to load is then reported for that file alone).
QString outputName(const QString &input, const QString &suffix, int depth)
{
    const QFileInfo in(input.isEmpty() ? QStringLiteral("sample.png") : input);
    if (!suffix.isEmpty())
        return in.completeBaseName() + "." + suffix;
    QString unused;
    if (!HostOutput::format(in.fileName(), depth, unused).isEmpty())
        return in.fileName();
    return (in.suffix().isEmpty() ? in.fileName() : in.completeBaseName()) + QStringLiteral(".png");
}

// Where each input goes: -o itself for one picture (inside it when it is a folder), a file of
// the input's name inside the -o folder for several.
bool planJobs(const QStringList &inputs, const QString &output, const QString &suffix, Settings &s, QList<Job> &jobs,
    QString &error)
{
    const QFileInfo target(output);
    const bool several = inputs.size() > 1;
    if (several && target.exists() && !target.isDir())
        return error = QStringLiteral("%1: several inputs need -o to be a folder").arg(output), false;
    const bool intoFolder = several || target.isDir();
    if (several && !target.exists())
        s.outputDir = output;
    const QStringList sources = inputs.isEmpty() ? QStringList { QString() } : inputs;
    QSet<QString> taken;
    for (const QString &input : sources) {
        QString path = output;
        if (intoFolder)
            path = QDir(output).filePath(outputName(input, suffix, s.depth));
        if (taken.contains(QFileInfo(path).absoluteFilePath()))
            return error = QStringLiteral("%1: two inputs would be written to the same file").arg(path), false;
        taken.insert(QFileInfo(path).absoluteFilePath());
        if (HostOutput::format(path, s.depth, error).isEmpty())
            return false;
        jobs.append({ input, path });
    }
    return true;
}

// Builds the stack once on a small picture, so that mistakes only the plug-ins can find
// (unknown effect keys and parameters, values out of range) stop the run before anything is
// written.
bool checkRecipe(const Settings &s, TfxStack &stack, QString &error)
{
    const LoadedPicture probe = HostIo::sample(64, 48);
    TCMS cms;
    TFxCommonData source;
    if (!HostIo::setup(probe, source, cms, error))
        return false;
    stack.setInImage(&source.image());
    stack.setCommonData(&source);
    const bool ok = s.recipe.apply(stack, probe.image.size(), error);
    stack.setInImage(nullptr);
    stack.setCommonData(nullptr);
    return ok;
}

HostOutput::Outcome saveRecipe(const Settings &s, const TfxStack &stack, QString &error)
{
    if (!s.overwrite && QFileInfo::exists(s.saveRecipe)) {
        error = QStringLiteral("%1: exists already (--overwrite replaces it)").arg(s.saveRecipe);
        return HostOutput::Failed;
    }
    QSaveFile file(s.saveRecipe);
    if (!file.open(QIODevice::WriteOnly) || file.write(s.recipe.captured(stack).toJson()) < 0 || !file.commit()) {
        error = QStringLiteral("%1: cannot write the recipe (%2)").arg(s.saveRecipe, file.errorString());
        return HostOutput::Failed;
    }
    return HostOutput::Written;
}

// Runs the stack at full resolution; the progress slot is where Ctrl-C cancels the pass.
bool runStack(TfxStack &stack, HostProgress &progress, const QString &label)
{
    progress.start(label, stack.numTFxs());
    std::vector<QMetaObject::Connection> connections;
    for (int i = 0; i < stack.numTFxs(); ++i)
        connections.push_back(
            QObject::connect(stack.tfxPtr(i), &TFx::progress, [&progress, i](int) { progress.setEffect(i); }));
    connections.push_back(QObject::connect(&stack, &TFx::progress, [&stack, &progress](int thousandths) {
        if (HostInterrupt::requested())
            stack.cancelProc();
        progress.update(thousandths);
    }));
    stack.procOutput({ TIm::CImFull });
    for (const QMetaObject::Connection &connection : connections)
        QObject::disconnect(connection);
    progress.clear();
    return !HostInterrupt::requested();
}

HostOutput::Outcome processOne(const Job &job, const Settings &s, HostProgress &progress, QString &error)
{
    const QString name = job.input.isEmpty() ? QStringLiteral("sample") : job.input;
    if (!s.overwrite && QFileInfo::exists(job.output)) {
        error = QStringLiteral("%1: exists already (--overwrite replaces it)").arg(job.output);
        return HostOutput::Failed;
    }
    LoadedPicture picture;
    if (job.input.isEmpty())
        picture = HostIo::sample(sampleSize.width(), sampleSize.height());
    else {
        const Silenced silenced(STDERR_FILENO, !s.verbose);
        if (!HostIo::load(job.input, picture, error))
            return HostOutput::Failed;
    }
    if (HostInterrupt::requested())
        return HostOutput::Interrupted;
    TCMS cms;
    TFxCommonData source;
    if (!HostIo::setup(picture, source, cms, error))
        return HostOutput::Failed;
    TfxStack stack(QStringLiteral("stack"), nullptr);
    stack.setInImage(&source.image());
    stack.setCommonData(&source);
    if (!s.recipe.apply(stack, picture.image.size(), error)) {
        error = name + QStringLiteral(": ") + error;
        return HostOutput::Failed;
    }
    if (!runStack(stack, progress, QFileInfo(name).fileName()))
        return HostOutput::Interrupted;
    const TIm *result = stack.outImagePtr();
    if (!result || result->bEmpty(TIm::CImFull)) {
        error = QStringLiteral("%1: the effects produced no picture").arg(name);
        return HostOutput::Failed;
    }
    const TPImage *before = s.sideBySide ? source.image().ptr(TIm::CImFull) : nullptr;
    const QImage image = HostOutput::render(*result->ptr(TIm::CImFull), before, s.profile, s.depth);
    if (image.isNull()) {
        error = QStringLiteral("%1: the result could not be converted to %2").arg(name, s.profile.name);
        return HostOutput::Failed;
    }
    if (HostInterrupt::requested())
        return HostOutput::Interrupted;
    return HostOutput::write(image, job.output, s.quality, s.overwrite, &HostInterrupt::requested, error);
}

int runSerial(const QList<Job> &jobs, const Settings &s, int &failures)
{
    HostProgress progress(!s.quiet && !s.worker && ::isatty(STDERR_FILENO));
    for (const Job &job : jobs) {
        QElapsedTimer timer;
        timer.start();
        QString error;
        const HostOutput::Outcome outcome = processOne(job, s, progress, error);
        if (outcome == HostOutput::Interrupted)
            return Commands::Interrupted;
        if (outcome == HostOutput::Failed) {
            printLine(error);
            ++failures;
        } else if (!s.quiet) {
            std::printf("%s: written (%d-bit, %s) in %.2f s\n", qPrintable(job.output), s.depth,
                qPrintable(s.profile.name), timer.elapsed() / 1000.0);
            std::fflush(stdout);
        }
    }
    return Commands::Success;
}

// Several pictures at once, each in a process of this program running the same settings on
// one file: the engine runs one stack per thread, so processes are how a batch uses more cores.
class WorkerPool {
public:
    WorkerPool(const QList<Job> &jobs, const Settings &s)
        : m_jobs(jobs)
        , m_settings(s)
        , m_progress(!s.quiet && ::isatty(STDERR_FILENO))
    {
    }

    int run(int &failures)
    {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [this] { checkInterrupt(); });
        poll.start(50);
        m_progress.start(QStringLiteral("%1 pictures").arg(m_jobs.size()), m_jobs.size());
        launch();
        if (m_running > 0)
            m_loop.exec();
        m_progress.clear();
        failures += m_failures;
        return m_interrupted ? Commands::Interrupted : Commands::Success;
    }

private:
    void launch()
    {
        while (!m_interrupted && m_running < m_settings.jobs && m_next < m_jobs.size())
            start(m_next++);
        if (m_running == 0)
            m_loop.quit();
    }

    void start(int index)
    {
        const Job &job = m_jobs.at(index);
        auto *process = new QProcess;
        m_processes.emplace_back(process);
        if (m_settings.verbose)
            process->setProcessChannelMode(QProcess::ForwardedOutputChannel);
        else
            process->setStandardOutputFile(QProcess::nullDevice());
        QObject::connect(process, &QProcess::readyReadStandardError, [this, process] { forward(process); });
        QObject::connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
            [this, process, index](int code, QProcess::ExitStatus status) { finished(process, index, code, status); });
        QObject::connect(process, &QProcess::errorOccurred, [this, process, index](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                finished(process, index, -1, QProcess::CrashExit);
        });
        QStringList arguments { "apply", "--worker", "--quiet", "-o", m_jobs.at(index).output };
        arguments << m_settings.forwarded;
        if (!job.input.isEmpty())
            arguments << "--" << job.input;
        ++m_running;
        process->start(QCoreApplication::applicationFilePath(), arguments);
    }

    void forward(QProcess *process)
    {
        const QByteArray text = process->readAllStandardError();
        if (text.isEmpty())
            return;
        m_progress.clear();
        std::fwrite(text.constData(), 1, std::size_t(text.size()), stderr);
        std::fflush(stderr);
    }

    void finished(QProcess *process, int index, int code, QProcess::ExitStatus status)
    {
        forward(process);
        --m_running;
        const Job &job = m_jobs.at(index);
        const QString name = job.input.isEmpty() ? QStringLiteral("sample") : job.input;
        if (m_interrupted || HostInterrupt::requested()) {
            // Stopped on purpose; the worker removed what it had not finished.
        } else if (status == QProcess::CrashExit) {
            printLine(
                QStringLiteral("%1: the worker process stopped unexpectedly (%2)").arg(name, process->errorString()));
            ++m_failures;
        } else if (code != Commands::Success) {
            // The worker has named the failure on stderr.
            ++m_failures;
        } else if (!m_settings.quiet) {
            m_progress.clear();
            std::printf("%s: written (%d-bit, %s)\n", qPrintable(job.output), m_settings.depth,
                qPrintable(m_settings.profile.name));
            std::fflush(stdout);
        }
        m_progress.setEffect(++m_done - 1);
        m_progress.update(1000);
        launch();
    }

    // The signal handler cannot talk to child processes; the pool passes Ctrl-C on from here.
    void checkInterrupt()
    {
        if (m_interrupted || !HostInterrupt::requested())
            return;
        m_interrupted = true;
        for (const auto &process : m_processes)
            if (process->state() != QProcess::NotRunning)
                process->terminate();
    }

    const QList<Job> &m_jobs;
    const Settings &m_settings;
    HostProgress m_progress;
    QEventLoop m_loop;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    int m_next = 0;
    int m_running = 0;
    int m_done = 0;
    int m_failures = 0;
    bool m_interrupted = false;
};

int apply(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Applies a recipe and effects to pictures (the built-in sample without INPUT) and writes "
                       "the results. Exit codes: 0 done, 1 some picture failed, 2 usage error, 130 interrupted."));
    const Options o;
    parser.addOptions({ o.output, o.recipe, o.fx, o.iccOut, o.depth, o.quality, o.format, o.jobs, o.saveRecipe,
        o.overwrite, o.quiet, o.verbose, o.sideBySide, o.worker });
    const QCommandLineOption help = parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("apply"), QStringLiteral("The command."), QStringLiteral("apply"));
    parser.addPositionalArgument(
        QStringLiteral("INPUT"), QStringLiteral("Pictures to edit."), QStringLiteral("[INPUT...]"));
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        std::printf("%s", qPrintable(parser.helpText()));
        return Commands::Success;
    }
    Settings s;
    QString error;
    HostLog::setup(parser.isSet(o.verbose));
    // Qt's ICC reader complains about every broken profile it meets; fxhost names the file in a
    // line of its own instead.
    if (!parser.isSet(o.verbose))
        QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.icc=false"));
    if (!parser.isSet(o.output))
        return usageError(QStringLiteral("-o OUTPUT is needed"));
    QList<Job> jobs;
    if (!readSettings(parser, o, s, error)
        || !planJobs(parser.positionalArguments(), parser.value(o.output), parser.value(o.format), s, jobs, error))
        return usageError(error);
    HostInterrupt::install();
    std::unique_ptr<TfxStack> probe;
    {
        const Silenced silenced(STDOUT_FILENO, !s.verbose);
        probe = std::make_unique<TfxStack>(QStringLiteral("probe"), nullptr);
    }
    if (!checkRecipe(s, *probe, error))
        return usageError(error);
    int failures = 0;
    if (!s.saveRecipe.isEmpty() && saveRecipe(s, *probe, error) != HostOutput::Written) {
        printLine(error);
        ++failures;
    }
    if (!s.outputDir.isEmpty() && !QDir().mkpath(s.outputDir)) {
        printLine(QStringLiteral("%1: cannot make the folder").arg(s.outputDir));
        return Commands::SomeFileFailed;
    }
    const bool parallel = s.jobs > 1 && jobs.size() > 1 && !s.worker;
    const int code = parallel ? WorkerPool(jobs, s).run(failures) : runSerial(jobs, s, failures);
    if (code == Commands::Interrupted) {
        printLine(QStringLiteral("fxhost apply: interrupted; unfinished outputs were removed"));
        return code;
    }
    if (jobs.size() > 1 && !s.quiet && !s.worker)
        std::printf("%d of %d pictures written\n", int(jobs.size()) - failures, int(jobs.size()));
    return failures > 0 ? Commands::SomeFileFailed : Commands::Success;
}
}

FXHOST_COMMAND("apply", "Applies a recipe and effects to pictures and writes the results.", apply)
