#ifndef BLOCKAVERAGE_H
#define BLOCKAVERAGE_H

#include <cstdint>
#include <opencv2/core.hpp>

// Exact block averages of a plane (internal to the core library, not installed).
//
// dst is already rows x cols of src's type (8 or 16 bits, one channel). Result sample (i, j)
// is the rounded average (ties up) of the dec x dec block of src starting at
// (x0 + j * dec, y0 + i * dec), over the part of the block that lies inside src: a block cut
// by the edge averages what it covers, a block wholly outside takes the nearest samples
// inside. Every sample is read, so fine detail is averaged away instead of folding back as
// false patterns. dec is 2 to 32.
namespace BlockAverage {
void average(const cv::Mat &src, cv::Mat &dst, std::int64_t x0, std::int64_t y0, int dec);
}

#endif
