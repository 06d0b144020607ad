#ifndef HOSTPROGRESS_H
#define HOSTPROGRESS_H

#include <QString>

// Ctrl-C for a host that must clean up: the handler only raises a flag (SIGINT and SIGTERM),
// which the host polls where it can stop — in the stack's progress slot, which then cancels the
// pass, and between the steps of a file. A second signal ends the process at once.
namespace HostInterrupt {
void install();
bool requested();
}

// A one-line progress bar on stderr for the file being processed: which file of how many, and
// how far the stack's effects have got. Drawn only when enabled (stderr is a terminal and the
// user did not ask for quiet); otherwise every call does nothing.
class HostProgress {
public:
    explicit HostProgress(bool enabled);
    bool enabled() const { return m_enabled; }

    // A new file (or a new batch step): label names it, effects is how many effects run on it.
    void start(const QString &label, int effects);
    // The effect running now; progress never goes backwards within a file.
    void setEffect(int index);
    // The running effect's progress in thousandths.
    void update(int thousandths);
    // Clears the bar so that ordinary lines can follow.
    void clear();

private:
    void draw(double fraction);

    bool m_enabled;
    QString m_label;
    int m_effects = 0;
    int m_effect = 0;
    int m_shown = -1;
    double m_fraction = 0.0;
};

#endif
