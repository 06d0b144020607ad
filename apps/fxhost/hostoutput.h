#ifndef HOSTOUTPUT_H
#define HOSTOUTPUT_H

#include <QByteArray>
#include <QImage>
#include <QString>
#include <functional>

class TPImage;

// The colour space results are written in: its name for messages and its ICC profile, which
// both converts the result and is embedded in the written file.
struct OutputProfile {
    QString name;
    QByteArray icc;
};

// Turning the stack's output into files: the conversion to the output profile at 8 or 16 bits
// per channel, and writing that never leaves a half-written or unwanted file behind.
namespace HostOutput {
enum Outcome { Written, Failed, Interrupted };

// --icc-out: "sRGB", "AdobeRGB", "ProPhoto" (the engine's own profiles) or an ICC file. False,
// with a line naming it, for a file that cannot be read or is not an RGB profile that can be
// embedded.
bool profile(const QString &request, OutputProfile &profile, QString &error);
// The QImageWriter format for path's suffix; empty, with a line naming the file, when it has no
// suffix Qt can write or when the format cannot hold depth bits per channel.
QByteArray format(const QString &path, int depth, QString &error);
// after in the output profile (depth 8: RGB32; depth 16: RGBX64), tagged with that profile.
// With before, the two side by side, before on the left. Null when the conversion failed.
QImage render(const TPImage &after, const TPImage *before, const OutputProfile &profile, int depth);
// Writes image to path through a temporary file in the same folder that only replaces path
// once complete, and only when stop() does not say otherwise by then. An existing path is kept
// (Failed, with a line) unless overwrite. quality (0-100, -1 for the default) is used by lossy
// formats only.
Outcome write(const QImage &image, const QString &path, int quality, bool overwrite, const std::function<bool()> &stop,
    QString &error);
}

#endif
