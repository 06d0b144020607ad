#ifndef TESTREGISTRY_H
#define TESTREGISTRY_H

#include <QObject>

#include <functional>
#include <vector>

// Lets one test executable per subsystem hold several Qt Test classes, one per file:
// each file registers its class with FX_REGISTER_TEST and the shared main runs them all.
namespace TestRegistry {
using Factory = std::function<QObject *()>;
int add(const char *name, Factory factory);
int runAll(int argc, char **argv);
}

#define FX_REGISTER_TEST(Class)                                                                                        \
    static const int fxRegistered##Class = TestRegistry::add(#Class, [] { return new Class; });

#endif
