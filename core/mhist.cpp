#include "mhist.h"

#include "coretrace.h"
#include "pixelmodel.h"
#include "qximproca.h"

#include <algorithm>
#include <cstring>

namespace {

bool fail(int line, const char *text) { return CoreTrace::fail("MHist::compute", line, text); }

// 16-bit samples: bins of 256 values; the joint histogram takes the values as they are.
struct Samples16 {
    using Type = unsigned short;
    static int bin(unsigned v) { return int(v >> 8); }
    static unsigned luma(unsigned v) { return v; }
    static unsigned colour(unsigned v) { return v; }
};

// 8-bit samples: a bin per value; the joint histogram gets them on the 16-bit scale, colour
// differences scaled around their neutral value so that 8-bit neutral stays neutral.
struct Samples8 {
    using Type = unsigned char;
    static int bin(unsigned v) { return int(v); }
    static unsigned luma(unsigned v) { return v * 257u; }
    static unsigned colour(unsigned v) { return colourTable().values[v]; }

    struct Table {
        unsigned values[256];
        Table()
        {
            for (int v = 0; v < 256; ++v)
                values[v] = unsigned(std::clamp(PixelModel::neutral16 + 257 * (v - PixelModel::neutral8), 0, 65535));
        }
    };
    static const Table &colourTable()
    {
        static const Table table;
        return table;
    }
};

// Reads the three planes of one row, either from three matrices or from the channels of a
// merged one (step 3).
template <typename Traits, int Step> struct Reader {
    using TraitsType = Traits;
    static constexpr int step = Step;
    const cv::Mat *mats[MHist::numPlanes];
    void row(int y, const typename Traits::Type **p) const
    {
        for (int i = 0; i < MHist::numPlanes; ++i)
            p[i] = Step == 1 ? mats[i]->template ptr<typename Traits::Type>(y)
                             : mats[0]->template ptr<typename Traits::Type>(y) + i;
    }
};

int cellIndex(unsigned luma, unsigned colour1, unsigned colour2)
{
    return int(((luma >> 12) << 10) | ((colour1 >> 11) << 5) | (colour2 >> 11));
}

}

template <typename Source> void MHist::accumulate(const Source &source, int rows, int cols, int depth)
{
    using Traits = typename Source::TraitsType;
    constexpr int step = Source::step;
    m_depth = depth;
    m_total = std::uint64_t(rows) * std::uint64_t(cols);
    std::memset(m_bins, 0, sizeof(m_bins));
    m_cells.assign(numCells, Cell());
    Cell *cells = m_cells.data();
    for (int y = 0; y < rows; ++y) {
        const typename Traits::Type *p[numPlanes];
        source.row(y, p);
        for (int x = 0; x < cols; ++x) {
            const unsigned v0 = p[0][x * step], v1 = p[1][x * step], v2 = p[2][x * step];
            ++m_bins[0][Traits::bin(v0)];
            ++m_bins[1][Traits::bin(v1)];
            ++m_bins[2][Traits::bin(v2)];
            const unsigned l = Traits::luma(v0), c1 = Traits::colour(v1), c2 = Traits::colour(v2);
            Cell &cell = cells[cellIndex(l, c1, c2)];
            ++cell.count;
            cell.sum[0] += l;
            cell.sum[1] += c1;
            cell.sum[2] += c2;
        }
    }
}

bool MHist::Cell::operator==(const Cell &other) const
{
    return count == other.count && sum[0] == other.sum[0] && sum[1] == other.sum[1] && sum[2] == other.sum[2];
}

MHist::MHist()
    : m_bins {}
    , m_cells(numCells)
{
}

bool MHist::compute(const std::vector<cv::Mat> &planes)
{
    if (planes.size() != numPlanes)
        return fail(__LINE__, "three planes are needed");
    const cv::Mat &first = planes[0];
    if (first.empty() || first.dims != 2 || (first.type() != CV_16UC1 && first.type() != CV_8UC1))
        return fail(__LINE__, "planes must be 8 or 16-bit with one channel");
    for (const cv::Mat &plane : planes) {
        if (plane.dims != 2 || plane.rows != first.rows || plane.cols != first.cols || plane.type() != first.type())
            return fail(__LINE__, "planes differ in size or type");
    }
    if (first.depth() == CV_16U) {
        Reader<Samples16, 1> reader { { &planes[0], &planes[1], &planes[2] } };
        accumulate(reader, first.rows, first.cols, 16);
    } else {
        Reader<Samples8, 1> reader { { &planes[0], &planes[1], &planes[2] } };
        accumulate(reader, first.rows, first.cols, 8);
    }
    return true;
}

bool MHist::computeMerged(const cv::Mat &merged)
{
    if (merged.empty() || merged.dims != 2 || (merged.type() != CV_16UC3 && merged.type() != CV_8UC3))
        return fail(__LINE__, "a non-empty 8 or 16-bit matrix of three channels is needed");
    if (merged.depth() == CV_16U) {
        Reader<Samples16, 3> reader { { &merged, nullptr, nullptr } };
        accumulate(reader, merged.rows, merged.cols, 16);
    } else {
        Reader<Samples8, 3> reader { { &merged, nullptr, nullptr } };
        accumulate(reader, merged.rows, merged.cols, 8);
    }
    return true;
}

std::uint64_t MHist::count(int plane, int bin) const
{
    if (plane < 0 || plane >= numPlanes || bin < 0 || bin >= numBins)
        return 0;
    return m_bins[plane][bin];
}

const MHist::Cell &MHist::cell(int luma, int colour1, int colour2) const
{
    luma = std::clamp(luma, 0, lumaCells - 1);
    colour1 = std::clamp(colour1, 0, colourCells - 1);
    colour2 = std::clamp(colour2, 0, colourCells - 1);
    return m_cells[std::size_t(cellIndex(unsigned(luma) << 12, unsigned(colour1) << 11, unsigned(colour2) << 11))];
}

int MHist::percentileBin(int plane, double fraction) const
{
    if (plane < 0 || plane >= numPlanes || m_total == 0)
        return -1;
    const double wanted = std::clamp(fraction, 0.0, 1.0) * double(m_total);
    std::uint64_t seen = 0;
    for (int bin = 0; bin < numBins; ++bin) {
        seen += m_bins[plane][bin];
        if (seen > 0 && double(seen) >= wanted)
            return bin;
    }
    return numBins - 1;
}

bool MHist::operator==(const MHist &other) const
{
    return m_depth == other.m_depth && m_total == other.m_total
        && std::memcmp(m_bins, other.m_bins, sizeof(m_bins)) == 0 && m_cells == other.m_cells;
}

bool MHist::bConsistent() const
{
    // Gathered into the cells' ranges along its axis, each plane's bins must give the same
    // counts as the joint histogram.
    for (int plane = 0; plane < numPlanes; ++plane) {
        std::uint64_t fromBins[colourCells] = {};
        std::uint64_t fromCells[colourCells] = {};
        for (int bin = 0; bin < numBins; ++bin) {
            int axis;
            if (m_depth == 16)
                axis = plane == 0 ? bin >> 4 : bin >> 3;
            else
                axis = plane == 0 ? int(Samples8::luma(unsigned(bin)) >> 12)
                                  : int(Samples8::colour(unsigned(bin)) >> 11);
            fromBins[axis] += m_bins[plane][bin];
        }
        for (int i = 0; i < numCells; ++i) {
            const int axis = plane == 0 ? i >> 10 : plane == 1 ? (i >> 5) & (colourCells - 1) : i & (colourCells - 1);
            fromCells[axis] += m_cells[std::size_t(i)].count;
        }
        if (std::memcmp(fromBins, fromCells, sizeof(fromBins)) != 0) {
            QXimproca::debug(QXimproca::traceMsg("MHist::load", __LINE__, "planes and cells disagree"));
            return false;
        }
    }
    return true;
}
