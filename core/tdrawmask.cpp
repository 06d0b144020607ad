// The brush-mask engine: its queue, the order in which queued commands run, and the view of
// the mask at a level's resolution.
#include "blockaverage.h"
#include "coretrace.h"
#include "planepool.h"
#include "tdrawmask_p.h"
#include "tpimage.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

using CoreTrace::fail;
using DrawMask::Command;

namespace {

std::int64_t floorHalf(int v) { return v >= 0 ? v / 2 : -((-std::int64_t(v) + 1) / 2); }

Command command(Command::Kind kind)
{
    Command c;
    c.kind = kind;
    return c;
}

}

TDrawMask::TDrawMask()
    : d(std::make_unique<Private>())
{
}

TDrawMask::~TDrawMask() = default;

void TDrawMask::setInImage(const TPImage *image, bool bReset)
{
    if (!image)
        return;
    const cv::Mat &lum = image->m_lum;
    const int w = lum.cols, h = lum.rows;
    const cv::Size half((w + 1) / 2, (h + 1) / 2);
    if (lum.empty() || lum.type() != CV_16UC1 || lum.dims != 2) {
        fail("TDrawMask::setInImage", __LINE__, "the picture has no 16-bit luminance plane");
        return;
    }
    if (image->m_c1.type() != CV_16UC1 || image->m_c2.type() != CV_16UC1 || image->m_c1.size() != half
        || image->m_c2.size() != half) {
        fail("TDrawMask::setInImage", __LINE__, "the colour planes are not 16-bit planes of half the picture's size");
        return;
    }
    Private &p = *d;
    if (bReset || w != p.width || h != p.height) {
        p.bDroppedOutside |= !p.mask.empty();
        p.dropAll();
        p.width = w;
        p.height = h;
        p.tilesX = (w + DrawMask::tileSize - 1) / DrawMask::tileSize;
        p.tilesY = (h + DrawMask::tileSize - 1) / DrawMask::tileSize;
        const std::size_t tiles = std::size_t(p.tilesX) * std::size_t(p.tilesY);
        p.openMark.assign(tiles, 0);
        p.journalMark.assign(tiles, 0);
        p.sessionSlot.assign(tiles, -1);
    }
    // Headers only: the planes stay shared with the picture (and alive while we hold them).
    p.lum = lum;
    p.c1 = image->m_c1;
    p.c2 = image->m_c2;
    p.bPicture = true;
    m_width = w;
    m_height = h;
}

bool TDrawMask::proc()
{
    Private &p = *d;
    if (!p.bPicture) {
        // Nothing can run without a picture: the commands wait for one.
        m_changed = false;
        return p.queue.empty();
    }
    p.beginJournal();
    // Commands are taken out first so that the queue can be reused while they run.
    std::swap(p.running, p.queue);
    for (const Command &c : p.running)
        p.run(c);
    p.running.clear();
    m_changed = p.endJournal();
    return true;
}

const cv::Mat &TDrawMask::mask() const { return d->mask; }

cv::Mat TDrawMask::getMaskRoi(const cv::Rect_<int> &rect, int dec) const
{
    const cv::Mat &mask = d->mask;
    if (mask.empty() || rect.width <= 0 || rect.height <= 0)
        return cv::Mat();
    // Aligned with the level's colour planes: their samples start at the even full-resolution
    // pixel at or left of (above) the origin and each covers a 2 dec x 2 dec block.
    const int blockSize = 2 * std::clamp(dec, 1, 32);
    const std::int64_t x0 = 2 * floorHalf(rect.x), y0 = 2 * floorHalf(rect.y);
    const std::int64_t cols = (std::int64_t(rect.width) + 1) / 2, rows = (std::int64_t(rect.height) + 1) / 2;
    if (cols * rows > INT_MAX / 4) {
        fail("TDrawMask::getMaskRoi", __LINE__, "region too large");
        return cv::Mat();
    }
    cv::Mat out;
    try {
        PlanePool::createOwned(out, int(rows), int(cols), CV_8UC1);
    } catch (const cv::Exception &) {
        fail("TDrawMask::getMaskRoi", __LINE__, "cannot allocate the result");
        return cv::Mat();
    }
    if (blockSize <= 32)
        BlockAverage::average(mask, out, x0, y0, blockSize);
    else
        DrawMask::blockAverageAny(mask, out, x0, y0, blockSize);
    return out;
}

// --- queued calls ----------------------------------------------------------------------------

void TDrawMask::cmdSetValue(unsigned char value)
{
    Command c = command(Command::SetValue);
    c.value = value;
    d->queue.push_back(c);
}

void TDrawMask::cmdInvert() { d->queue.push_back(command(Command::Invert)); }

void TDrawMask::cmdSetColorPicker(const cv::Point_<int> &pos)
{
    Command c = command(Command::ColorPicker);
    c.a = pos;
    d->queue.push_back(c);
}

void TDrawMask::cmdDrawGradientMask(const cv::Point_<int> &start, const cv::Point_<int> &end, int type)
{
    Command c = command(Command::Gradient);
    c.a = start;
    c.b = end;
    c.i0 = type;
    d->queue.push_back(c);
}

void TDrawMask::cmdDrawStart() { d->queue.push_back(command(Command::DrawStart)); }

void TDrawMask::cmdDrawADot(const cv::Point_<int> &pos, unsigned char maskValue, int radius)
{
    cmdDrawADot(pos, maskValue, radius, radius / 2, 1.0f, false, false);
}

void TDrawMask::cmdDrawADot(const cv::Point_<int> &pos, unsigned char maskValue, int radius, int inRadius, float flow,
    bool bColorSensEnabled, bool bColorPickerEnabled)
{
    Command c = command(Command::Dot);
    c.a = pos;
    c.value = maskValue;
    c.i0 = radius;
    c.i1 = inRadius;
    c.f0 = flow;
    c.b0 = bColorSensEnabled;
    c.b1 = bColorPickerEnabled;
    d->queue.push_back(c);
}

void TDrawMask::cmdDrawEnd() { d->queue.push_back(command(Command::DrawEnd)); }

void TDrawMask::cmdDrawSuperMask(
    const cv::Point_<int> &centerPos, float size, float hardness, float featherSize, float colorAware, bool bInverted)
{
    Command c = command(Command::SuperMask);
    c.a = centerPos;
    c.f0 = size;
    c.f1 = hardness;
    c.f2 = featherSize;
    c.f3 = colorAware;
    c.b0 = bInverted;
    d->queue.push_back(c);
}

void TDrawMask::cmdPostFilter(float featherRadius, float featherEps, float featherContrast, float featherStrength)
{
    Command c = command(Command::PostFilter);
    c.f0 = featherRadius;
    c.f1 = featherEps;
    c.f2 = featherContrast;
    c.f3 = featherStrength;
    d->queue.push_back(c);
}

void TDrawMask::setMaskBlendValue(unsigned char value)
{
    Command c = command(Command::BlendValue);
    c.value = value;
    d->queue.push_back(c);
}

void TDrawMask::setMaskBlendMode(int mode)
{
    Command c = command(Command::BlendMode);
    c.i0 = mode;
    d->queue.push_back(c);
}

void TDrawMask::applyButtonClicked(bool bApply)
{
    Command c = command(Command::Apply);
    c.b0 = bApply;
    d->queue.push_back(c);
}

void TDrawMask::undo() { d->queue.push_back(command(Command::Undo)); }
void TDrawMask::redo() { d->queue.push_back(command(Command::Redo)); }
void TDrawMask::snapshot() { d->queue.push_back(command(Command::Snapshot)); }
void TDrawMask::reset() { d->queue.push_back(command(Command::Reset)); }

// --- running them ------------------------------------------------------------------------------

void TDrawMask::Private::run(const Command &c)
{
    switch (c.kind) {
    case Command::Dot:
        commitPending();
        dot(c);
        // Outside cmdDrawStart ... cmdDrawEnd every dab is a stroke (and an undo step) of its own.
        if (!bInStroke) {
            endSession();
            closeStep();
        }
        return;
    case Command::DrawStart:
        commitPending();
        endSession();
        closeStep();
        bInStroke = true;
        return;
    case Command::DrawEnd:
        endSession();
        closeStep();
        bInStroke = false;
        return;
    case Command::Snapshot:
        // A step boundary; a stroke in progress keeps its coverage, so its later dabs still do
        // not darken where they overlap its earlier ones.
        commitPending();
        closeStep();
        return;
    case Command::BlendValue:
        blendValue = c.value;
        return;
    case Command::BlendMode:
        if (c.i0 < BlendReplace || c.i0 > BlendMinimum)
            fail("TDrawMask::setMaskBlendMode", __LINE__, "mode must be 0 to 4");
        else
            blendMode = c.i0;
        return;
    case Command::ColorPicker:
        pickColourAt(c.a);
        return;
    case Command::Apply:
        if (c.b0)
            commitPending();
        else
            revertPending();
        return;
    case Command::Undo:
        endSession();
        closeStep();
        undo();
        return;
    case Command::Redo:
        endSession();
        closeStep();
        commitPending();
        redo();
        return;
    case Command::Reset:
        dropAll();
        return;
    case Command::Gradient:
    case Command::SuperMask:
        // Shown as a preview: a new shape replaces a pending one of its kind (the user is still
        // dragging it) and keeps one of the other kind. One that draws nothing changes nothing.
        if (!bShapeDraws(c))
            return;
        endSession();
        closeStep();
        revertPending(c.kind);
        commitPending();
        if (c.kind == Command::Gradient)
            gradient(c.a, c.b, c.i0);
        else
            superMask(c);
        open.pending = c.kind;
        closeStep();
        return;
    case Command::SetValue:
    case Command::Invert:
    case Command::PostFilter:
        commitPending();
        endSession();
        closeStep();
        if (c.kind == Command::SetValue)
            setValue(c.value);
        else if (c.kind == Command::Invert)
            invert();
        else
            postFilter(c.f0, c.f1, c.f2, c.f3);
        closeStep();
        return;
    }
}

void TDrawMask::Private::dropAll()
{
    endSession();
    bOpen = false;
    open = DrawMask::Step();
    std::fill(openMark.begin(), openMark.end(), 0);
    clearHistory();
    releaseMask();
}

void TDrawMask::Private::createMask()
{
    PlanePool::createOwned(mask, height, width, CV_8UC1);
    for (int y = 0; y < height; ++y)
        std::memset(mask.ptr(y), 255, std::size_t(width));
}

cv::Rect TDrawMask::Private::tileRect(int index) const
{
    const int x = index % tilesX * DrawMask::tileSize, y = index / tilesX * DrawMask::tileSize;
    return cv::Rect(x, y, std::min(DrawMask::tileSize, width - x), std::min(DrawMask::tileSize, height - y));
}

void TDrawMask::Private::prepare(const cv::Rect &rect)
{
    if (!bOpen) {
        open = DrawMask::Step();
        bOpen = true;
    }
    if (mask.empty()) {
        createMask();
        open.bCreated = true;
    }
    const cv::Rect r = rect & cv::Rect(0, 0, width, height);
    if (r.empty())
        return;
    const int tx0 = r.x / DrawMask::tileSize, tx1 = (r.x + r.width - 1) / DrawMask::tileSize;
    const int ty0 = r.y / DrawMask::tileSize, ty1 = (r.y + r.height - 1) / DrawMask::tileSize;
    for (int ty = ty0; ty <= ty1; ++ty)
        for (int tx = tx0; tx <= tx1; ++tx) {
            const int index = ty * tilesX + tx;
            if (!openMark[std::size_t(index)])
                recordTile(index);
            if (bJournal && !journalMark[std::size_t(index)])
                journalTile(index);
        }
}

// --- block averages past what BlockAverage takes ------------------------------------------------

void DrawMask::blockAverageAny(const cv::Mat &src, cv::Mat &dst, std::int64_t x0, std::int64_t y0, int blockSize)
{
    const auto cover = [blockSize](std::int64_t start, int n) {
        return std::pair(int(std::clamp<std::int64_t>(start, 0, n - 1)),
            int(std::clamp<std::int64_t>(start + blockSize - 1, 0, n - 1)));
    };
    std::vector<std::uint32_t> columns(std::size_t(src.cols));
    for (int i = 0; i < dst.rows; ++i) {
        const auto [top, bottom] = cover(y0 + std::int64_t(i) * blockSize, src.rows);
        // Column sums over the block row: every source sample is read once per block row.
        std::fill(columns.begin(), columns.end(), 0u);
        for (int y = top; y <= bottom; ++y) {
            const unsigned char *row = src.ptr(y);
            for (int x = 0; x < src.cols; ++x)
                columns[std::size_t(x)] += row[x];
        }
        unsigned char *out = dst.ptr(i);
        for (int j = 0; j < dst.cols; ++j) {
            const auto [left, right] = cover(x0 + std::int64_t(j) * blockSize, src.cols);
            std::uint64_t sum = 0;
            for (int x = left; x <= right; ++x)
                sum += columns[std::size_t(x)];
            const std::uint64_t n = std::uint64_t(bottom - top + 1) * std::uint64_t(right - left + 1);
            out[j] = static_cast<unsigned char>((2 * sum + n) / (2 * n));
        }
    }
}
