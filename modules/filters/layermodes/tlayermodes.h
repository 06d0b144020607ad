#ifndef TLAYERMODES_H
#define TLAYERMODES_H

#include <tfilteryc.h>

class TImage;
class TInport;

// "TLayerModes": lays a layer over a base picture by a blend mode, an opacity and a mask.
//
// Ports, in child order: "inY" (Y, base), "outY" (Y, owning), "inC" (C, optional, base
// colour), "outC" (C, owning), "inM" (M, optional, mask), "inY2" (Y, layer), "inC2" (C,
// optional, layer colour).
//
// Luminance, with base a and layer b on the 0..1 scale, f the mode's result:
//   0 normal      f = b
//   1 multiply    f = a b
//   2 screen      f = 1 - (1 - a)(1 - b)
//   3 overlay     f = 2 a b for a < 0.5, else 1 - 2 (1 - a)(1 - b)
//   4 soft light  f = (1 - 2 b) a^2 + 2 b a
//   5 darken      f = min(a, b)
//   6 lighten     f = max(a, b)
//   7 difference  f = |a - b|
// and out = a + (f - a) w, with w = opacity x mask / 255 (the mask's pixel at the same
// place; 1 without a mask), rounded to the nearest 16-bit level.
//
// Colour differences are not brightness values (neutral is 128, not black), so the modes
// do not apply to them: in every mode the result's colour moves from the base's toward the
// layer's as in normal mode, out = c + (c2 - c) w, with w taken from the mask's mean over the
// 2 x 2 pixels the colour sample covers (cut at the edge). A screened or multiplied layer
// thus changes brightness by its mode and colour as much as it is opaque.
//
// proc() returns an error text, leaving the outputs as they were, when "inY" or "inY2" has
// no image, when the layer's luminance size differs from the base's, when a non-empty mask's
// size differs from it, or when exactly one of "inC" and "inC2" has a non-empty image or
// their sizes differ from each other or from the rounded-up half of the luminance size.
// Without colour on either side "outC" is emptied. An empty "inM" image counts as no mask.
// Nothing is computed when no input and no setting changed since the last run; a run
// consumes its inputs (setProccessed). The cancel flag is looked at every few rows: a
// cancelled run returns a code beginning with "UC", clears the flag, and leaves its inputs
// unconsumed so that the next run starts again.
class TLayerModes : public TFilterYC {
    Q_OBJECT
public:
    enum Mode { Normal = 0, Multiply, Screen, Overlay, SoftLight, Darken, Lighten, Difference };

    TLayerModes(const QString &name, QObject *parent);

public slots:
    QString proc() override;
    // One of Mode; values beyond the ends are clamped to the nearest mode.
    void setMode(int mode);
    int mode() const;
    // 0..1, clamped; a value that is not a number is ignored.
    void setOpacity(float opacity);
    float opacity() const;

private:
    QString check(const TImage *y, const TImage *y2, const TImage *m, const TImage *c, const TImage *c2) const;
    bool blendLuma(const TImage &y, const TImage &y2, const TImage *m, TImage &out);
    bool blendColour(const TImage &c, const TImage &c2, const TImage *m, TImage &out);

    TInport *m_inM_p;
    TInport *m_inY2_p;
    TInport *m_inC2_p;
    int m_mode = Normal;
    float m_opacity = 1.0f;
    // A setting changed since the last complete run.
    bool m_bSettingsChanged = true;
};

#endif
