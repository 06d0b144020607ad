#ifndef COMMANDSUPPORT_H
#define COMMANDSUPPORT_H

#include "hostio.h"

#include <QString>
#include <QStringList>

class QCommandLineParser;
class QImage;
class Recipe;

// What the list, preview, graph and info commands share: the --verbose / --quiet options,
// parsing with one clear line on a mistake, the picture to work on (a file or the built-in
// sample), writing a picture safely, and keeping the plug-in factory's start-up line off
// standard output.
namespace CommandSupport {
// The built-in sample's size when no INPUT is given.
constexpr int sampleWidth = 1200;
constexpr int sampleHeight = 800;

// Adds --verbose and --quiet (and --help).
void addCommonOptions(QCommandLineParser &parser);
// Parses the arguments of command; on --help prints the help and sets exitCode to 0, on a mistake prints one
// line to stderr and sets exitCode to 2; false in both cases (the command then returns
// exitCode). Otherwise sets up the engine's trace lines for --verbose.
bool parse(QCommandLineParser &parser, const QStringList &arguments, const char *command, int &exitCode);
// True when --quiet was given: informational lines are left out.
bool quiet(const QCommandLineParser &parser);
// Reads path, or makes the built-in sample when path is empty; false with a one-line reason.
bool loadInput(const QString &path, LoadedPicture &picture, QString &error);
// Adds --recipe FILE and --fx KEY[:param=value,...] (repeatable).
void addRecipeOptions(QCommandLineParser &parser);
// The recipe of --recipe with the effects of --fx appended; false with a one-line reason
// naming the file, the line or the effect.
bool readRecipe(const QCommandLineParser &parser, Recipe &recipe, QString &error);
// Writes image to path through a temporary file that is renamed when complete, format from
// the suffix; false with a one-line reason naming the file.
bool writeImage(const QImage &image, const QString &path, QString &error);
// Prints "fxhost <command>: <message>" on stderr and returns code.
int fail(const char *command, const QString &message, int code);

// Sends standard output to /dev/null while it lives: the plug-in factory announces itself
// there when a stack or a filter context is first made, which must not mix with what a
// command prints (JSON above all). Not nestable.
class QuietStdout {
public:
    QuietStdout();
    ~QuietStdout();
    QuietStdout(const QuietStdout &) = delete;
    QuietStdout &operator=(const QuietStdout &) = delete;

private:
    int m_saved = -1;
};
}

#endif
