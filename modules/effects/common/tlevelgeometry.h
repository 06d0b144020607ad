#ifndef TLEVELGEOMETRY_H
#define TLEVELGEOMETRY_H

class TPImage;

// Where a level's pixels lie in the full-resolution picture. Every spatial quantity of the
// bundled effects (radii, vignette shape, the scale of local adjustments) is given in
// full-resolution pixels and goes through this, so that a view at any decimation shows what
// the full-resolution export shows, decimated.
//
// Coordinates are continuous: full-resolution pixel k covers [k, k + 1).
struct TLevelGeometry {
    int dec = 1;
    // The level's origin in full-resolution pixels.
    int x = 0;
    int y = 0;
    // The whole picture (level 0), whatever region the level shows.
    int fullWidth = 0;
    int fullHeight = 0;

    // The geometry of image, a level of a picture of fullWidth x fullHeight; dec below 1
    // counts as 1.
    static TLevelGeometry of(const TPImage &image, int fullWidth, int fullHeight);

    // A length in full-resolution pixels as a length on the luminance plane, and on a
    // half-resolution plane (colour planes, a half luminance plane).
    double toLuma(double fullPixels) const { return fullPixels / dec; }
    double toHalf(double fullPixels) const { return fullPixels / (2.0 * dec); }

    // Full-resolution centre of luminance sample (col, row): the sample averages the
    // dec x dec block starting at (x + col * dec, y + row * dec).
    double lumaCentreX(int col) const { return x + (col + 0.5) * dec; }
    double lumaCentreY(int row) const { return y + (row + 0.5) * dec; }
    // Full-resolution centre of colour-plane sample (col, row). A view's colour plane starts
    // at the half-resolution pixel (x / 2, y / 2), rounded down, and each sample averages
    // dec x dec half-resolution pixels.
    double colourCentreX(int col) const { return 2 * (x / 2) + (col + 0.5) * 2.0 * dec; }
    double colourCentreY(int row) const { return 2 * (y / 2) + (row + 0.5) * 2.0 * dec; }
    // Full-resolution centre of a half luminance sample (col, row), made from 2 x 2 luminance
    // samples of the level.
    double halfCentreX(int col) const { return x + (col + 0.5) * 2.0 * dec; }
    double halfCentreY(int row) const { return y + (row + 0.5) * 2.0 * dec; }
};

#endif
