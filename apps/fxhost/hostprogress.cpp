#include "hostprogress.h"

#include <QByteArray>
#include <algorithm>
#include <csignal>
#include <cstdio>

namespace {
volatile std::sig_atomic_t interruptFlag = 0;

// Only async-signal-safe work here: raise the flag, or give up at the second signal.
extern "C" void onSignal(int signal)
{
    if (interruptFlag) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    interruptFlag = 1;
}

constexpr int barWidth = 30;
}

void HostInterrupt::install()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Restart interrupted system calls: the host reacts to the flag, not to failing reads.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool HostInterrupt::requested() { return interruptFlag != 0; }

HostProgress::HostProgress(bool enabled)
    : m_enabled(enabled)
{
}

void HostProgress::start(const QString &label, int effects)
{
    m_label = label;
    m_effects = effects;
    m_effect = 0;
    m_shown = -1;
    m_fraction = 0.0;
    draw(0.0);
}

void HostProgress::setEffect(int index) { m_effect = std::clamp(index, 0, std::max(0, m_effects - 1)); }

void HostProgress::update(int thousandths)
{
    if (m_effects <= 0)
        return;
    const double within = std::clamp(thousandths, 0, 1000) / 1000.0;
    draw((m_effect + within) / m_effects);
}

void HostProgress::clear()
{
    if (!m_enabled || m_shown < 0)
        return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    m_shown = -1;
}

void HostProgress::draw(double fraction)
{
    m_fraction = std::max(m_fraction, fraction);
    const int percent = int(m_fraction * 100.0);
    if (!m_enabled || percent == m_shown)
        return;
    m_shown = percent;
    const int filled = percent * barWidth / 100;
    const QByteArray bar = QByteArray(filled, '#') + QByteArray(barWidth - filled, '-');
    std::fprintf(stderr, "\r\033[K%s [%s] %3d%%", m_label.toLocal8Bit().constData(), bar.constData(), percent);
    std::fflush(stderr);
}
