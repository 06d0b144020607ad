#include "displaycolour.h"

#include "pixelmodel.h"

#include <algorithm>
#include <cmath>

namespace DisplayColour {

namespace {

    struct Chromaticity {
        double x, y;
    };

    Vec3 xyzOf(const Chromaticity &c) { return { c.x / c.y, 1.0, (1.0 - c.x - c.y) / c.y }; }

    Mat3 multiply(const Mat3 &a, const Mat3 &b)
    {
        Mat3 r {};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                for (int k = 0; k < 3; ++k)
                    r[i][j] += a[i][k] * b[k][j];
        return r;
    }

    Mat3 inverse(const Mat3 &m)
    {
        const double a = m[0][0], b = m[0][1], c = m[0][2];
        const double d = m[1][0], e = m[1][1], f = m[1][2];
        const double g = m[2][0], h = m[2][1], i = m[2][2];
        const double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
        return { { { (e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det },
            { (f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det },
            { (d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det } } };
    }

    // The usual construction: the primaries' XYZ as columns, each scaled so that R = G = B = 1
    // gives the white point.
    Mat3 rgbToXyz(const Chromaticity &r, const Chromaticity &g, const Chromaticity &b, const Vec3 &white)
    {
        const Vec3 xr = xyzOf(r), xg = xyzOf(g), xb = xyzOf(b);
        const Mat3 primaries = { { { xr[0], xg[0], xb[0] }, { xr[1], xg[1], xb[1] }, { xr[2], xg[2], xb[2] } } };
        const Vec3 scale = DisplayColour::multiply(inverse(primaries), white);
        Mat3 m = primaries;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                m[i][j] *= scale[j];
        return m;
    }

    // Bradford chromatic adaptation from one white to another.
    Mat3 bradford(const Vec3 &from, const Vec3 &to)
    {
        const Mat3 cone = { { { 0.8951, 0.2664, -0.1614 }, { -0.7502, 1.7135, 0.0367 }, { 0.0389, -0.0685, 1.0296 } } };
        const Vec3 coneFrom = DisplayColour::multiply(cone, from);
        const Vec3 coneTo = DisplayColour::multiply(cone, to);
        Mat3 scale {};
        for (int i = 0; i < 3; ++i)
            scale[i][i] = coneTo[i] / coneFrom[i];
        return multiply(inverse(cone), multiply(scale, cone));
    }

    // ROMM RGB (ProPhoto): primaries as ISO 22028-2 publishes them, D50 white. sRGB:
    // IEC 61966-2-1 primaries, D65 white. The whites are the CIE illuminants' tabulated XYZ
    // (ASTM E308, Y = 1), the values most published conversion matrices are built from.
    struct Matrices {
        Vec3 d50;
        Mat3 proPhotoToXyz;
        Mat3 proPhotoToLinearSrgb;

        Matrices()
        {
            d50 = { 0.96422, 1.0, 0.82521 };
            const Vec3 d65 = { 0.95047, 1.0, 1.08883 };
            proPhotoToXyz = rgbToXyz({ 0.7347, 0.2653 }, { 0.1596, 0.8404 }, { 0.0366, 0.0001 }, d50);
            const Mat3 srgbToXyz = rgbToXyz({ 0.64, 0.33 }, { 0.30, 0.60 }, { 0.15, 0.06 }, d65);
            proPhotoToLinearSrgb = multiply(inverse(srgbToXyz), multiply(bradford(d50, d65), proPhotoToXyz));
        }
    };

    const Matrices &matrices()
    {
        static const Matrices instance;
        return instance;
    }

    Tables *buildTables()
    {
        auto *t = new Tables;
        for (int i = 0; i < 65536; ++i) {
            t->toLinear[i] = float(proPhotoToLinear(i / 65535.0));
            t->toSrgb8[i] = static_cast<unsigned char>(std::lround(linearToSrgb(i / 65535.0) * 255.0));
        }
        const Mat3 &m = matrices().proPhotoToLinearSrgb;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                t->matrix[i][j] = float(m[i][j]);
        return t;
    }

}

const Mat3 &proPhotoToXyz() { return matrices().proPhotoToXyz; }

const Mat3 &proPhotoToLinearSrgb() { return matrices().proPhotoToLinearSrgb; }

const Vec3 &whiteD50() { return matrices().d50; }

Vec3 multiply(const Mat3 &m, const Vec3 &v)
{
    return { m[0][0] * v[0] + m[0][1] * v[1] + m[0][2] * v[2], m[1][0] * v[0] + m[1][1] * v[1] + m[1][2] * v[2],
        m[2][0] * v[0] + m[2][1] * v[1] + m[2][2] * v[2] };
}

Vec3 planesToProPhoto(double luma, double c1, double c2)
{
    using namespace PixelModel;
    const double b = luma + 2.0 * (c1 - neutral16);
    const double r = luma + 2.0 * (c2 - neutral16);
    // Luma weighs R, G and B; with R and B known, G is what makes the weighted sum come out.
    const double g = (luma * (1 << weightShift) - weightR * r - weightB * b) / weightG;
    return { std::clamp(r, 0.0, 65535.0), std::clamp(g, 0.0, 65535.0), std::clamp(b, 0.0, 65535.0) };
}

double proPhotoToLinear(double encoded) { return encoded <= 0.0 ? 0.0 : std::pow(encoded, 1.8); }

double linearToSrgb(double linear)
{
    if (linear <= 0.0031308)
        return std::max(0.0, 12.92 * linear);
    return 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

Vec3 xyzToLab(const Vec3 &xyz)
{
    const Vec3 &white = whiteD50();
    auto f = [](double t) {
        const double delta = 6.0 / 29.0;
        return t > delta * delta * delta ? std::cbrt(t) : t / (3.0 * delta * delta) + 4.0 / 29.0;
    };
    const double fx = f(xyz[0] / white[0]), fy = f(xyz[1] / white[1]), fz = f(xyz[2] / white[2]);
    return { 116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz) };
}

Colour fromPlanes(double luma, double c1, double c2)
{
    const Vec3 encoded = planesToProPhoto(luma, c1, c2);
    const Vec3 linear = { proPhotoToLinear(encoded[0] / 65535.0), proPhotoToLinear(encoded[1] / 65535.0),
        proPhotoToLinear(encoded[2] / 65535.0) };
    const Vec3 srgbLinear = multiply(proPhotoToLinearSrgb(), linear);
    Colour colour;
    for (int i = 0; i < 3; ++i)
        colour.srgb[i] = std::min(1.0, linearToSrgb(srgbLinear[i]));
    colour.lab = xyzToLab(multiply(proPhotoToXyz(), linear));
    return colour;
}

const Tables &tables()
{
    // Never destroyed, like the other lazily built tables of the library.
    static const Tables *instance = buildTables();
    return *instance;
}

}
