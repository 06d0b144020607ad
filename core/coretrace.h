#ifndef CORETRACE_H
#define CORETRACE_H

// How the core library reports a rejected call (internal, not installed): one line to the
// debug hook, and false for the caller to return.
namespace CoreTrace {
bool fail(const char *where, int line, const char *text);
}

#endif
