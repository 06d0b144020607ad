#ifndef MHIST_H
#define MHIST_H

#include "qximproca1_export.h"

#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

// The colour histogram of a picture, as the engine analyses it: three planes of one size
// (luminance halved to the colour planes' size, first and second colour plane).
//
// It holds
//   - one histogram of 256 bins per plane: 16-bit samples fall into bin value >> 8, 8-bit
//     samples into bin value;
//   - a coarse joint histogram of the three planes, 16 luminance x 32 x 32 colour cells,
//     each with its sample count and the sums of its samples' values on the 16-bit scale,
//     so that the mean colour of every cell is exact. 8-bit samples enter it scaled to 16
//     bits (luminance x 257, colour differences 32768 + 257 * (value - 128), clamped).
// The joint histogram is what the colour theme is derived from, so a histogram read back
// from its text gives the same theme as the picture it was computed from.
//
// Text form (save/load): versioned, one item per line, only non-empty bins, e.g.
//   MHist 1
//   depth 16
//   total 6
//   plane 0
//   12 4
//   200 2
//   end
//   ... (planes 1 and 2)
//   cells 16 32 32
//   0 16 16 4 12288 131072 131072
//   ... (luminance cell, colour cells, count, three sums)
//   end
// load() accepts only what save() writes (lines may also end in CR LF) and checks that
// every count adds up; on any other text it returns false and keeps its content.
//
// Plain value type; copies are independent. Nothing here starts threads.
class QXIMPROCA1_EXPORT MHist {
public:
    static constexpr int numPlanes = 3;
    static constexpr int numBins = 256;
    static constexpr int lumaCells = 16;
    static constexpr int colourCells = 32;
    static constexpr int numCells = lumaCells * colourCells * colourCells;

    // One cell of the joint histogram: how many samples fell into it and the sums of their
    // luminance, first and second colour values (16-bit scale).
    struct Cell {
        std::uint64_t count = 0;
        std::uint64_t sum[numPlanes] = { 0, 0, 0 };
        bool operator==(const Cell &other) const;
    };

    // An empty histogram (no samples, depth 16).
    MHist();

    // Builds the histogram from three one-channel planes of one size and type (CV_16UC1 or
    // CV_8UC1): luminance, first colour, second colour. False, with a trace line and the
    // content unchanged, for anything else.
    bool compute(const std::vector<cv::Mat> &planes);
    // The same from one three-channel matrix (CV_16UC3 or CV_8UC3) holding the planes as
    // channels 0, 1, 2.
    bool computeMerged(const cv::Mat &merged);

    // Builds the histogram from merged (as computeMerged) and describes its colours:
    //   palette - up to five dominant colours as sRGB hex with their share of the picture,
    //             most frequent first: "#7a4b2c 31%, #d8d2c4 24%, ..."; found by weighted
    //             k-means in CIE Lab over the joint histogram's cell means (deterministic
    //             seeding), clusters closer than delta E 8 merged; colours that cover less
    //             than 1.5% are left out, so the shares need not add up to 100%;
    //   tone    - "<key>, <contrast> contrast" from the lightness (L*) of the luminance
    //             bins: key low-key (mean below 35), high-key (above 65) or mid-key;
    //             contrast low (standard deviation below 13), high (above 32) or normal;
    //   colours - "<temperature>, <harmony>": temperature warm, cool or neutral from the
    //             mean of (a* + b*) / sqrt(2) over the picture (beyond +4 / -4); harmony from
    //             the colour-wheel (HSV) hues of samples with chroma C* of at least 12:
    //             monochrome (under 10% of the picture is coloured, or 85% of the coloured
    //             samples lie within 30 degrees), analogous (85% within 90 degrees),
    //             complementary (80% in two 60-degree windows 150 to 210 degrees apart,
    //             each holding a tenth) or varied.
    // Colours are decoded from the planes as ProPhoto RGB (1.8 gamma) and converted to sRGB
    // with the Bradford-adapted matrix. Deterministic. On bad input false with all three
    // strings empty and the content unchanged.
    bool computeColorTheme(const cv::Mat &merged, std::string &palette, std::string &tone, std::string &colours);
    // The same description of the histogram already held; false (strings empty) when it
    // is empty.
    bool colorTheme(std::string &palette, std::string &tone, std::string &colours) const;

    // Reads the text form written by save(); false (keeping the previous content) on any
    // malformed text.
    bool load(const std::string &text);
    // Writes the text form; always succeeds.
    bool save(std::string &text) const;

    bool bEmpty() const { return m_total == 0; }
    // Bits per sample of the planes it was computed from: 8 or 16.
    int depth() const { return m_depth; }
    // Samples per plane.
    std::uint64_t total() const { return m_total; }
    // Samples of the plane in the bin; 0 outside the ranges.
    std::uint64_t count(int plane, int bin) const;
    // The joint histogram cell; indices are clamped into range.
    const Cell &cell(int luma, int colour1, int colour2) const;
    // The smallest bin below or at which at least fraction (0..1) of the plane's samples
    // lie; -1 for an empty histogram or a plane out of range.
    int percentileBin(int plane, double fraction) const;

    bool operator==(const MHist &other) const;
    bool operator!=(const MHist &other) const { return !(*this == other); }

private:
    template <typename Source> void accumulate(const Source &source, int rows, int cols, int depth);
    bool parse(const std::string &text);
    // Whether the plane histograms and the joint histogram describe the same samples.
    bool bConsistent() const;

    int m_depth = 16;
    std::uint64_t m_total = 0;
    std::uint64_t m_bins[numPlanes][numBins];
    std::vector<Cell> m_cells;
};

#endif
