#ifndef CORETESTSUPPORT_H
#define CORETESTSUPPORT_H

// Helpers shared by the core library's tests: seeded random planes, depth-blind sample access,
// the 2x2 box average and the centre-aligned bilinear sample written from their definitions,
// and a check that a call with bad arguments fails cleanly.

#include "qximproca.h"

#include <QFile>
#include <QString>
#include <QTest>
#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <opencv2/core.hpp>
#include <unistd.h>

struct PlaneSize {
    const char *name;
    int rows, cols;
};
// 1x1, a single row and column, odd and even sizes, and one wider than the kernels' neighbourhoods.
const PlaneSize sweepSizes[]
    = { { "1x1", 1, 1 }, { "1x7", 1, 7 }, { "7x1", 7, 1 }, { "3x5", 3, 5 }, { "4x6", 4, 6 }, { "17x33", 17, 33 } };

// A call with bad arguments, given a destination that it must leave alone.
using Call = std::function<bool(cv::Mat &)>;
Q_DECLARE_METATYPE(Call)
Q_DECLARE_METATYPE(PlaneSize)

inline int maxOf(int type) { return type == CV_8UC1 ? 255 : 65535; }
inline int at(const cv::Mat &m, int y, int x) { return m.depth() == CV_8U ? m.at<uchar>(y, x) : m.at<ushort>(y, x); }
inline void put(cv::Mat &m, int y, int x, int v)
{
    m.depth() == CV_8U ? void(m.at<uchar>(y, x) = uchar(v)) : void(m.at<ushort>(y, x) = ushort(v));
}

// Samples uniform over 0..top (the type's whole range by default).
inline cv::Mat randomPlane(int rows, int cols, int type, unsigned seed, int top = -1)
{
    cv::Mat m(rows, cols, type);
    cv::RNG(seed).fill(m, cv::RNG::UNIFORM, 0, (top < 0 ? maxOf(type) : top) + 1);
    return m;
}

// Largest difference of any sample; INT_MAX when sizes or types differ.
inline int maxAbsDiff(const cv::Mat &a, const cv::Mat &b)
{
    return a.size() != b.size() || a.type() != b.type() ? INT_MAX : a.empty() ? 0 : int(cv::norm(a, b, cv::NORM_INF));
}

// fmt with each %n replaced by the next argument, as QString::arg does.
template <typename... Args> QString msg(const char *fmt, const Args &...args)
{
    QString text(fmt);
    ((text = text.arg(args)), ...);
    return text;
}

// Empty when every sample of actual is within tolerance of expected, else the largest
// difference with where it is and both values (or the sizes and types when those differ),
// after context when given. Any number of channels.
inline QString planeMismatch(
    const cv::Mat &actual, const cv::Mat &expected, int tolerance = 0, const QString &context = QString())
{
    const QString prefix = context.isEmpty() ? QString() : context + ": ";
    if (actual.size() != expected.size() || actual.type() != expected.type())
        return prefix
            + msg("%1 x %2 of type %3, expected %4 x %5 of type %6", actual.cols, actual.rows, actual.type(),
                expected.cols, expected.rows, expected.type());
    if (actual.empty())
        return QString();
    cv::Mat difference;
    cv::absdiff(actual, expected, difference);
    double worst = 0;
    cv::Point where;
    cv::minMaxLoc(difference.reshape(1), nullptr, &worst, nullptr, &where);
    if (worst <= tolerance)
        return QString();
    const auto value = [&](const cv::Mat &m) {
        cv::Mat one;
        m.reshape(1)(cv::Rect(where, cv::Size(1, 1))).convertTo(one, CV_64F);
        return one.at<double>(0);
    };
    const int channels = actual.channels();
    return prefix
        + msg("largest difference %1 (%2 allowed) at x %3, y %4%5: %6, expected %7", worst, tolerance,
            where.x / channels, where.y, channels > 1 ? msg(", channel %1", where.x % channels) : QString(),
            value(actual), value(expected));
}

// The rounded mean (ties up) of the samples of plane in rows top..top+h-1 and columns
// left..left+w-1, each range clamped to the plane: a block wholly outside stands for the
// nearest samples inside.
inline int clampedBlockMean(const cv::Mat &plane, int top, int left, int h, int w)
{
    const int y0 = std::clamp(top, 0, plane.rows - 1), y1 = std::clamp(top + h - 1, 0, plane.rows - 1);
    const int x0 = std::clamp(left, 0, plane.cols - 1), x1 = std::clamp(left + w - 1, 0, plane.cols - 1);
    const std::int64_t n = std::int64_t(y1 - y0 + 1) * (x1 - x0 + 1);
    const auto sum = std::int64_t(cv::sum(plane(cv::Range(y0, y1 + 1), cv::Range(x0, x1 + 1)))[0]);
    return int((2 * sum + n) / (2 * n));
}

// Fails the test with the text of a mismatch (planeMismatch) unless it is empty.
#define FX_VERIFY_NO_MISMATCH(text)                                                                                    \
    do {                                                                                                               \
        const QString fxMismatch = (text);                                                                             \
        QVERIFY2(fxMismatch.isEmpty(), qPrintable(fxMismatch));                                                        \
    } while (false)

// QCOMPARE prints these types through Qt Test's lookup by argument.
namespace cv {
inline char *toString(const Size &size) { return qstrdup(qPrintable(msg("%1 x %2", size.width, size.height))); }
inline char *toString(const Vec3b &p) { return qstrdup(qPrintable(msg("(%1, %2, %3)", p[0], p[1], p[2]))); }
}

// Each output the mean of the samples of its 2x2 block that exist, rounded half up.
inline cv::Mat referenceDown(const cv::Mat &src)
{
    cv::Mat dst((src.rows + 1) / 2, (src.cols + 1) / 2, src.type());
    for (int i = 0; i < int(dst.total()); ++i) {
        const int y = i / dst.cols * 2, x = i % dst.cols * 2, h = std::min(2, src.rows - y),
                  w = std::min(2, src.cols - x);
        put(dst, y / 2, x / 2, int(std::floor(cv::sum(src(cv::Rect(x, y, w, h)))[0] / (w * h) + 0.5)));
    }
    return dst;
}

// The unrounded 2x enlargement at output (x, y), which sits at ((x + 0.5) / 2 - 0.5,
// (y + 0.5) / 2 - 0.5) in src; coordinates clamped at the edges.
inline double centredBilinear(const cv::Mat &src, int y, int x)
{
    const double fy = (y + 0.5) / 2 - 0.5, fx = (x + 0.5) / 2 - 0.5, ay = fy - std::floor(fy), ax = fx - std::floor(fx);
    const auto s = [&](double yy, double xx) {
        return at(
            src, std::clamp(int(std::floor(yy)), 0, src.rows - 1), std::clamp(int(std::floor(xx)), 0, src.cols - 1));
    };
    return (1 - ay) * ((1 - ax) * s(fy, fx) + ax * s(fy, fx + 1))
        + ay * ((1 - ax) * s(fy + 1, fx) + ax * s(fy + 1, fx + 1));
}

// Counts the lines the core library sends to its debug hook while it lives, and keeps the last.
struct DebugCounter {
    static inline int count = 0;
    static inline std::string last;
    static void hook(const char *text) { ++count, last = text; }
    DebugCounter() { count = 0, last.clear(), QXimproca::m_tDebug_p = hook; }
    ~DebugCounter() { QXimproca::m_tDebug_p = nullptr; }
};

// Rows of 8-bit and 16-bit planes of every sweep size.
inline void addTypeSizeRows()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<PlaneSize>("size");
    for (int type : { CV_8UC1, CV_16UC1 })
        for (const PlaneSize &s : sweepSizes)
            QTest::addRow("%s/%dbit", s.name, type == CV_8UC1 ? 8 : 16) << type << s;
}

inline void addCall(const char *name, const Call &call, bool traced = true) { QTest::newRow(name) << call << traced; }
inline void addUntracedCall(const char *name, const Call &call) { addCall(name, call, false); }

// The row's call returns false, leaves its destination (3x3, 16-bit, all 77) alone and, when
// traced, sends one diagnostic.
inline void verifyRejectedCleanly()
{
    QFETCH(Call, call);
    QFETCH(bool, traced);
    const cv::Mat untouched(3, 3, CV_16UC1, cv::Scalar(77));
    cv::Mat dst = untouched.clone();
    DebugCounter debug;
    QCOMPARE(call(dst), false);
    if (traced)
        QCOMPARE(DebugCounter::count, 1);
    FX_VERIFY_NO_MISMATCH(planeMismatch(dst, untouched, 0, "destination"));
}

// Resident memory of this process in bytes (0 where /proc is missing).
inline std::size_t residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? std::size_t(fields.at(1).toULongLong()) * std::size_t(sysconf(_SC_PAGESIZE)) : 0;
}

#endif
