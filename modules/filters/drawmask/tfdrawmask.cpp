#include "tfdrawmask.h"

#include <algorithm>
#include <cstring>
#include <tinport.h>
#include <toutport.h>

namespace {
cv::Point_<int> toPoint(const QPoint &p) { return { p.x(), p.y() }; }

// An 8-bit colour difference (neutral 128) on the engine's 16-bit scale (neutral 32768), as
// an 8-bit value maps to 16 bits by x257.
cv::Mat colourPlane16(const cv::Mat &plane8, cv::Size size)
{
    cv::Mat out(size, CV_16UC1);
    if (plane8.empty() || plane8.size() != size || plane8.type() != CV_8UC1) {
        out.setTo(cv::Scalar(32768));
        return out;
    }
    for (int r = 0; r < size.height; ++r) {
        const unsigned char *src = plane8.ptr<unsigned char>(r);
        unsigned short *dst = out.ptr<unsigned short>(r);
        for (int x = 0; x < size.width; ++x)
            dst[x] = (unsigned short)std::clamp((int(src[x]) - 128) * 257 + 32768, 0, 65535);
    }
    return out;
}

// Copies an 8-bit plane into an M image of the plane's size and marks it written.
void copyPlane(const cv::Mat &plane, TImage &out)
{
    out.resize(TSize(plane.cols, plane.rows));
    for (int r = 0; r < plane.rows; ++r)
        std::memcpy(out.mat1().ptr(r), plane.ptr(r), size_t(plane.cols));
    out.markWritten();
}
}

TFDrawMask::TFDrawMask(const QString &name, QObject *parent)
    : TFilter(name, parent)
    , m_inY_p(new TInport(this, QStringLiteral("inY"), TImage::Y, false, nullptr))
    , m_inC_p(new TInport(this, QStringLiteral("inC"), TImage::C, true, nullptr))
    , m_inM_p(new TInport(this, QStringLiteral("inM"), TImage::M, true, nullptr))
    , m_outM_p(new TOutport(this, QStringLiteral("outM"), TImage::M, true))
{
}

TFDrawMask::~TFDrawMask() = default;

bool TFDrawMask::cancelled()
{
    if (!m_cancel)
        return false;
    m_cancel = false;
    return true;
}

void TFDrawMask::updatePicture(const TImage &luma, const TImage *colour)
{
    // The luminance is shared, not copied: the engine only reads it, and the matrix keeps
    // the pixels alive even when the producer later gives its image a new buffer.
    m_picture.m_lum = luma.mat1();
    const cv::Size half((luma.width() + 1) / 2, (luma.height() + 1) / 2);
    const bool bColour = colour && colour->size() == TSize(half.width, half.height);
    m_picture.m_c1 = colourPlane16(bColour ? colour->mat1() : cv::Mat(), half);
    m_picture.m_c2 = colourPlane16(bColour ? colour->mat2() : cv::Mat(), half);
    m_engine.setInImage(&m_picture, false);
}

TFDrawMask::Shown TFDrawMask::writeOutput(const TImage &luma, const TImage *mask, bool bInputsChanged)
{
    TImage *out = m_outM_p->imagePtrMod();
    const cv::Mat &drawn = m_engine.mask();
    // The engine drops its mask for a picture of another size, but an empty picture never
    // reaches it: its mask of the earlier picture must not be given for this one.
    if (!drawn.empty() && drawn.cols == luma.width() && drawn.rows == luma.height()) {
        if (out && (m_engine.m_changed || m_shown != Shown::Drawn || bInputsChanged))
            copyPlane(drawn, *out);
        return Shown::Drawn;
    }
    if (mask && !mask->bEmpty()) {
        if (out && (m_inM_p->changed() || m_shown != Shown::Passed))
            copyPlane(mask->mat1(), *out);
        return Shown::Passed;
    }
    if (out && (m_inY_p->changed() || m_shown != Shown::Full)) {
        out->resize(luma.size());
        if (!out->bEmpty())
            out->mat1().setTo(cv::Scalar(255));
        out->markWritten();
    }
    return Shown::Full;
}

QString TFDrawMask::proc()
{
    const TImage *luma = m_inY_p->imagePtr();
    if (!luma)
        return QStringLiteral("TFDrawMask: no image at inport inY");
    if (cancelled())
        return QStringLiteral("UC TFDrawMask: cancelled");
    const bool bInputsChanged = bInsChanged();
    if (!luma->bEmpty() && (m_inY_p->changed() || m_inC_p->changed() || m_picture.m_lum.data != luma->plane1()))
        updatePicture(*luma, m_inC_p->imagePtr());
    // Without a picture the engine keeps its commands for the first run that has one.
    if (!luma->bEmpty())
        m_engine.proc();
    if (cancelled())
        return QStringLiteral("UC TFDrawMask: cancelled");
    const TImage *mask = m_inM_p->imagePtr();
    m_shown = writeOutput(*luma, mask, bInputsChanged);
    setProccessed();
    return QString();
}

int TFDrawMask::brushStep(uint size, uint sizeIn)
{
    const uint m = std::max(size, sizeIn);
    int t = int((double(m) - double(sizeIn)) * 0.2 + double(sizeIn) * 0.4);
    if (t > 0 && uint(t) > m / 2)
        t = int(m / 2);
    return t < 1 ? 1 : t;
}

void TFDrawMask::setValue(uchar maskValue) { m_engine.cmdSetValue(maskValue); }

void TFDrawMask::invert() { m_engine.cmdInvert(); }

void TFDrawMask::undo() { m_engine.undo(); }

void TFDrawMask::redo() { m_engine.redo(); }

void TFDrawMask::snapshot() { m_engine.snapshot(); }

void TFDrawMask::setMaskBlendValue(uchar maskVal) { m_engine.setMaskBlendValue(maskVal); }

void TFDrawMask::setColorPicker(QPoint sP) { m_engine.cmdSetColorPicker(toPoint(sP)); }

void TFDrawMask::setBlendMode(int mode) { Q_UNUSED(mode) }

void TFDrawMask::setMaskBlendMode(int mode) { m_engine.setMaskBlendMode(mode); }

void TFDrawMask::drawGradientMask(QPoint sP, QPoint eP, int type)
{
    m_engine.cmdDrawGradientMask(toPoint(sP), toPoint(eP), type);
}

void TFDrawMask::drawVignetteMask(QPoint sP, float size, float feather, float roundness)
{
    Q_UNUSED(sP)
    Q_UNUSED(size)
    Q_UNUSED(feather)
    Q_UNUSED(roundness)
}

void TFDrawMask::drawStart() { m_engine.cmdDrawStart(); }

void TFDrawMask::drawADot(QPoint pos, uchar maskValue, int radius)
{
    m_engine.cmdDrawADot(toPoint(pos), maskValue, radius);
}

void TFDrawMask::drawADot(
    QPoint pos, uchar maskValue, int radius, int inRadius, float flow, bool bColorSensEnabled, bool bColorPickerEnabled)
{
    m_engine.cmdDrawADot(toPoint(pos), maskValue, radius, inRadius, flow, bColorSensEnabled, bColorPickerEnabled);
}

void TFDrawMask::drawEnd() { m_engine.cmdDrawEnd(); }

void TFDrawMask::drawSuperMask(
    QPoint centerPos, float size, float hardness, float featherSize, float colorAware, bool bInverted)
{
    m_engine.cmdDrawSuperMask(toPoint(centerPos), size, hardness, featherSize, colorAware, bInverted);
}

void TFDrawMask::postFilter(float featherRadius, float featherEps, float featherContrast, float featherStrength)
{
    m_engine.cmdPostFilter(featherRadius, featherEps, featherContrast, featherStrength);
}

void TFDrawMask::applyButtonClicked(bool bApply) { m_engine.applyButtonClicked(bApply); }

bool TFDrawMask::bDefault() const { return true; }

void TFDrawMask::reset() { m_engine.reset(); }

int TFDrawMask::numPresets() const { return 0; }

void TFDrawMask::applyPreset(int i) { Q_UNUSED(i) }
