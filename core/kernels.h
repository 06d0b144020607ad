#ifndef KERNELS_H
#define KERNELS_H

#include "qximproca1_export.h"

#include <opencv2/core.hpp>

// Pixel kernels of the core image library. Each works on one-channel planes of 8 or 16 bits
// (unsigned), runs on the calling thread, never reads outside its inputs, and reports bad
// arguments by returning false (with a line to QXimproca's debug hook) instead of throwing.
// A destination that is empty or of the wrong size or type is (re)created; a destination
// that shares its buffer with another image is written in place, so callers detach first.

// Halves src into dst: each dst sample is the rounded average of its 2x2 block; the last
// column and row of an odd-sized src average the samples that exist. dst gets
// ceil(cols/2) x ceil(rows/2). mode is the number of samples per block: only 4.
// Exact (ties round up). False for an empty src, another type or another mode; dst is then
// left as it was. dst may be src itself.
QXIMPROCA1_EXPORT bool downSize2X(const cv::Mat &src, cv::Mat &dst, int mode);

// Enlarges src into dst, centre-aligned: dst sample (x, y) sits at ((x + 0.5) / 2 - 0.5,
// (y + 0.5) / 2 - 0.5) in src, beyond the edge the edge sample repeats. mode 2 is bilinear,
// mode 1 nearest. A dst of the right type whose size is 2*cols or 2*cols-1 by 2*rows or
// 2*rows-1 keeps its size (an odd full plane from its rounded-up half); otherwise dst gets
// 2*cols x 2*rows. Bilinear weights are 9/16, 3/16, 3/16, 1/16, so the rounded result is
// exact. False for an empty src, another type or another mode, dst left as it was.
QXIMPROCA1_EXPORT bool upSize2X(const cv::Mat &src, cv::Mat &dst, int mode);

// dst = mix + (effect - mix) * opacity * mask / 255, rounded to the nearest integer.
// mix, effect and dst share size and depth (8 or 16 bits); mask is 8-bit of the same size,
// or empty for a uniform opacity. opacity is clamped to 0..1. mode is 0 (normal).
// dst may be mix or effect itself (the very same pixels; other overlaps are not supported).
// The weight is applied in float: a weight of 0 gives mix and a full weight gives effect
// exactly; otherwise the result is the exactly rounded value or, where that lies within
// about 1/100 of a level of a half, one off. False (dst left as it was) for empty planes,
// other types, sizes that differ, a NaN opacity or another mode.
QXIMPROCA1_EXPORT bool blendAlpha(
    const cv::Mat &mix, const cv::Mat &effect, const cv::Mat &mask, cv::Mat &dst, float opacity, int mode);

// dst = src * value, rounded and clamped to 0..255, over w x h 8-bit samples; steps are in
// bytes. Used to show a mask at a chosen strength (1.0 copies it). Exact (ties round up).
// False for null buffers, negative sizes, steps shorter than w (when h > 1) or a NaN value;
// w or h of 0 does nothing and succeeds.
QXIMPROCA1_EXPORT bool blendC(
    const unsigned char *src, int srcStep, unsigned char *dst, int dstStep, int w, int h, float value);

#endif
