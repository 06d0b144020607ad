#ifndef STUDIOTEST_H
#define STUDIOTEST_H

// What the editor's tests share.
#include "quietstdout.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <memory>

namespace StudioTest {
// A mouse event straight to the widget: QTest's moves go through the cursor, which reaches no
// widget on the offscreen platform, and carry no held button.
inline void sendMouse(QWidget *widget, QEvent::Type type, const QPoint &at, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// An object whose making starts the plug-in factory, which announces itself on standard output.
template <class T> std::unique_ptr<T> makeQuietly()
{
    QuietStdout quiet;
    return std::make_unique<T>();
}
}

#endif
