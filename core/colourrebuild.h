#ifndef COLOURREBUILD_H
#define COLOURREBUILD_H

// Internal to the core library: rebuilding full-resolution colour from a TPImage's half
// planes, row by row, for its conversions back to BGRA and RGB planes.

#include "tpimage.h"

#include <algorithm>

// The row loops read and write distinct rows of buffers; telling the compiler so lets it
// vectorise them without a run-time overlap test per pair of pointers.
#if defined(__clang__)
#define FX_INDEPENDENT_ITERATIONS _Pragma("clang loop vectorize(assume_safety)")
#elif defined(__GNUC__)
#define FX_INDEPENDENT_ITERATIONS _Pragma("GCC ivdep")
#else
#define FX_INDEPENDENT_ITERATIONS
#endif

// The conversions are on the display path of every preview. On x86-64 processors with AVX2 their
// loops run eight floats wide instead of four; both versions do the same operations in the
// same order (AVX2 alone brings no fused multiply-add), so they give identical results.
// Not under the thread sanitizer: the version is picked while the library is being loaded,
// before the sanitizer's runtime is ready for the instrumented picking code.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__) && !defined(__SANITIZE_THREAD__)
#define FX_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define FX_WIDE_VECTORS
#endif

namespace PixelRebuild {

// What one output row needs from the half planes, in output units (16-bit samples times the
// unit the rebuild was made for). p1, p2 (corrected colours), mean (block mean luma) and
// alpha are padded rows (block i at index i + 1) already interpolated vertically to the row;
// a1, a2 (slopes) are per block (index i). keep (index i) is 0 for a block of flat luma and 1
// otherwise; own1 and own2 hold the flat blocks' own colours and 0 elsewhere. flatBlocks tells
// whether the row has any, opaque whether alpha is at its maximum throughout.
struct RowModel {
    const float *p1, *p2, *a1, *a2, *mean, *alpha, *keep, *own1, *own2;
    float unit;
    bool flatBlocks, opaque;
};

// Rebuilds full-resolution colour row by row from the half planes.
//
// Within a few blocks, colour detail follows luma detail linearly (an edge between two colours
// moves both together). Each block therefore gets a slope of colour over luma: the regression
// of the colour's residue on the luma's residue over its 3x3 block neighbourhood, smoothed
// over the same neighbourhood, where a residue is a block value minus its 1/8, 3/4, 1/8
// weighted average with the neighbouring blocks (separably). A pixel gets the bilinear block
// colour plus its block's slope times its luma's departure from the bilinear block-mean luma.
// Bilinear enlargement averages back over a block with exactly those weights, so the block
// colours fed to it are first corrected by their residue less the slope times the luma
// residue: the prediction then averages back to about the stored colour over each block. A
// block whose luma is exactly flat keeps its own colour: nothing in luma says the colour
// changes inside it, and block-constant pictures then come back exactly. A neutral image has
// zero colour everywhere, hence zero slopes and predictions: it stays exactly neutral.
//
// Each stage's half-resolution rows are computed once and kept in a small ring, so a sweep
// down the image does each row's work once and its working set stays in cache. All scratch
// comes from one pooled buffer.
class ColourRebuild {
public:
    // unit: the size of one 16-bit step in the output (1 for 16-bit, 1/257 for 8-bit output).
    ColourRebuild(const TPImage &image, float unit);

    // The model of image row y; valid until the next call.
    RowModel row(int y);

private:
    // Stages and the arrays of their rows. Blocks: mean luma (centred), colours. Residues: of
    // mean luma and colours. Slopes: raw, then smoothed with the corrected colours (model).
    enum Stage { Blocks = 0, Residues, Slopes, Model, stageCount };
    enum { M = 0, C1, C2 };
    enum { A1 = 0, A2, P1, P2 };
    enum { maxSlots = 8, maxArrays = 4, temps = 6 };
    // A stage holds at most three rows of the stage below while asking for more, in rising
    // order, so a ring evicts only rows nobody holds.
    static constexpr int slots[stageCount] = { 8, 8, 4, 4 };
    static constexpr int arrays[stageCount] = { 3, 3, 2, 4 };

    const float *const *stage(Stage s, int j);
    FX_WIDE_VECTORS void computeBlocks(int j, float *const *out);
    FX_WIDE_VECTORS void computeResidues(int j, float *const *out);
    FX_WIDE_VECTORS void computeSlopes(int j, float *const *out);
    FX_WIDE_VECTORS void computeModel(int j, float *const *out);
    FX_WIDE_VECTORS void findFlatBlocks(int j);
    int clampBlockRow(int j) const { return std::min(std::max(j, 0), m_hh - 1); }

    const TPImage &m_image;
    int m_w, m_h, m_hw, m_hh;
    cv::Mat m_buffer;
    float *m_rows[stageCount][maxSlots][maxArrays] = {};
    int m_tags[stageCount][maxSlots];
    float *m_temp[temps];
    float *m_alpha;
    float *m_flat[3]; // keep, own1, own2
    float m_unit;
    int m_flatTag = -1;
    bool m_flatBlocks = false;
};

// One output row as 8-bit BGRA (alpha included) or as three 16-bit planes R, G, B.
void packBgra8(const RowModel &model, const unsigned short *lum, int width, unsigned char *out);
void packRgb16(const RowModel &model, const unsigned short *lum, int width, unsigned short *const *rgb);
}

#endif
