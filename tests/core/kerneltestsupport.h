#ifndef KERNELTESTSUPPORT_H
#define KERNELTESTSUPPORT_H

// Helpers shared by the kernel and view-sampling tests: seeded random planes, a counter of
// the core library's diagnostics, and element access that does not care about the depth.

#include "qximproca.h"

#include <QMetaType>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <opencv2/core.hpp>
#include <random>

namespace KernelTest {

// A plane size for data tables, named after itself ("rows x cols").
struct PlaneSize {
    const char *name;
    int rows;
    int cols;
};

inline cv::Mat randomPlane(int rows, int cols, int type, unsigned seed)
{
    cv::Mat m(rows, cols, type);
    std::mt19937 rng(seed);
    const int top = type == CV_8UC1 ? 255 : 65535;
    std::uniform_int_distribution<int> value(0, top);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            if (type == CV_8UC1)
                m.at<unsigned char>(y, x) = static_cast<unsigned char>(value(rng));
            else
                m.at<unsigned short>(y, x) = static_cast<unsigned short>(value(rng));
        }
    }
    return m;
}

inline int at(const cv::Mat &m, int y, int x)
{
    return m.depth() == CV_8U ? m.at<unsigned char>(y, x) : m.at<unsigned short>(y, x);
}

inline void put(cv::Mat &m, int y, int x, int v)
{
    if (m.depth() == CV_8U)
        m.at<unsigned char>(y, x) = static_cast<unsigned char>(v);
    else
        m.at<unsigned short>(y, x) = static_cast<unsigned short>(v);
}

// Largest absolute difference between two planes of one size; -1 when sizes differ.
inline int maxAbsDiff(const cv::Mat &a, const cv::Mat &b)
{
    if (a.rows != b.rows || a.cols != b.cols)
        return -1;
    int worst = 0;
    for (int y = 0; y < a.rows; ++y)
        for (int x = 0; x < a.cols; ++x)
            worst = std::max(worst, std::abs(at(a, y, x) - at(b, y, x)));
    return worst;
}

inline bool bIdentical(const cv::Mat &a, const cv::Mat &b) { return a.type() == b.type() && maxAbsDiff(a, b) == 0; }

// The 2x2 box average: each output is the mean of the samples of its block that exist,
// rounded half up.
inline cv::Mat referenceDown(const cv::Mat &src)
{
    cv::Mat dst((src.rows + 1) / 2, (src.cols + 1) / 2, src.type());
    for (int y = 0; y < dst.rows; ++y) {
        for (int x = 0; x < dst.cols; ++x) {
            int sum = 0, n = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx)
                    if (2 * y + dy < src.rows && 2 * x + dx < src.cols) {
                        sum += at(src, 2 * y + dy, 2 * x + dx);
                        ++n;
                    }
            put(dst, y, x, int(std::floor(double(sum) / n + 0.5)));
        }
    }
    return dst;
}

// The unrounded value of the centre-aligned 2x enlargement at output (x, y): that output
// sits at ((x + 0.5) / 2 - 0.5, (y + 0.5) / 2 - 0.5) in src, coordinates clamped at the edges.
inline double centredBilinear(const cv::Mat &src, int y, int x)
{
    const double fy = (y + 0.5) / 2 - 0.5;
    const double fx = (x + 0.5) / 2 - 0.5;
    const int y0 = int(std::floor(fy)), x0 = int(std::floor(fx));
    const double ay = fy - y0, ax = fx - x0;
    const auto s = [&](int yy, int xx) {
        return double(at(src, std::clamp(yy, 0, src.rows - 1), std::clamp(xx, 0, src.cols - 1)));
    };
    return (1 - ay) * ((1 - ax) * s(y0, x0) + ax * s(y0, x0 + 1))
        + ay * ((1 - ax) * s(y0 + 1, x0) + ax * s(y0 + 1, x0 + 1));
}

// Counts the lines the core library sends to its debug hook while the counter lives.
class DebugCounter {
public:
    DebugCounter()
        : m_previous(QXimproca::m_tDebug_p)
    {
        s_count = 0;
        QXimproca::m_tDebug_p = &DebugCounter::hook;
    }
    ~DebugCounter() { QXimproca::m_tDebug_p = m_previous; }
    int count() const { return s_count; }

private:
    static void hook(const char *) { ++s_count; }
    static inline int s_count = 0;
    void (*m_previous)(const char *);
};

}

Q_DECLARE_METATYPE(cv::Mat)

#endif
