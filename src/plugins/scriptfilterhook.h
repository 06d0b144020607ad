#ifndef SCRIPTFILTERHOOK_H
#define SCRIPTFILTERHOOK_H

//
//  W A R N I N G
//  -------------
//
// This header is the library's own and is not installed: the plug-in factory and the script
// filter meet through it.
//

class QObject;
class QScriptProgram;
class QString;
class TFilter;

// Builds a script filter around a program the factory keeps (the filter does not own it),
// with the given object name and Qt parent. May throw a C string as every filter constructor.
using ScriptFilterMaker = TFilter *(*)(QScriptProgram *program, const QString &name, QObject *parent);

// The factory makes script filters through the maker set here, so that the plug-in code does
// not depend on the filter graph. The script filter sets it when the library is loaded;
// without one the factory cannot make script filters and says so in a trace line.
void setScriptFilterMaker(ScriptFilterMaker maker);

#endif
