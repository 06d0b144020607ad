#ifndef SEPARABLEGAUSSIAN_H
#define SEPARABLEGAUSSIAN_H

#include <opencv2/core.hpp>
#include <vector>

// A Gaussian blur of a vertical strip of a 16-bit plane, handed out one row at a time in float
// so that the caller can use each blurred row at once and no blurred plane is ever kept. Rows
// are blurred horizontally into a small ring of (2 * halfWidth + 1) rows and combined
// vertically on request; a strip a few hundred samples wide keeps that ring in the processor's
// second-level cache however wide the plane. Borders repeat the plane's edge samples. Runs on
// the caller's thread; keeps its buffers between uses so that the next strip allocates nothing.
class SeparableGaussian {
public:
    // The taps of a Gaussian of sigma (in samples) band-limited to the sampling grid: the
    // kernel whose spectrum is the continuous Gaussian's up to the Nyquist frequency. Unlike
    // the plainly sampled Gaussian it keeps its frequency response when sigma is below one
    // sample, so a blur at sigma / dec on a decimated level does what the full-resolution
    // blur does to the frequencies that level holds; as sigma goes to zero it becomes the
    // identity. taps[0] is the centre, taps[k] the weight at +k and -k for k up to
    // ceil(3.5 sigma) + 2; they add up to one.
    // A sigma that is not positive gives the identity ({ 1 }).
    static std::vector<float> bandLimitedTaps(double sigma);

    // Starts blurring the columns firstCol .. firstCol + cols - 1 of src (CV_16UC1, not empty;
    // the strip is clipped to the plane) with taps; src must stay alive and unchanged until the
    // last row was asked for.
    void start(const cv::Mat &src, const std::vector<float> &taps, int firstCol, int cols);
    // The strip's blurred row y (its cols floats, valid until the next call). Rows must be
    // asked for in increasing order, starting at 0.
    const float *blurredRow(int y);

private:
    void blurHorizontally(int srcRow, float *dst);
    float *ringRow(int virtualRow);

    const cv::Mat *m_src = nullptr;
    std::vector<float> m_taps;
    int m_halfWidth = 0;
    int m_firstCol = 0;
    int m_cols = 0;
    // The source rows blurred so far run up to this virtual row (rows outside the plane are
    // its edge rows repeated).
    int m_nextVirtualRow = 0;
    std::vector<float> m_padded;
    std::vector<float> m_ring;
    std::vector<float> m_out;
    std::vector<const float *> m_rowPointers;
};

#endif
