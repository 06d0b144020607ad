#ifndef COMMANDS_H
#define COMMANDS_H

#include <QString>
#include <QStringList>

// fxhost's commands. Each lives in its own file (cmd_<name>.cpp) and registers itself with
// FXHOST_COMMAND(name, summary, function); the function parses its own options (arguments
// start with the program name, without the command) and returns the process's exit code.
namespace Commands {
enum ExitCode { Success = 0, SomeFileFailed = 1, UsageError = 2, Interrupted = 130 };

using Function = int (*)(const QStringList &arguments);
struct Command {
    const char *name;
    const char *summary;
    Function function;
};
// Registers a command; returns its number. Used by FXHOST_COMMAND at start-up.
int add(const Command &command);
// The commands in the order they registered.
const QList<Command> &all();
}

#define FXHOST_COMMAND(name, summary, function)                                                                        \
    static const int fxhostCommand_##function = Commands::add({ name, summary, function });

#endif
