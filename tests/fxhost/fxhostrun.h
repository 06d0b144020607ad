#ifndef FXHOSTRUN_H
#define FXHOSTRUN_H

// Running the built fxhost from a test, as a user would: its own process, the offscreen
// platform, its exit code and both output streams.
#include "tsampleimage.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>
#include <cstdlib>

namespace FxhostRun {
// The sample fxhost uses without INPUT.
const QSize sampleSize(1200, 800);

struct Run {
    int exitCode = -1;
    QByteArray out, err;
};

inline Run fxhost(const QStringList &arguments, const QString &workingDir = QString())
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDir);
    process.start(QStringLiteral(FXHOST_PATH), arguments);
    Run run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        run.err = "fxhost did not finish normally";
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

inline QString describe(const Run &run)
{
    return QStringLiteral("exit %1, stdout: %2, stderr: %3")
        .arg(run.exitCode)
        .arg(QString::fromUtf8(run.out.left(400)), QString::fromUtf8(run.err.left(400)));
}

inline QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The sample picture at a size of its own per file, so that a mix-up between files shows.
inline QString writeSample(const QDir &dir, const QString &name, int width, int height)
{
    const QString path = dir.filePath(name);
    TSampleImage::generate(width, height).save(path);
    return path;
}

// The mean difference of the two pictures' R, G and B values, in levels.
inline double meanAbsoluteDifference(const QImage &a, const QImage &b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}
}

#endif
