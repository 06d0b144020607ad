#ifndef DISPLAYCOLOUR_H
#define DISPLAYCOLOUR_H

#include <array>

// How the analysis code sees the engine's pixels as a person would: from the luma /
// colour-difference planes (ProPhoto RGB, 1.8 gamma) to sRGB for display and to CIE Lab for
// perceptual distances. Internal to the core library, not installed.
//
// The matrices are derived once, at first use, from the published primaries and white
// points of the two colour spaces, with the Bradford transform adapting D50 to D65 (the
// same result an ICC colour-managed conversion gives, since sRGB profiles carry
// Bradford-adapted primaries).
namespace DisplayColour {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<Vec3, 3>;

// Linear ProPhoto RGB to CIE XYZ relative to D50.
const Mat3 &proPhotoToXyz();
// Linear ProPhoto RGB (D50) to linear sRGB (D65).
const Mat3 &proPhotoToLinearSrgb();
// CIE XYZ of the D50 white that Lab is taken relative to: the ProPhoto white.
const Vec3 &whiteD50();

Vec3 multiply(const Mat3 &m, const Vec3 &v);

// Plane values on the 16-bit scale (luma, first and second colour difference with neutral
// at 32768) to encoded ProPhoto R, G, B in 0..65535, clamped. Inverts
//   c1 = (B - luma) / 2 + 32768, c2 = (R - luma) / 2 + 32768, luma = weighted R, G, B.
Vec3 planesToProPhoto(double luma, double c1, double c2);

// ProPhoto's 1.8 gamma and sRGB's piecewise curve, on 0..1.
double proPhotoToLinear(double encoded);
double linearToSrgb(double linear);

// The colour of plane values as encoded sRGB (0..1, clipped to the sRGB gamut) and as
// CIE Lab (D50).
struct Colour {
    Vec3 srgb;
    Vec3 lab;
};
Colour fromPlanes(double luma, double c1, double c2);

Vec3 xyzToLab(const Vec3 &xyz);

// Tables for converting many pixels to 8-bit sRGB quickly: encoded ProPhoto (16 bits) to
// linear light, the ProPhoto-to-sRGB matrix in float, and linear light in 1/65535 steps to
// 8-bit encoded sRGB. Built once at first use.
struct Tables {
    float toLinear[65536];
    float matrix[3][3];
    unsigned char toSrgb8[65536];
};
const Tables &tables();

}

#endif
