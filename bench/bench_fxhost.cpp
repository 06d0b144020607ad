// fxhost as a user runs it, on a 24 MP JPEG (the sample picture saved at quality 90):
//   - decoding the file and encoding it again with Qt alone, in this process: what any tool
//     that rewrites a JPEG pays;
//   - `fxhost apply` with the demo recipe, timed as a whole process: start-up, loading the
//     plug-ins, decoding, the engine's conversion in and out, the effects and encoding. Its
//     ratio to Qt alone shows the engine's share;
//   - `fxhost apply` with no effects at all, which leaves decoding, the conversions and
//     encoding;
//   - the split by effect: each of the recipe's effects alone (with its mask). Every iteration
//     also runs fxhost with no effects, so the counter effect_ms is the effect's own cost,
//     paired against a run made at the same moment.
// The time of a process is the wall clock, what a user waits; the counter cpu_ms is the
// processor time the process used (user and system), which other work on a busy machine
// disturbs far less, so effect_ms is worked out from it.

#include "benchratio.h"
#include "tsampleimage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>
#include <sys/resource.h>

namespace {

const int fullWidth = 6000;
const int fullHeight = 4000;
const int jpegQuality = 90;

// Used when the demo recipe is not beside the sources: the everyday effects, unmasked.
const char *fallbackRecipe = R"({"version": 1, "effects": [
    {"key": "Exposure", "params": {"exposure": 0.4}},
    {"key": "Tone", "params": {"shadows": 0.4, "highlights": -0.3}},
    {"key": "Colour", "params": {"vibrance": 0.3}},
    {"key": "Vignette", "params": {"amount": -0.3}}]})";

// The picture, the recipe and one recipe per effect, written once into a scratch folder.
struct Files {
    QTemporaryDir dir;
    QString input;
    QString recipe;
    QJsonArray effects;
    QString error; // set when the files could not be made
};

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray recipeText()
{
    QFile demo(QStringLiteral(FXHOST_DEMO_RECIPE));
    return demo.open(QIODevice::ReadOnly) ? demo.readAll() : QByteArray(fallbackRecipe);
}

QString makeFiles(Files &files)
{
    if (!files.dir.isValid())
        return QStringLiteral("cannot make a scratch folder");
    files.input = files.dir.filePath(QStringLiteral("input.jpg"));
    QImageWriter writer(files.input, "jpg");
    writer.setQuality(jpegQuality);
    if (!writer.write(TSampleImage::generate(fullWidth, fullHeight)))
        return QStringLiteral("cannot write the JPEG: ") + writer.errorString();
    const QByteArray text = recipeText();
    files.effects = QJsonDocument::fromJson(text).object().value(QStringLiteral("effects")).toArray();
    files.recipe = files.dir.filePath(QStringLiteral("recipe.json"));
    if (files.effects.isEmpty() || !writeFile(files.recipe, text))
        return QStringLiteral("cannot read or copy the recipe");
    for (int i = 0; i < files.effects.size(); ++i) {
        const QJsonObject single { { "version", 1 }, { "effects", QJsonArray { files.effects[i] } } };
        if (!writeFile(files.dir.filePath(QStringLiteral("effect%1.json").arg(i)), QJsonDocument(single).toJson()))
            return QStringLiteral("cannot write a one-effect recipe");
    }
    return QString();
}

Files &files()
{
    static Files made;
    static bool once = [] {
        made.error = makeFiles(made);
        return true;
    }();
    (void)once;
    return made;
}

QString outputPath() { return files().dir.filePath(QStringLiteral("out.jpg")); }

// Empty when fxhost can apply recipes; otherwise why not.
QString fxhostProblem()
{
    static const QString problem = [] {
        QProcess process;
        process.start(QStringLiteral(FXHOST_PATH), { QStringLiteral("--help") });
        if (!process.waitForFinished(-1))
            return QStringLiteral("cannot run " FXHOST_PATH);
        if (!QString::fromLocal8Bit(process.readAllStandardOutput()).contains(QLatin1String("\n  apply ")))
            return QStringLiteral("fxhost has no apply command");
        return QString();
    }();
    return problem;
}

// Processor seconds used by the finished child processes so far.
double childrenCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct ProcessTimes {
    double wall = -1.0; // negative when the run failed
    double cpu = 0.0;
};

// Runs `fxhost apply` on the JPEG with the given extra arguments and times the whole process;
// on failure the wall time is negative and `error` says why.
ProcessTimes runApply(const QStringList &extra, QString &error)
{
    QStringList arguments { QStringLiteral("apply"), files().input, QStringLiteral("-o"), outputPath(),
        QStringLiteral("--overwrite"), QStringLiteral("--quiet"), QStringLiteral("--quality"),
        QString::number(jpegQuality) };
    arguments += extra;
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    ProcessTimes times;
    const double cpuBefore = childrenCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral(FXHOST_PATH), arguments);
    const bool finished = process.waitForFinished(-1);
    const double wall = timer.nsecsElapsed() * 1e-9;
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        error = QStringLiteral("fxhost apply %1 (exit code %2): %3")
                    .arg(process.exitStatus() == QProcess::NormalExit ? "failed" : "crashed")
                    .arg(process.exitCode())
                    .arg(QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
        return times;
    }
    times.wall = wall;
    times.cpu = childrenCpuSeconds() - cpuBefore;
    return times;
}

// Skips the benchmark when there is nothing to run; true when it may go on.
bool ready(benchmark::State &state)
{
    QString problem = files().error;
    if (problem.isEmpty())
        problem = fxhostProblem();
    if (!problem.isEmpty())
        state.SkipWithError(qPrintable(problem));
    return problem.isEmpty();
}

void qtDecodeEncode(benchmark::State &state)
{
    if (!files().error.isEmpty()) {
        state.SkipWithError(qPrintable(files().error));
        return;
    }
    for (auto _ : state) {
        QImageReader reader(files().input);
        const QImage image = reader.read();
        QImageWriter writer(outputPath(), "jpg");
        writer.setQuality(jpegQuality);
        if (image.isNull() || !writer.write(image)) {
            state.SkipWithError("Qt could not decode or encode the JPEG");
            return;
        }
    }
}

void fxhostApply(benchmark::State &state, const QStringList &extra)
{
    if (!ready(state))
        return;
    double cpu = 0.0;
    for (auto _ : state) {
        QString error;
        const ProcessTimes times = runApply(extra, error);
        if (times.wall < 0.0) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        state.SetIterationTime(times.wall);
        cpu += times.cpu;
    }
    state.counters["cpu_ms"] = benchmark::Counter(cpu * 1e3, benchmark::Counter::kAvgIterations);
}

void fxhostRecipe(benchmark::State &state) { fxhostApply(state, { QStringLiteral("--recipe"), files().recipe }); }

void fxhostNoEffects(benchmark::State &state) { fxhostApply(state, {}); }

// One effect of the recipe alone: the time and cpu_ms are that run's, effect_ms the processor
// time it adds to a run with no effects made just before it.
void fxhostOneEffect(benchmark::State &state, int index)
{
    if (!ready(state))
        return;
    const QStringList single { QStringLiteral("--recipe"),
        files().dir.filePath(QStringLiteral("effect%1.json").arg(index)) };
    double cpu = 0.0;
    double added = 0.0;
    for (auto _ : state) {
        QString error;
        const ProcessTimes without = runApply({}, error);
        const ProcessTimes with = without.wall < 0.0 ? without : runApply(single, error);
        if (with.wall < 0.0) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        state.SetIterationTime(with.wall);
        cpu += with.cpu;
        added += with.cpu - without.cpu;
    }
    state.counters["cpu_ms"] = benchmark::Counter(cpu * 1e3, benchmark::Counter::kAvgIterations);
    state.counters["effect_ms"] = benchmark::Counter(added * 1e3, benchmark::Counter::kAvgIterations);
}

// One benchmark per effect of the recipe, named after its place and key ("3_Exposure").
void registerEffects()
{
    const QJsonArray effects = files().effects;
    for (int i = 0; i < effects.size(); ++i) {
        const QJsonObject effect = effects[i].toObject();
        QString name = QStringLiteral("fxhost_apply/effect/%1_%2").arg(i + 1).arg(effect.value("key").toString());
        if (effect.value(QStringLiteral("masked")).toBool())
            name += QStringLiteral("_masked");
        benchmark::RegisterBenchmark(qPrintable(name), fxhostOneEffect, i)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
}

}

// A whole process takes a second or more, so the first iteration is enough for each
// repetition; its time is the wall clock (the waiting bench uses next to no processor time).
BENCHMARK(qtDecodeEncode)->Name("qt_decode_encode/6000x4000")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(fxhostRecipe)->Name("fxhost_apply/recipe/6000x4000")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(fxhostNoEffects)->Name("fxhost_apply/no_effects/6000x4000")->UseManualTime()->Unit(benchmark::kMillisecond);

FX_BENCH_RATIO("fxhost_apply/recipe/6000x4000/manual_time", "qt_decode_encode/6000x4000/real_time", 0.0)
FX_BENCH_RATIO("fxhost_apply/no_effects/6000x4000/manual_time", "qt_decode_encode/6000x4000/real_time", 0.0)
FX_BENCH_RATIO("fxhost_apply/recipe/6000x4000/manual_time", "fxhost_apply/no_effects/6000x4000/manual_time", 0.0)

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    registerEffects();
    if (!files().error.isEmpty())
        std::fprintf(stderr, "bench_fxhost: %s\n", qPrintable(files().error));
    return BenchRatio::main(argc, argv);
}
