#include "tparamdrawmask.h"

#include "kernels.h"
#include "tdrawmask.h"
#include "troi.h"

#include <algorithm>

namespace {
cv::Point_<int> toPoint(const QPoint &p) { return { p.x(), p.y() }; }
}

TParamDrawMask::TParamDrawMask(
    QObject *parent, const QString &key, const QString &name, const QString &desc, const QString &type, TDrawMask *mask)
    : TParam(parent, key, name, desc, type)
    , m_mask_p(mask)
{
}

void TParamDrawMask::emitDrawChangedSignal() { emit drawChanged(); }

int TParamDrawMask::brushStep(uint size, uint sizeIn)
{
    const uint m = std::max(size, sizeIn);
    int t = int((double(m) - double(sizeIn)) * 0.2 + double(sizeIn) * 0.4);
    if (t > 0 && uint(t) > m / 2)
        t = int(m / 2);
    return t < 1 ? 1 : t;
}

void TParamDrawMask::setValue(uchar maskValue)
{
    if (m_mask_p)
        m_mask_p->cmdSetValue(maskValue);
}

void TParamDrawMask::invert()
{
    if (m_mask_p)
        m_mask_p->cmdInvert();
}

void TParamDrawMask::undo()
{
    if (m_mask_p)
        m_mask_p->undo();
}

void TParamDrawMask::redo()
{
    if (m_mask_p)
        m_mask_p->redo();
}

void TParamDrawMask::snapshot()
{
    if (m_mask_p)
        m_mask_p->snapshot();
}

void TParamDrawMask::setMaskBlendValue(uchar maskVal)
{
    if (m_mask_p)
        m_mask_p->setMaskBlendValue(maskVal);
}

void TParamDrawMask::setColorPicker(QPoint sP)
{
    if (m_mask_p)
        m_mask_p->cmdSetColorPicker(toPoint(sP));
}

void TParamDrawMask::setBlendMode(int mode) { Q_UNUSED(mode) }

void TParamDrawMask::setMaskBlendMode(int mode)
{
    if (m_mask_p)
        m_mask_p->setMaskBlendMode(mode);
}

void TParamDrawMask::drawGradientMask(QPoint sP, QPoint eP, int type)
{
    if (m_mask_p)
        m_mask_p->cmdDrawGradientMask(toPoint(sP), toPoint(eP), type);
}

void TParamDrawMask::drawVignetteMask(QPoint sP, float size, float feather, float roundness)
{
    Q_UNUSED(sP)
    Q_UNUSED(size)
    Q_UNUSED(feather)
    Q_UNUSED(roundness)
}

void TParamDrawMask::drawStart()
{
    if (m_mask_p)
        m_mask_p->cmdDrawStart();
}

void TParamDrawMask::drawADot(QPoint pos, uchar maskValue, int radius)
{
    if (m_mask_p)
        m_mask_p->cmdDrawADot(toPoint(pos), maskValue, radius);
}

void TParamDrawMask::drawADot(
    QPoint pos, uchar maskValue, int radius, int inRadius, float flow, bool bColorSensEnabled, bool bColorPickerEnabled)
{
    if (m_mask_p)
        m_mask_p->cmdDrawADot(toPoint(pos), maskValue, radius, inRadius, flow, bColorSensEnabled, bColorPickerEnabled);
}

void TParamDrawMask::drawEnd()
{
    if (m_mask_p)
        m_mask_p->cmdDrawEnd();
}

void TParamDrawMask::drawSuperMask(
    QPoint centerPos, float size, float hardness, float featherSize, float colorAware, bool bInverted)
{
    if (m_mask_p)
        m_mask_p->cmdDrawSuperMask(toPoint(centerPos), size, hardness, featherSize, colorAware, bInverted);
}

void TParamDrawMask::postFilter(float featherRadius, float featherEps, float featherContrast, float featherStrength)
{
    if (m_mask_p)
        m_mask_p->cmdPostFilter(featherRadius, featherEps, featherContrast, featherStrength);
}

void TParamDrawMask::applyButtonClicked(bool bApply)
{
    if (m_mask_p)
        m_mask_p->applyButtonClicked(bApply);
}

bool TParamDrawMask::bDefault() const { return true; }

void TParamDrawMask::reset()
{
    if (m_mask_p)
        m_mask_p->reset();
}

int TParamDrawMask::numPresets() const { return 0; }

void TParamDrawMask::applyPreset(int i) { Q_UNUSED(i) }

QImage TParamDrawMask::getMask(const TRoi &roi, float value)
{
    // Reading a mask without an engine has nothing to read: an empty image, as for a mask
    // with nothing drawn.
    if (!m_mask_p)
        return QImage();
    TRoi clipped = roi;
    clipped.makeInside(m_mask_p->m_width, m_mask_p->m_height);
    const cv::Mat matrix = m_mask_p->getMaskRoi(
        cv::Rect_<int>(clipped.x(), clipped.y(), clipped.width(), clipped.height()), clipped.dec());
    QImage image(matrix.cols, matrix.rows, QImage::Format_Indexed8);
    if (!matrix.empty() && !image.isNull())
        blendC(
            matrix.data, int(matrix.step[0]), image.scanLine(0), image.bytesPerLine(), matrix.cols, matrix.rows, value);
    return image;
}
