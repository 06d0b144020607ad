#ifndef TESTREGISTRY_H
#define TESTREGISTRY_H

#include <QObject>
#include <functional>
#include <vector>

// Lets one test executable per subsystem hold several Qt Test classes, one per file: each
// file registers its class with FX_REGISTER_TEST, and the shared main hands every test
// function named on the command line to the class that declares it (so "tst_core fn" and
// "tst_core fn:tag" work as with a single class). -functions and -datatags list every class;
// a function name that no class has, or that two classes share, is an error. Qt Test's other
// options go to every class that runs.
namespace TestRegistry {
using Factory = std::function<QObject *()>;
int add(const char *name, const QMetaObject *meta, Factory factory);
int runAll(int argc, char **argv);
}

#define FX_REGISTER_TEST(Class)                                                                                        \
    static const int fxRegistered##Class                                                                               \
        = TestRegistry::add(#Class, &Class::staticMetaObject, [] { return new Class; });

#endif
