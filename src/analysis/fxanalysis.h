#ifndef FXANALYSIS_H
#define FXANALYSIS_H

#include "fxengine_export.h"

#include <QImage>
#include <string>

class TPImage;

// Analyses of an engine image for the host. Each works on three planes of the size of the
// image's colour planes: the luminance halved to that size and copies of the two colour
// planes; the image itself is not changed. The formats are those of MHist and THistDraw in
// the core library. Nothing is shared between calls.

// The image's colour histogram in MHist's text form (what MHist::load and the histogram
// parameter read back). Always true; an empty image gives the text of an empty histogram.
FXENGINE_EXPORT bool getCMHistogram(const TPImage &image, std::string &out);

// The image's colour theme as MHist::computeColorTheme describes it: palette, tone and
// colour character. Always true; for an empty image the three strings are empty.
FXENGINE_EXPORT bool getColorTheme(const TPImage &image, std::string &s1, std::string &s2, std::string &s3);

// The histogram chart of the image's display colours, w x h as THistDraw clamps them, in
// QImage::Format_RGB32. An empty image gives the empty chart.
FXENGINE_EXPORT QImage getHistogram(TPImage &image, int w, int h);

#endif
