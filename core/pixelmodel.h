#ifndef PIXELMODEL_H
#define PIXELMODEL_H

#include <cstdint>

// Constants of the luma / colour-difference model shared by TPImage and TImage
// (internal to the core library, not installed).
namespace PixelModel {

// ProPhoto RGB luminance weights (Y row of its RGB-to-XYZ matrix) in 1/65536 steps; they add
// up to exactly 65536 so that a grey keeps its value as luma.
constexpr int weightR = 18877;
constexpr int weightG = 46653;
constexpr int weightB = 6;
constexpr int weightShift = 16;
static_assert(weightR + weightG + weightB == 1 << weightShift, "weights must add up to one");

constexpr int maxSample = 65535;

// Size of a half-resolution plane for a full-resolution size: odd sizes round up.
inline int halfUp(int n) { return (n + 1) / 2; }

// Colour differences are halved so that B - luma and R - luma fit 16 bits around mid-range.
constexpr int neutral16 = 32768;
constexpr int neutral8 = 128;

// Luma of 16-bit (or 8-bit) R, G, B, rounded.
inline int luma(int r, int g, int b)
{
    // 65535 * 65536 does not fit a signed int.
    const std::uint32_t sum = std::uint32_t(weightR) * std::uint32_t(r) + std::uint32_t(weightG) * std::uint32_t(g)
        + std::uint32_t(weightB) * std::uint32_t(b) + (1u << (weightShift - 1));
    return int(sum >> weightShift);
}

inline int to16(int v8) { return v8 * 257; }

inline int to8(int v16) { return (v16 * 255 + 32767) / 65535; }
}

#endif
