#ifndef TROI_H
#define TROI_H

#include "fxengine_export.h"

// A region of interest: width and height in level pixels, origin x, y in full-resolution
// pixels (always even after construction and set), and the decimation factor dec (one
// level pixel stands for dec x dec full-resolution pixels).
class FXENGINE_EXPORT TRoi {
public:
    TRoi(int width = 0, int height = 0, int x = 0, int y = 0, int dec = 1);

    // Stores like the constructor; false when x or y had to be made even.
    bool set(int width, int height, int x, int y, int dec);

    int width() const { return m_width; }
    int height() const { return m_height; }
    int x() const { return m_x; }
    int y() const { return m_y; }
    int dec() const { return m_dec; }

    bool bEmpty() const;
    // Shrinks the region to lie inside a full-resolution image of that size.
    void makeInside(int imageWidth, int imageHeight);

    bool operator==(const TRoi &other) const;
    bool operator!=(const TRoi &other) const { return !(*this == other); }

private:
    int m_width;
    int m_height;
    int m_x;
    int m_y;
    int m_dec;
};

#endif
