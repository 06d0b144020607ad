#include "tsampleimage.h"

#include <QRect>
#include <algorithm>
#include <cmath>

namespace {

struct Rgb {
    double r, g, b;
};

// Saturated and familiar colours: primaries, secondaries, skin, foliage, sky.
const Rgb chartColours[24] = {
    { 0.45, 0.32, 0.26 },
    { 0.77, 0.59, 0.51 },
    { 0.38, 0.48, 0.61 },
    { 0.34, 0.42, 0.26 },
    { 0.51, 0.50, 0.69 },
    { 0.40, 0.74, 0.67 },
    { 0.84, 0.49, 0.17 },
    { 0.31, 0.36, 0.65 },
    { 0.76, 0.33, 0.38 },
    { 0.36, 0.24, 0.42 },
    { 0.62, 0.74, 0.25 },
    { 0.88, 0.64, 0.18 },
    { 0.0, 0.0, 1.0 },
    { 0.0, 1.0, 0.0 },
    { 1.0, 0.0, 0.0 },
    { 1.0, 1.0, 0.0 },
    { 1.0, 0.0, 1.0 },
    { 0.0, 1.0, 1.0 },
    { 0.95, 0.95, 0.95 },
    { 0.75, 0.75, 0.75 },
    { 0.55, 0.55, 0.55 },
    { 0.35, 0.35, 0.35 },
    { 0.18, 0.18, 0.18 },
    { 0.05, 0.05, 0.05 },
};

unsigned char to8(double v) { return static_cast<unsigned char>(std::clamp(std::lround(v * 255.0), 0L, 255L)); }

Rgb background(double u, double v)
{
    const double horizon = 0.55;
    if (v < horizon) {
        const double t = v / horizon;
        return { 0.18 + 0.55 * t, 0.38 + 0.45 * t, 0.78 + 0.17 * t };
    }
    const double t = (v - horizon) / (1.0 - horizon);
    const double wave = 0.04 * std::sin(u * 9.0 + t * 3.0);
    return { 0.42 - 0.18 * t + wave, 0.36 - 0.12 * t + wave, 0.16 - 0.06 * t };
}

Rgb sphere(double dx, double dy, const Rgb &base)
{
    // Lambert shading with the light from the upper left.
    const double dz = std::sqrt(std::max(0.0, 1.0 - dx * dx - dy * dy));
    const double light = std::max(0.0, -0.5 * dx - 0.5 * dy + 0.7 * dz);
    const double shade = 0.15 + 0.85 * light;
    return { base.r * shade, base.g * shade, base.b * shade };
}
}

QRect TSampleImage::greyWedgeRect(int width, int height)
{
    return QRect(width / 20, height * 17 / 20, width * 18 / 20, std::max(1, height / 10));
}

QRect TSampleImage::colourChartRect(int width, int height)
{
    return QRect(width / 20, height * 9 / 20, width * 9 / 20, height * 7 / 20);
}

QImage TSampleImage::generate(int width, int height)
{
    if (width < 1 || height < 1)
        return QImage();
    QImage image(width, height, QImage::Format_ARGB32);
    if (image.isNull())
        return image;

    const QRect wedge = greyWedgeRect(width, height);
    const QRect chart = colourChartRect(width, height);
    const double sphereX = 0.72 * width, sphereY = 0.38 * height;
    const double sphereR = 0.16 * std::min(width, height);
    const double plateX = 0.8 * width, plateY = 0.74 * height;
    const double plateR = 0.12 * std::min(width, height);
    const QRect stripes(width * 55 / 100, height * 5 / 100, width * 15 / 100, height * 12 / 100);
    const int wedgeSteps = 11;

    for (int y = 0; y < height; ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        const double v = (y + 0.5) / height;
        for (int x = 0; x < width; ++x) {
            const double u = (x + 0.5) / width;
            Rgb c = background(u, v);
            const double sdx = (x - sphereX) / sphereR, sdy = (y - sphereY) / sphereR;
            const double pdx = x - plateX, pdy = y - plateY;
            if (wedge.contains(x, y)) {
                const int step = (x - wedge.x()) * wedgeSteps / std::max(1, wedge.width());
                const double grey = double(step) / (wedgeSteps - 1);
                c = { grey, grey, grey };
            } else if (chart.contains(x, y)) {
                const int col = (x - chart.x()) * 6 / std::max(1, chart.width());
                const int rowIndex = (y - chart.y()) * 4 / std::max(1, chart.height());
                c = chartColours[std::min(rowIndex, 3) * 6 + std::min(col, 5)];
            } else if (sdx * sdx + sdy * sdy <= 1.0) {
                c = sphere(sdx, sdy, { 0.85, 0.25, 0.12 });
            } else if (pdx * pdx + pdy * pdy <= plateR * plateR) {
                // Zone plate: rings whose frequency rises with the radius up to the pixel limit.
                const double k = M_PI / (2.0 * plateR);
                const double s = 0.5 + 0.5 * std::cos(k * (pdx * pdx + pdy * pdy));
                c = { s, s * 0.9 + 0.05, s * 0.8 + 0.1 };
            } else if (stripes.contains(x, y)) {
                const bool on = ((x + (y / 8)) & 1) != 0;
                c = on ? Rgb { 0.9, 0.85, 0.7 } : Rgb { 0.15, 0.2, 0.3 };
            }
            row[x] = qRgba(to8(c.r), to8(c.g), to8(c.b), 255);
        }
    }
    return image;
}
