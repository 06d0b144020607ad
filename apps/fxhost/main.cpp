// fxhost: edits photos from the command line with the engine and its plug-ins. The commands
// (list, apply, preview, graph, info) each live in a file of their own.

#include "commands.h"

#include <QCoreApplication>
#include <QList>
#include <QTextStream>

namespace {
QList<Commands::Command> &registry()
{
    static QList<Commands::Command> commands;
    return commands;
}

void usage(QTextStream &stream)
{
    stream << "Usage: fxhost COMMAND [options] [arguments]\n\nCommands:\n";
    for (const Commands::Command &command : Commands::all())
        stream << "  " << QString::fromLatin1(command.name).leftJustified(10) << command.summary << "\n";
    stream << "\nfxhost COMMAND --help describes a command's options.\n";
}
}

int Commands::add(const Command &command)
{
    registry().append(command);
    return registry().size();
}

const QList<Commands::Command> &Commands::all() { return registry(); }

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fxhost"));
    QStringList arguments = QCoreApplication::arguments();
    QTextStream out(stdout), err(stderr);
    if (arguments.size() < 2) {
        usage(err);
        return Commands::UsageError;
    }
    const QString name = arguments.takeAt(1);
    if (name == "--help" || name == "-h" || name == "help") {
        usage(out);
        return Commands::Success;
    }
    for (const Commands::Command &command : Commands::all()) {
        if (name == QLatin1String(command.name))
            return command.function(arguments);
    }
    err << "fxhost: unknown command \"" << name << "\"\n\n";
    usage(err);
    return Commands::UsageError;
}
