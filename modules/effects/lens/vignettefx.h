#ifndef VIGNETTEFX_H
#define VIGNETTEFX_H

#include "tcataloguefx.h"

#include <vector>

// "Vignette": darkens (amount < 0) or brightens (amount > 0) the picture towards its corners,
// by up to two stops of linear light at amount -1 or +1 (brightened highlights roll off
// smoothly towards white rather than clip). The shape is centred on the whole
// picture, whatever region a level shows: an ellipse fitted to the frame at roundness 0, a
// circle at +1, a rounded rectangle at -1. The change starts at "midpoint" (a fraction of the
// way from the centre to the corners) and takes "feather" to reach full strength. Luminance
// and the colour differences of each block are scaled by the same gain, so hues are kept.
class VignetteFx : public TCatalogueFullFx {
public:
    VignetteFx(const QString &key, QObject *parent);

protected:
    bool procLevel(const TPImage &work, TPImage &eff, const TLevelGeometry &geometry) override;

private:
    // The vignette's outline in full-resolution pixels: centre, the axes the distance is
    // measured against, the norm's power, and the corner's normalised distance to the power.
    struct Shape {
        double centreX, centreY;
        double axisX, axisY;
        double power;
        double cornerSum;
    };
    Shape shapeOf(const TLevelGeometry &geometry, int levelCols, int levelRows) const;
    // The encoded gain over the table's steps of (normalised distance)^power, 0 to 1.
    void buildGainTable(double power);
    // Each sample's share of (normalised distance)^power along one axis: count samples whose
    // full-resolution centres are at positionOf(i).
    template <class Position>
    static void axisTerms(
        std::vector<float> &terms, int count, double centre, double axis, const Shape &shape, Position positionOf);
    // Where brightened values start to bend towards white (beyond any value when darkening).
    float knee() const;
    bool applyToLuma(const TPImage &work, TPImage &eff);
    // The mean luminance of each colour sample's 2 x 2 block on colour row row, into m_blockLuma.
    void blockLumaRow(const cv::Mat &lum, int row, int cols);
    bool applyToColour(const TPImage &work, TPImage &eff);

    TParamFloat *m_amount_p;
    TParamFloat *m_midpoint_p;
    TParamFloat *m_roundness_p;
    TParamFloat *m_feather_p;
    std::vector<float> m_gainTable;
    std::vector<float> m_colTerms;
    std::vector<float> m_rowTerms;
    std::vector<float> m_blockLuma;
    std::vector<float> m_offsets;
};

#endif
