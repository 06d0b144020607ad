#ifndef TDRAWMASK_H
#define TDRAWMASK_H

#include "qximproca1_export.h"

#include <cstddef>
#include <memory>
#include <opencv2/core.hpp>

class TPImage;

// The brush-mask engine of one masked effect: an 8-bit mask at the size of the source
// picture's full-resolution level, 0 where the effect is absent and 255 where it applies fully.
//
// Edits are queued by the cmd... calls (and by undo, redo, snapshot, reset, the blend settings
// and the apply button, which act in order with them) and carried out in order by proc(), which
// sets m_changed when the mask's pixels changed. Until something is drawn there is no mask at
// all: getMaskRoi() answers an empty matrix, which the effect reads as "applied everywhere".
// The first command that paints (a dab, gradient, super-mask, fill or invert) makes the mask,
// filled with 255, and then paints on it.
//
// Commands given before a picture is set (setInImage) stay queued and run once one is.
// Arguments that make no sense (NaN or infinite floats) are refused when proc() reaches them,
// with a line to QXimproca's debug hook; shapes partly or wholly outside the picture are
// clipped; zero or negative radii and sizes do nothing.
//
// Not synchronised: one engine is used on one thread at a time.
class QXIMPROCA1_EXPORT TDrawMask {
public:
    // How new paint combines with the mask (setMaskBlendMode). A dab moves each pixel from its
    // value toward the mode's full-strength result by the dab's coverage there; gradients and
    // super-masks paint a value for every pixel (the blend value times the shape's weight)
    // and combine it at full strength, so in replace mode the shape becomes the mask.
    enum BlendMode : int {
        BlendReplace = 0, // the painted value replaces the mask
        BlendAdd = 1, // the painted value is added, clipped at 255
        BlendSubtract = 2, // the painted value is subtracted, clipped at 0
        BlendMaximum = 3, // the larger of mask and painted value
        BlendMinimum = 4, // the smaller of mask and painted value
    };
    // Gradient shapes (cmdDrawGradientMask).
    enum GradientType : int { GradientLinear = 0, GradientRadial = 1, GradientMirrored = 2 };

    TDrawMask();
    ~TDrawMask();
    TDrawMask(const TDrawMask &) = delete;
    TDrawMask &operator=(const TDrawMask &) = delete;

    // The source picture (the full-resolution level of the effect's shared source): the mask
    // takes its size, and colour-aware commands and the post-filter read its planes. The
    // image's planes are shared, not copied; the caller keeps the image alive while the
    // engine may use it. A picture of another size drops the mask and its history (as does
    // bReset). Null does nothing.
    void setInImage(const TPImage *image, bool bReset);

    // Runs the queued commands in order. Afterwards m_changed tells whether the mask differs
    // from what it was when proc() began (a pixel, or whether there is a mask at all; a mask
    // that setInImage dropped counts for the next proc()). False only when there is no
    // picture while commands wait: they stay queued and run in the first proc() after
    // setInImage.
    bool proc();

    // The mask under a level's region: rect's origin in full-resolution pixels, its size in
    // level pixels, at decimation dec; the result has the level's colour-plane resolution,
    // ceil(width / 2) x ceil(height / 2) samples, each the exact average of the mask pixels it
    // covers (a 2 dec x 2 dec block, cut at the picture's edge). Empty while nothing is
    // drawn, and for an empty rect.
    // Details: the blocks line up with the colour planes' samples: they start at
    // (2 floor(x / 2), 2 floor(y / 2)), each sample the rounded mean (ties up) of its block; a
    // block wholly outside the picture takes the nearest pixels inside. dec is clamped to
    // 1..32, as for the picture's planes (TPImage::MatRoi).
    cv::Mat getMaskRoi(const cv::Rect_<int> &rect, int dec) const;

    // The whole mask, empty while nothing is drawn.
    const cv::Mat &mask() const;

    // Queued edits. Each command (a whole stroke counting as one) is one undo step.

    // The whole mask to value.
    void cmdSetValue(unsigned char value);
    // Every pixel to 255 minus itself.
    void cmdInvert();
    // Picks the source colour at pos (its luma and both colour planes, averaged over a few
    // pixels around it) for colour-sensitive dabs. A position outside the picture is refused.
    void cmdSetColorPicker(const cv::Point_<int> &pos);
    // A gradient painted with the blend value (type: GradientType; start == end does nothing):
    //   linear: the blend value on start's side of the line through start (square to the
    //     direction start -> end), falling linearly to 0 at the line through end, 0 beyond;
    //   radial: the blend value at start, falling linearly to 0 at distance |end - start|;
    //   mirrored: the blend value along the line through start, falling to 0 at the distance
    //     of end on both sides.
    // Gradients and super-masks are previews until applied: see applyButtonClicked.
    void cmdDrawGradientMask(const cv::Point_<int> &start, const cv::Point_<int> &end, int type);
    // A stroke: the dabs up to cmdDrawEnd. Within a stroke each pixel keeps the strongest
    // coverage any of its dabs gave it and is computed from its value at stroke start, so
    // overlapping dabs never paint past the stroke's target. Dabs outside a stroke are each a
    // stroke of their own; separate strokes build up by their flow. Another edit (or a dab
    // with another value, or a new blend mode) in the middle starts a new stroke.
    void cmdDrawStart();
    // A round dab of radius pixels at pos toward maskValue: full strength within inRadius
    // (radius / 2 for the short form), a smoothstep falloff to nothing at the radius. flow
    // (0..1; 1 for the short form) is the share of the way to the target one stroke covers.
    // With bColorSensEnabled each pixel's coverage is further weighted by its colour's
    // likeness to the picked colour (bColorPickerEnabled and a colour was picked) or else to
    // the colour under the dab's centre, so paint stays on the surface it was put on.
    // radius <= 0 does nothing; a flow that is not a finite number is refused.
    void cmdDrawADot(const cv::Point_<int> &pos, unsigned char maskValue, int radius);
    void cmdDrawADot(const cv::Point_<int> &pos, unsigned char maskValue, int radius, int inRadius, float flow,
        bool bColorSensEnabled, bool bColorPickerEnabled);
    void cmdDrawEnd();
    // A colour-aware region painted with the blend value: each pixel's weight is its place in
    // the shape (1 within size * hardness of centerPos, a smoothstep down to 0 at
    // size + featherSize) times its colour's likeness to the colour at centerPos, mixed in by
    // colorAware (0: colour ignored, 1: fully weighed); one minus that when bInverted.
    // hardness and colorAware are clamped to 0..1; size <= 0 does nothing.
    void cmdDrawSuperMask(const cv::Point_<int> &centerPos, float size, float hardness, float featherSize,
        float colorAware, bool bInverted);
    // Edge-aware feathering: a guided filter of the mask with the picture's luminance (0..1)
    // as guide over windows of featherRadius full-resolution pixels (at most 256; below half
    // a pixel nothing happens) and regularisation featherEps (in squared luminance units),
    // then the contrast curve 0.5 + (v - 0.5) * (1 + featherContrast), clipped to 0..1, then
    // mixed with the unfiltered mask by featherStrength (0..1). A mask painted roughly past an
    // object's edge snaps to the edge. Does nothing while there is no mask.
    void cmdPostFilter(float featherRadius, float featherEps, float featherContrast, float featherStrength);
    // The value gradients and super-masks paint with (255 to begin with).
    void setMaskBlendValue(unsigned char value);
    // A BlendMode (0..4); other values are refused and the mode stays.
    void setMaskBlendMode(int mode);
    // Gradients and super-masks are shown as previews: the next gradient replaces a gradient
    // still pending (as while its handles are dragged), the next super-mask a pending
    // super-mask. bApply true keeps the preview; false takes it away (and it cannot be
    // redone). Any other edit, redo or snapshot keeps it too; undo takes it back like any step.
    void applyButtonClicked(bool bApply);
    // Undoing the step that made the mask leaves no mask. A new edit drops what could be
    // redone.
    void undo();
    void redo();
    // Ends the current undo step: within a stroke, the dabs after it are undone separately
    // from those before (the stroke's coverage goes on).
    void snapshot();
    // Back to no mask, history dropped.
    void reset();

    // Bytes the undo history may hold at most: 64 MiB. Older steps are dropped beyond it. Steps
    // keep only the 64 x 64 tiles they changed (a tile of one value as that value), holding
    // the content before the step while it can be undone and after it while it can be
    // redone; a stroke of a brush on a 24 MP mask costs some tens of kilobytes. A single
    // step larger than the limit cannot be undone.
    static std::size_t undoLimit();

    // Read by the engine: the mask's full width and height, and whether the last proc()
    // changed mask pixels.
    int m_width = 0;
    int m_height = 0;
    bool m_changed = false;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

#endif
