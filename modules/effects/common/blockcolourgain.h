#ifndef BLOCKCOLOURGAIN_H
#define BLOCKCOLOURGAIN_H

#include <functional>
#include <vector>

class TPImage;

// Colour that follows a luminance change: every colour sample's difference from neutral is
// scaled by the gain its 2 x 2 block's mean luminance reads from a table, so a pixel keeps its
// hue and saturation when a tone curve brightens or darkens it.
namespace BlockColourGain {
// The table's resolution: entry i holds the gain for block luminance in
// [i / steps, (i + 1) / steps) of the range.
constexpr int steps = 4096;

// eff's colour planes become work's, scaled by table (steps entries) at each block's mean
// luminance in work. goOn(row, rows) is asked every few dozen rows and stops the work (false)
// when it answers false.
bool apply(const TPImage &work, TPImage &eff, const std::vector<float> &table,
    const std::function<bool(int row, int rows)> &goOn);
}

#endif
