#ifndef TFILTERLUT_H
#define TFILTERLUT_H

#include "fxengine_export.h"
#include "tfilteryc.h"

#include <vector>

class TImage;

// The base of point filters: filters whose output pixel depends only on the same input pixel
// (tone and colour adjustments). A derived filter supplies computePixel(), which maps one pixel
// given as 16-bit luminance and two 8-bit colour values (neutral 128). Instead of calling it per
// image pixel, the filter samples it on coarse grids (4096 luminance values, 64 x 64 colour pairs
// per chroma table), enlarges the samples into lookup tables by linear interpolation and maps the
// images through the tables. The colour pair may depend on luminance: with 2 to 32 chroma tables,
// each stands for one luminance band, and a pixel's colour is blended from the two tables around
// its luminance.
//
// Ports (from TFilterYC): "inY", "outY", "inC" (optional), "outC". The filter owns its tables and
// allocates them once (setupYLUT, setupCLUT); they are recomputed by proc() and reused. Wrong
// image types, mismatched sizes and a missing chroma table set in applyCLUT are programming errors
// and throw a C string (const char*) that the filter does not catch.
class FXENGINE_EXPORT TFilterLUT : public TFilterYC {
    Q_OBJECT
public:
    TFilterLUT(const QString &name, QObject *parent);
    ~TFilterLUT() override;

public slots:
    // When an input changed (or a derived filter called invalidateLUT since the last run):
    // recomputes the tables and maps "inC" into "outC" and "inY" into "outY", each output sized
    // to its input and emptied when its input has no image. Otherwise does nothing. Always
    // returns "". It does not mark the inputs consumed: the caller does (setProccessed).
    // An output that no longer owns its image is not written. With an input but no table for
    // it (no luminance table, or no chroma table) the input is copied unchanged.
    QString proc() override;

protected:
    static constexpr int maxCLUTExponent = 5;
    static constexpr int maxCLUT = 1 << maxCLUTExponent;
    static constexpr int lutSize = 65536;

    // Called at the start of every table computation, so that a derived filter can read its
    // parameters into its own fields. Empty here.
    virtual void setupParams();
    // Maps one pixel in place: luminance 0..65535, colour values 0..255 with neutral 128.
    virtual void computePixel(quint16 &y, quint8 &c1, quint8 &c2) = 0;

    // Allocates the luminance table if it is absent (filled with the identity until computed).
    void setupYLUT();
    // Sets the chroma exponent to min(exponent, 5): 2^exponent tables, none when negative.
    // Allocates the missing tables below that number (identity until computed), frees those at
    // or above it, and returns numCLUT().
    int setupCLUT(int exponent);
    // 2 to the chroma exponent, or 0 when it is negative.
    int numCLUT() const;
    // Fills the tables from computePixel: the luminance table from 4096 samples at y = 16 i
    // (entry 16 i holds sample i, entries in between are linear, entries 65520..65535 hold the
    // last sample); each chroma table from a 64 x 64 grid at colour values 4 i (entry 4 i holds
    // grid sample i, the same interpolation, 252..255 hold the last), table t sampled at the
    // centre of the t-th luminance band. Several chroma tables are computed only when the
    // luminance table exists; otherwise they keep what they held.
    void computeLUT();

    // Maps inY through the luminance table over the size of outY (the part that inY covers);
    // copies without a luminance table.
    void applyYLUT(const TImage *inY, TImage *outY);
    // Maps inC through chroma table 0 into outC (copies when there is no table 0). Throws on a
    // size or type mismatch.
    void applyCLUT(const TImage *inC, TImage *outC);
    // Maps inC into outC through the two chroma tables around each pixel's half-resolution 8-bit
    // luminance, blended by where the luminance lies in its band. Throws without chroma tables,
    // on a size or type mismatch, and when inY is not a luminance image. Pixels of outC beyond
    // the half-size luminance take the nearest luminance sample (mid-grey when inY is empty).
    void applyCLUT(const TImage *inY, const TImage *inC, TImage *outC);

    // Asks the next proc() to recompute the tables and map the inputs even though they have not
    // changed: what a derived filter's parameter setters call.
    void invalidateLUT();

    quint16 *m_lutY_p;
    int m_cExponent;
    quint16 *m_lutC_p[maxCLUT];

private:
    void computeYLUT();
    void computeCLUT(int table, quint16 luminance);
    // Luminance rows first .. end - 1 through the table (copied without one), over the part
    // that both images cover.
    void mapLumaRows(const TImage *inY, TImage *outY, int first, int end);
    // applyCLUT(inY, inC, outC); when outY is given and several tables are used, also maps inY
    // into outY and returns true.
    bool mapColourByBand(const TImage *inY, const TImage *inC, TImage *outC, TImage *outY);

    bool m_bLUTInvalid = false;
    // Each chroma table interleaved with the next one, so that the band mapping needs one look-up
    // per pixel. Remade from m_lutC_p on every band mapping, so it always follows the tables.
    std::vector<quint32> m_bandPairs;
};

#endif
