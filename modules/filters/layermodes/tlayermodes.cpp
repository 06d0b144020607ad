#include "tlayermodes.h"

#include <algorithm>
#include <cmath>
#include <tinport.h>
#include <toutport.h>
#include <vector>

namespace {
// Rows between looks at the cancel flag.
constexpr int cancelRows = 64;

TSize halfSize(const TSize &size) { return TSize((size.width + 1) / 2, (size.height + 1) / 2); }

// The modes on the 0..1 scale, as functors so that the pixel loop is compiled once per mode.
struct NormalOp {
    float operator()(float, float b) const { return b; }
};
struct MultiplyOp {
    float operator()(float a, float b) const { return a * b; }
};
struct ScreenOp {
    float operator()(float a, float b) const { return 1.0f - (1.0f - a) * (1.0f - b); }
};
struct OverlayOp {
    float operator()(float a, float b) const { return a < 0.5f ? 2.0f * a * b : 1.0f - 2.0f * (1.0f - a) * (1.0f - b); }
};
struct SoftLightOp {
    float operator()(float a, float b) const { return (1.0f - 2.0f * b) * a * a + 2.0f * b * a; }
};
struct DarkenOp {
    float operator()(float a, float b) const { return std::min(a, b); }
};
struct LightenOp {
    float operator()(float a, float b) const { return std::max(a, b); }
};
struct DifferenceOp {
    float operator()(float a, float b) const { return std::fabs(a - b); }
};

template <typename Op>
void blendLumaRow(const unsigned short *a, const unsigned short *b, const unsigned char *m, float opacity, int width,
    unsigned short *out)
{
    const Op op;
    constexpr float scale = 1.0f / 65535.0f;
    const float maskScale = opacity / 255.0f;
    for (int x = 0; x < width; ++x) {
        const float va = a[x] * scale;
        const float w = m ? m[x] * maskScale : opacity;
        const float v = va + (op(va, b[x] * scale) - va) * w;
        out[x] = (unsigned short)(std::clamp(v, 0.0f, 1.0f) * 65535.0f + 0.5f);
    }
}

using LumaRowFn
    = void (*)(const unsigned short *, const unsigned short *, const unsigned char *, float, int, unsigned short *);

LumaRowFn lumaRowFor(int mode)
{
    switch (mode) {
    case TLayerModes::Multiply:
        return blendLumaRow<MultiplyOp>;
    case TLayerModes::Screen:
        return blendLumaRow<ScreenOp>;
    case TLayerModes::Overlay:
        return blendLumaRow<OverlayOp>;
    case TLayerModes::SoftLight:
        return blendLumaRow<SoftLightOp>;
    case TLayerModes::Darken:
        return blendLumaRow<DarkenOp>;
    case TLayerModes::Lighten:
        return blendLumaRow<LightenOp>;
    case TLayerModes::Difference:
        return blendLumaRow<DifferenceOp>;
    default:
        return blendLumaRow<NormalOp>;
    }
}

// The colour sample's weight: opacity times the mean of the mask pixels under its 2 x 2 block.
void colourWeights(const TImage *m, int row, int width, float opacity, float *w)
{
    if (!m) {
        std::fill(w, w + width, opacity);
        return;
    }
    const int y0 = 2 * row, y1 = std::min(2 * row + 1, m->height() - 1);
    const unsigned char *r0 = m->mat1().ptr<unsigned char>(y0);
    const unsigned char *r1 = m->mat1().ptr<unsigned char>(y1);
    const int rows = y1 - y0 + 1;
    for (int x = 0; x < width; ++x) {
        const int x0 = 2 * x, x1 = std::min(2 * x + 1, m->width() - 1);
        int sum = r0[x0] + (x1 != x0 ? r0[x1] : 0);
        if (rows == 2)
            sum += r1[x0] + (x1 != x0 ? r1[x1] : 0);
        const int count = rows * (x1 - x0 + 1);
        w[x] = opacity * float(sum) / (255.0f * float(count));
    }
}

void blendColourRow(const unsigned char *a, const unsigned char *b, const float *w, int width, unsigned char *out)
{
    for (int x = 0; x < width; ++x) {
        const float v = a[x] + (float(b[x]) - float(a[x])) * w[x];
        out[x] = (unsigned char)(std::clamp(v, 0.0f, 255.0f) + 0.5f);
    }
}
}

TLayerModes::TLayerModes(const QString &name, QObject *parent)
    : TFilterYC(name, parent)
    , m_inM_p(new TInport(this, QStringLiteral("inM"), TImage::M, true, nullptr))
    , m_inY2_p(new TInport(this, QStringLiteral("inY2"), TImage::Y, false, nullptr))
    , m_inC2_p(new TInport(this, QStringLiteral("inC2"), TImage::C, true, nullptr))
{
}

void TLayerModes::setMode(int mode)
{
    mode = std::clamp(mode, int(Normal), int(Difference));
    if (mode != m_mode) {
        m_mode = mode;
        m_bSettingsChanged = true;
    }
}

int TLayerModes::mode() const { return m_mode; }

void TLayerModes::setOpacity(float opacity)
{
    if (std::isnan(opacity))
        return;
    opacity = std::clamp(opacity, 0.0f, 1.0f);
    if (opacity != m_opacity) {
        m_opacity = opacity;
        m_bSettingsChanged = true;
    }
}

float TLayerModes::opacity() const { return m_opacity; }

QString TLayerModes::check(const TImage *y, const TImage *y2, const TImage *m, const TImage *c, const TImage *c2) const
{
    if (!y || !y2)
        return QStringLiteral("TLayerModes: inY and inY2 need images");
    if (y->size() != y2->size())
        return QStringLiteral("TLayerModes: the layer's luminance size differs from the base's");
    if (m && m->size() != y->size())
        return QStringLiteral("TLayerModes: the mask's size differs from the luminance size");
    if (bool(c) != bool(c2))
        return QStringLiteral("TLayerModes: colour needs images at both inC and inC2");
    if (c && (c->size() != c2->size() || c->size() != halfSize(y->size())))
        return QStringLiteral("TLayerModes: the colour sizes differ from half the luminance size");
    return QString();
}

bool TLayerModes::blendLuma(const TImage &y, const TImage &y2, const TImage *m, TImage &out)
{
    out.resize(y.size());
    const LumaRowFn row = lumaRowFor(m_mode);
    for (int r = 0; r < y.height(); ++r) {
        if (r % cancelRows == 0 && m_cancel)
            return false;
        row(y.mat1().ptr<unsigned short>(r), y2.mat1().ptr<unsigned short>(r),
            m ? m->mat1().ptr<unsigned char>(r) : nullptr, m_opacity, y.width(), out.mat1().ptr<unsigned short>(r));
    }
    out.markWritten();
    return true;
}

bool TLayerModes::blendColour(const TImage &c, const TImage &c2, const TImage *m, TImage &out)
{
    out.resize(c.size());
    std::vector<float> weights(size_t(std::max(c.width(), 1)));
    for (int r = 0; r < c.height(); ++r) {
        if (r % cancelRows == 0 && m_cancel)
            return false;
        colourWeights(m, r, c.width(), m_opacity, weights.data());
        blendColourRow(c.mat1().ptr<unsigned char>(r), c2.mat1().ptr<unsigned char>(r), weights.data(), c.width(),
            out.mat1().ptr<unsigned char>(r));
        blendColourRow(c.mat2().ptr<unsigned char>(r), c2.mat2().ptr<unsigned char>(r), weights.data(), c.width(),
            out.mat2().ptr<unsigned char>(r));
    }
    out.markWritten();
    return true;
}

QString TLayerModes::proc()
{
    const TImage *y = m_inY_p->imagePtr();
    const TImage *y2 = m_inY2_p->imagePtr();
    const TImage *m = m_inM_p->imagePtr();
    const TImage *c = m_inC_p->imagePtr();
    const TImage *c2 = m_inC2_p->imagePtr();
    // Empty images count as absent: a source that has nothing yet is no reason to fail.
    m = m && !m->bEmpty() ? m : nullptr;
    c = c && !c->bEmpty() ? c : nullptr;
    c2 = c2 && !c2->bEmpty() ? c2 : nullptr;
    const QString error = check(y, y2, m, c, c2);
    if (!error.isEmpty())
        return error;
    if (!m_bSettingsChanged && !bInsChanged())
        return QString();
    bool bDone = true;
    if (TImage *outY = m_outY_p->imagePtrMod())
        bDone = blendLuma(*y, *y2, m, *outY);
    if (TImage *outC = m_outC_p->imagePtrMod(); bDone && outC) {
        if (c)
            bDone = blendColour(*c, *c2, m, *outC);
        else if (!outC->bEmpty()) {
            outC->resize(TSize(0, 0));
            outC->markWritten();
        }
    }
    if (!bDone) {
        m_cancel = false;
        return QStringLiteral("UC TLayerModes: cancelled");
    }
    m_bSettingsChanged = false;
    setProccessed();
    return QString();
}
