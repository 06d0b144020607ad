#ifndef GUIDEDFILTER_H
#define GUIDEDFILTER_H

#include <vector>

// A box window's radius: whole samples on each side plus a ring weighted by fraction.
struct BoxWindow {
    int whole;
    float fraction;
};

// Edge-aware smoothing of a float plane with a self-guided filter. Every box window fits the
// plane linearly to itself, q = a * p + b with a = var / (var + eps): a flat window is
// averaged (a near 0) while a window across an edge much stronger than sqrt(eps) keeps it
// (a near 1). Each sample then takes the mean a and b of the windows that contain it, so the
// smoothed plane (the base) follows strong edges without spreading them.
//
// Box means use running sums: the cost per sample does not depend on the radius. The radius
// may be fractional (the outermost ring of the window is weighted by the fraction) and
// windows are clipped at the plane's border, so a radius larger than the plane averages all
// of it. Runs on the calling thread; the scratch buffers are kept for the next call, so one
// instance per effect avoids allocating large buffers on every pass.
class GuidedFilter {
public:
    // Fits plane (cols x rows floats, row after row) with box radius radius (in samples;
    // below 0 counts as 0) and regularisation eps (in squared plane units; below a tiny
    // positive floor counts as that floor). Afterwards coefficientA() and coefficientB()
    // hold the averaged fit of every sample. A decisive fit pushes each window's slope
    // towards 0 or 1 (s^2 / (s^2 + (1 - s)^2)): texture a little above eps stays out of the
    // base while edges well above it are kept more exactly, so amplified detail has smaller
    // rims. False, and nothing fitted, for a null plane, sizes below 1 or a radius or eps
    // that is not finite.
    bool fit(const float *plane, int cols, int rows, float radius, float eps, bool decisive = false);

    // The fit of the last successful fit(), cols() x rows() each, row after row: the base
    // at a sample of the fitted plane p is coefficientA() * p + coefficientB().
    const float *coefficientA() const { return m_coefficientA.data(); }
    const float *coefficientB() const { return m_coefficientB.data(); }
    int cols() const { return m_cols; }
    int rows() const { return m_rows; }

    // The base of plane (the plane given to the last fit) into base, both cols() x rows();
    // base may be plane itself.
    void base(const float *plane, float *base) const;

private:
    // Box means of two planes at once, handed to consume(row, meansOfFirst, meansOfSecond)
    // row by row. With squareFirst the second plane is the square of the first (second is
    // not read). A row of the planes is read only before the means of that row are handed
    // over, so consume may write the means back into the planes.
    template <class Consumer>
    void boxMeans(const float *first, const float *second, bool squareFirst, Consumer consume);
    // Horizontal means of blockRows rows of plane (or of their squares) from firstRow into
    // the ring of channel channel.
    template <int blockRows> void horizontalRows(const float *plane, bool square, int firstRow, int channel);
    float *ringRow(int channel, int row);

    int m_cols = 0;
    int m_rows = 0;
    BoxWindow m_across = { 0, 0.0f };
    BoxWindow m_down = { 0, 0.0f };
    std::vector<float> m_coefficientA;
    std::vector<float> m_coefficientB;
    // Horizontal means of the rows the vertical window spans, per channel, in a ring.
    std::vector<float> m_ring[2];
    int m_ringRows = 0;
    // A block of rows, each with zeros beyond both ends so that the running sums need no
    // border tests.
    std::vector<float> m_strip;
    // Per column: the running sums of the inner window and of the window one ring larger.
    std::vector<float> m_innerSums[2];
    std::vector<float> m_outerSums[2];
    std::vector<float> m_means[2];
    // Stands in for the rows beyond the plane's top and bottom.
    std::vector<float> m_zeroRow;
    // The reciprocal of the window weight at every column and every row.
    std::vector<float> m_columnNorm;
    std::vector<float> m_rowNorm;
};

#endif
