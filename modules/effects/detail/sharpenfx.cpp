#include "sharpenfx.h"

#include "fxpixelmodel.h"
#include "fxwide.h"

#include <cmath>
#include <planepool.h>

namespace {
// The blur runs in strips narrow enough for its ring of rows to stay within this many bytes,
// well inside the second-level cache; a small kernel covers whole rows at once.
constexpr int ringBytes = 256 * 1024;

// One row of the unsharp mask. The threshold fades a detail d by d^2 / (d^2 + t^2), so small
// details vanish smoothly and large ones pass almost whole. The addition a is then limited to
// the room r left towards white (or black) by a * r / sqrt(r^2 + a^2): slope one for small
// additions, never more than r, so overshoot bends into white instead of clipping at it.
FX_WIDE void sharpenRow(const unsigned short *src, const float *blurred, unsigned short *__restrict dst, int cols,
    float amount, float thresholdSquared)
{
    for (int x = 0; x < cols; ++x) {
        const float value = src[x];
        float detail = value - blurred[x];
        const float detailSquared = detail * detail;
        // The tiny constant keeps 0 / 0 away when there is no threshold.
        detail *= detailSquared / (detailSquared + thresholdSquared + 1e-20f);
        const float addition = amount * detail;
        const float room = (addition > 0.0f ? FxPixel::maxSample - value : value) + 1.0f;
        const float limited = addition * room / std::sqrt(room * room + addition * addition);
        const float result = value + limited;
        dst[x] = static_cast<unsigned short>(std::min(std::max(result, 0.0f), FxPixel::maxSample) + 0.5f);
    }
}
}

SharpenFx::SharpenFx(const QString &key, QObject *parent)
    : TCatalogueFullFx(key, parent)
{
    m_amount_p = addFloat(QStringLiteral("amount"), tr("Amount"),
        tr("How strongly edges and fine detail are emphasised; 0 leaves the picture as it is"), 0.0f, 0.0f, 3.0f);
    m_radius_p = addFloat(QStringLiteral("radius"), tr("Radius"),
        tr("The size of the detail that is sharpened, in pixels of the full picture"), 1.0f, 0.3f, 5.0f);
    m_threshold_p = addFloat(QStringLiteral("threshold"), tr("Threshold"),
        tr("Leaves details fainter than this alone, so that noise in smooth areas is not sharpened"), 0.0f, 0.0f, 0.2f);
}

bool SharpenFx::procLevel(const TPImage &work, TPImage &eff, const TLevelGeometry &geometry)
{
    eff.m_c1 = work.m_c1;
    eff.m_c2 = work.m_c2;
    const cv::Mat &lum = work.m_lum;
    if (lum.empty()) {
        eff.m_lum = cv::Mat();
        return true;
    }
    const float amount = m_amount_p->value();
    const float threshold = m_threshold_p->value() * FxPixel::maxSample;
    const std::vector<float> taps = SeparableGaussian::bandLimitedTaps(geometry.toLuma(m_radius_p->value()));
    PlanePool::createOwned(eff.m_lum, lum.rows, lum.cols, CV_16UC1);
    const int ringRows = 2 * int(taps.size()) - 1;
    const int stripWidth = std::max(256, ringBytes / (ringRows * int(sizeof(float))));
    const int strips = (lum.cols + stripWidth - 1) / stripWidth;
    for (int strip = 0; strip < strips; ++strip) {
        const int firstCol = strip * stripWidth, cols = std::min(stripWidth, lum.cols - firstCol);
        m_blur.start(lum, taps, firstCol, cols);
        for (int y = 0; y < lum.rows; ++y) {
            sharpenRow(lum.ptr<unsigned short>(y) + firstCol, m_blur.blurredRow(y),
                eff.m_lum.ptr<unsigned short>(y) + firstCol, cols, amount, threshold * threshold);
            if (y % 256 == 255 && !bGoOn(strip * lum.rows + y, strips * lum.rows))
                return false;
        }
    }
    return true;
}
