#include "tlevelgeometry.h"

#include <algorithm>
#include <tpimage.h>

TLevelGeometry TLevelGeometry::of(const TPImage &image, int fullWidth, int fullHeight)
{
    TLevelGeometry g;
    g.dec = std::max(1, image.m_dec);
    g.x = image.m_x;
    g.y = image.m_y;
    g.fullWidth = fullWidth;
    g.fullHeight = fullHeight;
    return g;
}
