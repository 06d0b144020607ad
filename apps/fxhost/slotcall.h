#ifndef SLOTCALL_H
#define SLOTCALL_H

#include <QString>

class QObject;

// Calls a public slot of an object by name with arguments written as text, the way a user
// types them on the command line: "setGamma" with "2", "drawGradientMask" with
// "10,10,300,200,0". The text is split at commas and read to suit the slot's parameter types
// from its meta-object: int, uint, uchar, float, double, bool (true/false, 1/0), text, and a
// point as two numbers. Among overloads the first whose parameters the text fits is called.
namespace SlotCall {
enum class Result { Called, NoSuchSlot, BadValue };

// problem describes a NoSuchSlot or BadValue result in a few words (the accepted signatures).
Result call(QObject *object, const QString &slot, const QString &arguments, QString &problem);
}

#endif
