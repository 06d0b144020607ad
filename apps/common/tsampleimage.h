#ifndef TSAMPLEIMAGE_H
#define TSAMPLEIMAGE_H

#include <QImage>

// A photo-like sample picture made in code, at any size: a sky and ground of smooth
// gradients, a shaded sphere, a chart of saturated colour patches, a wedge of exactly neutral
// greys, and fine detail (a zone plate and one-pixel stripes). The same size always gives
// the same pixels. Lets hosts, tests and benchmarks run without a picture file, up to
// 24 MP and beyond.
class TSampleImage {
public:
    // An ARGB32 opaque image; a null image for sizes below 1 or too large to allocate.
    static QImage generate(int width, int height);

    // Where the neutral wedge and the colour chart lie, for callers that check them.
    static QRect greyWedgeRect(int width, int height);
    static QRect colourChartRect(int width, int height);
};

#endif
