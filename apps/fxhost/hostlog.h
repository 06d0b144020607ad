#ifndef HOSTLOG_H
#define HOSTLOG_H

// The engine writes trace lines to Qt's debug output. fxhost keeps them silent unless the user
// asks for them with --verbose; warnings and errors always reach stderr.
namespace HostLog {
void setup(bool verbose);
}

#endif
