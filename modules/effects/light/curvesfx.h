#ifndef CURVESFX_H
#define CURVESFX_H

#include "tcataloguefx.h"

#include <vector>

// "Curves": a tone curve on luminance. The curve's control points are (x, y) pairs where x is
// the input luminance (encoded, 0..1) and y is how far the output lies above (+) or below (-)
// the diagonal at that input: the curve passes through (x, x + y). So the empty curve, and
// any curve whose points all have y = 0, is the identity, and the default.
//
// The curve runs through (0, 0), the points sorted by x (x and x + y clamped to 0..1, points
// closer than 0.001 in x merged into one), and (1, 1); a point at x = 0 or x = 1 takes the
// place of that end. Between them it is a monotone cubic (Fritsch-Carlson): points that rise
// give a curve that never falls, and it does not overshoot between points. Colour
// differences follow the luminance gain of their 2 x 2 block, so hue and saturation stay.
class CurvesFx : public TCatalogueFullFx {
public:
    CurvesFx(const QString &key, QObject *parent);

    struct Knot {
        double x, y;
    };
    // The knots the curve runs through for control points given as (x, offset) pairs, sorted
    // by x, from x = 0 to x = 1; never fewer than two.
    static std::vector<Knot> knotsOf(const QList<QPointF> &controlPoints);
    // Fills table (65536 entries) with the monotone cubic through knots, input and output on
    // the 16-bit scale.
    static void fillTable(const std::vector<Knot> &knots, std::vector<unsigned short> &table);

protected:
    bool procLevel(const TPImage &work, TPImage &eff, const TLevelGeometry &geometry) override;

private:
    bool procColour(const TPImage &work, TPImage &eff);

    TParamCurve *m_curve_p;
    std::vector<unsigned short> m_lumaTable;
    std::vector<float> m_colourGain;
};

#endif
