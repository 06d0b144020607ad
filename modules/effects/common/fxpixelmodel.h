#ifndef FXPIXELMODEL_H
#define FXPIXELMODEL_H

// The engine's pixel model as the bundled effects see it (see TPImage): ProPhoto RGB with its
// 1.8 gamma encoding; luminance is the luma of the encoded R, G, B; the two colour planes hold
// (B - luma) / 2 and (R - luma) / 2 around a neutral 32768, one sample per 2 x 2 block.
namespace FxPixel {

// ProPhoto's luminance weights, as the engine rounds them (1/65536 steps adding up to one).
constexpr float weightR = 18877.0f / 65536.0f;
constexpr float weightG = 46653.0f / 65536.0f;
constexpr float weightB = 6.0f / 65536.0f;

constexpr float maxSample = 65535.0f;
constexpr float neutral = 32768.0f;
// The encoding's gamma: linear light is encoded^gamma.
constexpr float gamma = 1.8f;

// Encoded R, G, B (0..1 scale) of a luma and the block's colour-plane samples (16-bit scale in,
// 0..1 scale out).
struct Rgb {
    float r, g, b;
};

inline Rgb toRgb(float luma, float c1, float c2)
{
    const float b = luma + 2.0f * (c1 - neutral) / maxSample;
    const float r = luma + 2.0f * (c2 - neutral) / maxSample;
    const float g = (luma - weightR * r - weightB * b) / weightG;
    return { r, g, b };
}

inline float lumaOf(const Rgb &c) { return weightR * c.r + weightG * c.g + weightB * c.b; }

// The colour-plane samples (16-bit scale, unclamped) of encoded R, G, B with luma luma.
inline float colour1Of(const Rgb &c, float luma) { return neutral + 0.5f * (c.b - luma) * maxSample; }
inline float colour2Of(const Rgb &c, float luma) { return neutral + 0.5f * (c.r - luma) * maxSample; }

inline unsigned short toSample(float v)
{
    return v <= 0.0f ? 0 : v >= maxSample ? 65535 : static_cast<unsigned short>(v + 0.5f);
}
}

#endif
