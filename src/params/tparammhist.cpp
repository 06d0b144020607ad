#include "tparammhist.h"

#include "fxtrace.h"
#include "mhist.h"
#include "tuid.h"

namespace {
// Hosts and scripts call setValue by name; the argument type must be known by this name.
const int stringTypeRegistered = qRegisterMetaType<std::string>("std::string");
}

TParamMHist::TParamMHist(
    QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type)
    : TParam(parent, key, name, desc, type)
    , m_mhist_p(new MHist)
{
    Q_UNUSED(stringTypeRegistered);
}

TParamMHist::~TParamMHist() = default;

int TParamMHist::numPresets() const { return 1; }

void TParamMHist::applyPreset(int) { }

bool TParamMHist::bDefault() const { return false; }

void TParamMHist::clean(int) { }

bool TParamMHist::setValue(std::string buf)
{
    // The stamp advances either way: the caller asked for a new histogram, and whoever
    // depends on it re-reads what the histogram now holds.
    if (!m_mhist_p->load(buf))
        FX_TRACE("TParamMHist::setValue", "histogram text rejected, previous content kept") << key();
    uid()->update();
    return true;
}
