#ifndef TONEFX_H
#define TONEFX_H

#include "guidedfilter.h"
#include "tcataloguefx.h"

#include <array>
#include <vector>

// "Tone": contrast, highlights, shadows, whites and blacks, each -1..1.
// Contrast (an S-curve around mid-grey) and whites and blacks (the ends of the tonal range)
// are global curves. Highlights and shadows are local: they tone the picture's smooth base
// (an edge-aware smoothing of luminance made on a half-resolution plane, at a scale tied to
// the picture's size) and add the detail back, so small structures keep their contrast and
// strong edges get no halos. Colour differences follow the luminance gain of their block.
class ToneFx : public TCatalogueFullFx {
public:
    ToneFx(const QString &key, QObject *parent);

protected:
    bool procLevel(const TPImage &work, TPImage &eff, const TLevelGeometry &geometry) override;

private:
    // The global curves for the current parameters, rebuilt only when they changed.
    void updateGlobalTable();
    float globalTone(float v) const;
    // The half-resolution luminance of lum (0..1) and its edge-aware fit.
    bool fitBase(const cv::Mat &lum, const TLevelGeometry &geometry);
    // Full-resolution coefficients of the fit for luminance row y into m_rowA, m_rowB.
    void coefficientsOfRow(int y);
    void toneLocalRow(const unsigned short *src, unsigned short *dst, int cols, int y);
    void toneLuminance(const cv::Mat &lum, cv::Mat &out, int y, bool local);
    void followColour(const cv::Mat &lum, const cv::Mat &out, const TPImage &work, TPImage &eff, int y) const;

    TParamFloat *m_contrast_p;
    TParamFloat *m_highlights_p;
    TParamFloat *m_shadows_p;
    TParamFloat *m_whites_p;
    TParamFloat *m_blacks_p;
    GuidedFilter m_filter;
    std::vector<float> m_half;
    std::vector<float> m_halfRowA, m_halfRowB, m_rowA, m_rowB;
    std::vector<int> m_indexRow;
    float m_lift = 0.0f;
    float m_dim = 0.0f;
    // Encoded luminance in sample units, offset by tableOffset so that results of the local
    // step a little beyond black and white still find their entry.
    std::vector<unsigned short> m_globalTable;
    std::array<float, 5> m_tableParams;
};

#endif
