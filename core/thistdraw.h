#ifndef THISTDRAW_H
#define THISTDRAW_H

#include "qximproca1_export.h"

#include <cstdint>
#include <opencv2/core.hpp>

class TPImage;

// Draws the histogram of a picture's display colours the way a photo editor shows it.
//
// The picture's pixels are converted to 8-bit sRGB (ProPhoto decoded and Bradford-adapted,
// each pixel's colour taken from the colour planes' sample of its 2x2 block) and counted
// per channel. The chart shows the red, green and blue histograms as filled areas added
// together (red and green overlap as yellow, all three as light grey) with the luminance
// histogram (Rec. 709 weights of the sRGB values) as a white outline, on a dark background
// with faint quarter lines. It is scaled so that the tallest bin fills the height, where
// bins 0 and 255 are left out of that maximum (clipped shadows and highlights would
// otherwise flatten everything else) unless nothing else is there.
//
// Plain value type; nothing here starts threads.
class QXIMPROCA1_EXPORT THistDraw {
public:
    static constexpr int defaultWidth = 256;
    static constexpr int defaultHeight = 128;
    static constexpr int minimumSize = 16;
    static constexpr int maximumSize = 4096;

    THistDraw();

    // The size of the charts drawn from now on, each dimension clamped to 16..4096.
    void setHistSize(int width, int height);
    int width() const { return m_width; }
    int height() const { return m_height; }

    // Draws the chart of image into mat, which becomes CV_8UC3 (B, G, R) of height() rows by
    // width() columns, reusing its buffer when it has that size already. For an empty
    // image, or one whose planes do not fit together, mat shows the empty chart and the
    // result is false (with a trace line for the second case).
    bool getHistMat(cv::Mat &mat, const TPImage &image);

    // The counts of the last image drawn: channel 0 red, 1 green, 2 blue, 3 luminance.
    std::uint64_t count(int channel, int bin) const;

private:
    bool countImage(const TPImage &image);
    void draw(cv::Mat &mat) const;

    int m_width = defaultWidth;
    int m_height = defaultHeight;
    std::uint64_t m_counts[4][256];
};

#endif
