#ifndef TRACECAPTURE_H
#define TRACECAPTURE_H

#include <QString>
#include <QStringList>

// Collects the debug lines written while it lives (engine trace lines among them).
// Not nestable; one at a time.
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();

    const QStringList &lines() const;
    // Lines that contain text.
    QStringList matching(const QString &text) const;
    int count(const QString &text) const { return matching(text).size(); }
    void clear();
};

#endif
