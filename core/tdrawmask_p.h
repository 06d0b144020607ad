#ifndef TDRAWMASK_P_H
#define TDRAWMASK_P_H

// The brush-mask engine's insides (internal to the core library, not installed): the command
// queue, the tiled undo history, the stroke coverage and the helpers the tdrawmask*.cpp files
// share.

#include "tdrawmask.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <opencv2/core.hpp>
#include <type_traits>
#include <vector>

namespace DrawMask {

// The mask is handled in square tiles of this size: strokes keep their coverage per tile, and
// the undo history and the per-proc() change check copy only the tiles an edit touches.
constexpr int tileSize = 64;
constexpr int tilePixels = tileSize * tileSize;

// One queued call.
struct Command {
    enum Kind {
        SetValue,
        Invert,
        ColorPicker,
        Gradient,
        DrawStart,
        Dot,
        DrawEnd,
        SuperMask,
        PostFilter,
        BlendValue,
        BlendMode,
        Apply,
        Undo,
        Redo,
        Snapshot,
        Reset,
    };
    Kind kind;
    cv::Point a;
    cv::Point b;
    int i0 = 0;
    int i1 = 0;
    float f0 = 0, f1 = 0, f2 = 0, f3 = 0;
    bool b0 = false;
    bool b1 = false;
    unsigned char value = 0;
};

// A source colour in units where luma runs 0..1 and each colour difference (B - luma,
// R - luma) -1..1; neutral grey has both differences at 0.
struct Colour {
    float luma = 0;
    float c1 = 0;
    float c2 = 0;
};

// One tile's pixels as the history keeps them: a tile of a single value (common: a fresh
// mask, a filled one) is kept as that value alone.
struct SavedTile {
    int index = 0;
    bool bUniform = false;
    unsigned char value = 0;
    std::vector<unsigned char> bytes;
};

// One undo step: the tiles it changed, holding their content from before the step while it
// can be undone and from after it while it can be redone (undo and redo swap the two). A step
// that made the mask (there was none before it) undoes to no mask at all.
struct Step {
    std::vector<SavedTile> tiles;
    bool bCreated = false;
    // A gradient or super-mask still shown as a preview (applyButtonClicked): the kind of
    // command that made it (Command::Gradient or Command::SuperMask), -1 once kept.
    int pending = -1;
    std::size_t bytes = 0;
};

// Per-stroke state of one tile: the mask as the stroke found it and the strongest coverage
// (0..65535) any dab of the stroke gave each pixel.
struct StrokeTile {
    std::vector<unsigned char> base;
    std::vector<std::uint16_t> cover;
};

// The colour at (x, y), with luma averaged over a 5 x 5 and the colour planes over a 3 x 3
// neighbourhood (clipped at the edges) so that a pick is not at the mercy of noise.
Colour pickColour(const cv::Mat &lum, const cv::Mat &c1, const cv::Mat &c2, int x, int y);
// Fills weights (count samples from x0 on row y) with the likeness (0..1) of each source
// pixel's colour to reference: exp(-d^2 / w^2) of a distance d that weighs luma half as much as
// the colour differences.
void similarityRow(const cv::Mat &lum, const cv::Mat &c1, const cv::Mat &c2, int y, int x0, int count,
    const Colour &reference, float *weights);

// The full-strength result of painting value over base in blend mode Mode.
template <int Mode> inline int blendFull(int base, int value)
{
    if constexpr (Mode == TDrawMask::BlendAdd)
        return base + value < 255 ? base + value : 255;
    else if constexpr (Mode == TDrawMask::BlendSubtract)
        return base - value > 0 ? base - value : 0;
    else if constexpr (Mode == TDrawMask::BlendMaximum)
        return base > value ? base : value;
    else if constexpr (Mode == TDrawMask::BlendMinimum)
        return base < value ? base : value;
    else
        return value;
}

// Calls f with the blend mode as a compile-time constant (std::integral_constant), so that
// pixel loops are compiled once per mode; modes outside 0..4 count as BlendReplace.
template <typename F> inline void withBlendMode(int mode, F &&f)
{
    switch (mode) {
    case TDrawMask::BlendAdd:
        return f(std::integral_constant<int, TDrawMask::BlendAdd>());
    case TDrawMask::BlendSubtract:
        return f(std::integral_constant<int, TDrawMask::BlendSubtract>());
    case TDrawMask::BlendMaximum:
        return f(std::integral_constant<int, TDrawMask::BlendMaximum>());
    case TDrawMask::BlendMinimum:
        return f(std::integral_constant<int, TDrawMask::BlendMinimum>());
    default:
        return f(std::integral_constant<int, TDrawMask::BlendReplace>());
    }
}

// The exact rounded average (ties up) of the blockSize x blockSize blocks of an 8-bit plane
// starting at (x0 + j * blockSize, y0 + i * blockSize), cut at the edges, a block wholly
// outside taking the nearest samples; for any block size (dst already sized).
void blockAverageAny(const cv::Mat &src, cv::Mat &dst, std::int64_t x0, std::int64_t y0, int blockSize);

}

struct QXIMPROCA1_NO_EXPORT TDrawMask::Private {
    // --- picture -----------------------------------------------------------------------
    cv::Mat lum;
    cv::Mat c1;
    cv::Mat c2;
    bool bPicture = false;
    int width = 0;
    int height = 0;
    int tilesX = 0;
    int tilesY = 0;

    // --- mask and settings -------------------------------------------------------------
    cv::Mat mask;
    std::vector<DrawMask::Command> queue;
    std::vector<DrawMask::Command> running;
    int blendValue = 255;
    int blendMode = BlendReplace;
    bool bPicked = false;
    DrawMask::Colour picked;

    // --- strokes -------------------------------------------------------------------------
    // Between cmdDrawStart and cmdDrawEnd.
    bool bInStroke = false;
    // Coverage is being collected (from the first dab of a stroke on).
    bool bSession = false;
    int sessionTarget = 0;
    int sessionMode = 0;
    std::vector<int> sessionSlot; // per tile: index into slots, or -1
    std::vector<int> sessionTiles;
    std::vector<DrawMask::StrokeTile> slots;
    std::vector<float> rowWeights;
    std::vector<float> rowSimilarity;
    std::vector<std::uint16_t> rowCover;

    // --- history -------------------------------------------------------------------------
    std::deque<DrawMask::Step> undoSteps; // oldest first
    std::vector<DrawMask::Step> redoSteps; // the next to redo last
    DrawMask::Step open;
    bool bOpen = false;
    std::vector<unsigned char> openMark;
    std::size_t historyBytes = 0;

    // --- change check of one proc() --------------------------------------------------------
    // The content of every tile touched during this proc() as it was when proc() began.
    cv::Mat journal;
    std::vector<unsigned char> journalMark;
    std::vector<int> journalTiles;
    bool bJournal = false;
    bool bExistedAtStart = false;
    // The mask was dropped by setInImage since the last proc().
    bool bDroppedOutside = false;

    // --- scratch of the post-filter ----------------------------------------------------------
    cv::Mat filterRing;
    cv::Mat filtered;

    // tdrawmask.cpp
    void run(const DrawMask::Command &command);
    void dropAll();
    void createMask();
    cv::Rect tileRect(int index) const;
    // Records (for undo and for the change check) every tile that meets rect before it is
    // written, creating the mask first when there is none.
    void prepare(const cv::Rect &rect);

    // tdrawmask_undo.cpp
    void closeStep();
    void undo();
    void redo();
    void swapTiles(DrawMask::Step &step);
    // Takes back the preview on top of the history, if it is one of kind (-1: any kind).
    void revertPending(int kind = -1);
    void commitPending();
    void trimHistory();
    void clearHistory();
    void beginJournal();
    bool endJournal();
    void journalAll();
    void journalTile(int index);
    void recordTile(int index);
    void releaseMask();

    // tdrawmask_brush.cpp
    void dot(const DrawMask::Command &command);
    void endSession();
    void pickColourAt(const cv::Point &pos);

    // tdrawmask_shapes.cpp
    // False, with a diagnostic for bad arguments, when a gradient or super-mask would draw
    // nothing.
    bool bShapeDraws(const DrawMask::Command &command) const;
    void setValue(int value);
    void invert();
    void gradient(const cv::Point &start, const cv::Point &end, int type);
    void superMask(const DrawMask::Command &command);

    // tdrawmask_filter.cpp
    void postFilter(float radius, float eps, float contrast, float strength);
};

#endif
