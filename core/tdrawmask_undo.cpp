// The mask's history and the change check of one proc(). Both work on whole tiles: an edit
// first records every tile it is about to write (prepare), and only tiles that really changed
// are kept once the step closes, so a small stroke on a large mask costs a few tiles.
#include "planepool.h"
#include "tdrawmask_p.h"

#include <algorithm>
#include <cstring>

using DrawMask::SavedTile;
using DrawMask::Step;

namespace {

// What the history may hold; see undoLimit().
constexpr std::size_t historyLimit = std::size_t(64) << 20;
// What one heap block costs beyond its payload, charged so that the bound holds for many
// small steps too.
constexpr std::size_t blockOverhead = 16;

void copyOut(const cv::Mat &mask, const cv::Rect &r, std::vector<unsigned char> &bytes)
{
    bytes.resize(std::size_t(r.width) * std::size_t(r.height));
    for (int y = 0; y < r.height; ++y)
        std::memcpy(
            bytes.data() + std::size_t(y) * std::size_t(r.width), mask.ptr(r.y + y) + r.x, std::size_t(r.width));
}

void copyIn(const SavedTile &tile, cv::Mat &mask, const cv::Rect &r)
{
    for (int y = 0; y < r.height; ++y) {
        unsigned char *row = mask.ptr(r.y + y) + r.x;
        if (tile.bUniform)
            std::memset(row, tile.value, std::size_t(r.width));
        else
            std::memcpy(row, tile.bytes.data() + std::size_t(y) * std::size_t(r.width), std::size_t(r.width));
    }
}

bool sameAsMask(const SavedTile &tile, const cv::Mat &mask, const cv::Rect &r)
{
    for (int y = 0; y < r.height; ++y) {
        const unsigned char *row = mask.ptr(r.y + y) + r.x;
        if (tile.bUniform) {
            for (int x = 0; x < r.width; ++x)
                if (row[x] != tile.value)
                    return false;
        } else if (std::memcmp(row, tile.bytes.data() + std::size_t(y) * std::size_t(r.width), std::size_t(r.width))) {
            return false;
        }
    }
    return true;
}

// Keeps a tile of a single value as that value alone.
void compact(SavedTile &tile)
{
    if (tile.bUniform || tile.bytes.empty())
        return;
    const unsigned char first = tile.bytes.front();
    if (std::all_of(tile.bytes.begin(), tile.bytes.end(), [first](unsigned char v) { return v == first; })) {
        tile.bUniform = true;
        tile.value = first;
        std::vector<unsigned char>().swap(tile.bytes);
    }
}

std::size_t bytesOf(const Step &step)
{
    std::size_t bytes = sizeof(Step) + blockOverhead + step.tiles.capacity() * sizeof(SavedTile);
    for (const SavedTile &tile : step.tiles)
        if (tile.bytes.capacity())
            bytes += tile.bytes.capacity() + blockOverhead;
    return bytes;
}

}

std::size_t TDrawMask::undoLimit() { return historyLimit; }

void TDrawMask::Private::recordTile(int index)
{
    SavedTile tile;
    tile.index = index;
    copyOut(mask, tileRect(index), tile.bytes);
    open.tiles.push_back(std::move(tile));
    openMark[std::size_t(index)] = 1;
}

void TDrawMask::Private::closeStep()
{
    if (!bOpen)
        return;
    bOpen = false;
    Step step = std::move(open);
    open = Step();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < step.tiles.size(); ++i) {
        SavedTile &tile = step.tiles[i];
        openMark[std::size_t(tile.index)] = 0;
        if (!mask.empty() && sameAsMask(tile, mask, tileRect(tile.index)))
            continue;
        compact(tile);
        if (kept != i)
            step.tiles[kept] = std::move(tile);
        ++kept;
    }
    step.tiles.resize(kept);
    step.tiles.shrink_to_fit();
    // An edit that changed nothing is no step, and leaves what can be redone alone.
    if (step.tiles.empty() && !step.bCreated)
        return;
    for (const Step &dropped : redoSteps)
        historyBytes -= dropped.bytes;
    redoSteps.clear();
    step.bytes = bytesOf(step);
    historyBytes += step.bytes;
    undoSteps.push_back(std::move(step));
    trimHistory();
}

// Puts the step's tiles into the mask and keeps what the mask held there instead, so the
// step can go the other way later.
void TDrawMask::Private::swapTiles(Step &step)
{
    std::vector<unsigned char> current;
    for (SavedTile &tile : step.tiles) {
        const cv::Rect r = tileRect(tile.index);
        if (bJournal && !journalMark[std::size_t(tile.index)])
            journalTile(tile.index);
        copyOut(mask, r, current);
        copyIn(tile, mask, r);
        tile.bUniform = false;
        tile.bytes.swap(current);
        compact(tile);
    }
}

void TDrawMask::Private::undo()
{
    if (undoSteps.empty() || mask.empty())
        return;
    Step step = std::move(undoSteps.back());
    undoSteps.pop_back();
    historyBytes -= step.bytes;
    step.pending = -1;
    swapTiles(step);
    if (step.bCreated)
        releaseMask();
    step.bytes = bytesOf(step);
    historyBytes += step.bytes;
    redoSteps.push_back(std::move(step));
    trimHistory();
}

void TDrawMask::Private::redo()
{
    if (redoSteps.empty())
        return;
    Step step = std::move(redoSteps.back());
    redoSteps.pop_back();
    historyBytes -= step.bytes;
    if (mask.empty()) {
        // Only a step that made the mask can be redone onto no mask.
        if (!step.bCreated) {
            clearHistory();
            return;
        }
        createMask();
    }
    swapTiles(step);
    step.bytes = bytesOf(step);
    historyBytes += step.bytes;
    undoSteps.push_back(std::move(step));
    trimHistory();
}

void TDrawMask::Private::revertPending(int kind)
{
    if (undoSteps.empty() || undoSteps.back().pending < 0 || (kind >= 0 && undoSteps.back().pending != kind))
        return;
    Step step = std::move(undoSteps.back());
    undoSteps.pop_back();
    historyBytes -= step.bytes;
    if (mask.empty())
        return;
    for (const SavedTile &tile : step.tiles) {
        if (bJournal && !journalMark[std::size_t(tile.index)])
            journalTile(tile.index);
        copyIn(tile, mask, tileRect(tile.index));
    }
    if (step.bCreated)
        releaseMask();
}

void TDrawMask::Private::commitPending()
{
    if (!undoSteps.empty())
        undoSteps.back().pending = -1;
}

void TDrawMask::Private::trimHistory()
{
    // The oldest steps go first; what can be redone only when nothing else is left.
    while (historyBytes > historyLimit && !undoSteps.empty()) {
        historyBytes -= undoSteps.front().bytes;
        undoSteps.pop_front();
    }
    while (historyBytes > historyLimit && !redoSteps.empty()) {
        historyBytes -= redoSteps.front().bytes;
        redoSteps.erase(redoSteps.begin());
    }
}

void TDrawMask::Private::clearHistory()
{
    undoSteps.clear();
    redoSteps.clear();
    historyBytes = 0;
}

// --- change check ------------------------------------------------------------------------------

void TDrawMask::Private::beginJournal()
{
    bExistedAtStart = !mask.empty();
    bJournal = bExistedAtStart;
    if (bJournal)
        PlanePool::createOwned(journal, height, width, CV_8UC1);
}

void TDrawMask::Private::journalTile(int index)
{
    const cv::Rect r = tileRect(index);
    mask(r).copyTo(journal(r));
    journalMark[std::size_t(index)] = 1;
    journalTiles.push_back(index);
}

void TDrawMask::Private::journalAll()
{
    const int tiles = tilesX * tilesY;
    for (int index = 0; index < tiles; ++index)
        if (!journalMark[std::size_t(index)])
            journalTile(index);
}

bool TDrawMask::Private::endJournal()
{
    bool bChanged = bDroppedOutside || bExistedAtStart != !mask.empty();
    bDroppedOutside = false;
    for (int index : journalTiles) {
        journalMark[std::size_t(index)] = 0;
        if (bChanged || mask.empty())
            continue;
        const cv::Rect r = tileRect(index);
        for (int y = r.y; y < r.y + r.height && !bChanged; ++y)
            bChanged = std::memcmp(mask.ptr(y) + r.x, journal.ptr(y) + r.x, std::size_t(r.width)) != 0;
    }
    journalTiles.clear();
    bJournal = false;
    return bChanged;
}

void TDrawMask::Private::releaseMask()
{
    if (bJournal && !mask.empty())
        journalAll();
    mask.release();
}
