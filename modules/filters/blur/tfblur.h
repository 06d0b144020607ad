#ifndef TFBLUR_H
#define TFBLUR_H

#include <tfilteryc.h>

class TImage;

// "TFBlur": a smooth, nearly Gaussian blur of luminance and colour.
//
// Ports (TFilterYC): "inY", "outY", "inC" (optional), "outC". The blur is three box passes
// across the rows, then three down the columns; each box reaches radius / 3 pixels to either
// side, the samples at a fractional reach weighed by the fraction, so the whole blur reaches
// exactly radius pixels and changes smoothly with it (its spread is close to a Gaussian's
// with sigma = radius / 3). Pixels beyond the edge repeat the edge pixel. The result of the
// row passes is rounded to the image's sample type before the column passes. Colour, at half
// the luminance resolution, is blurred by radius / 2, so both reach the same distance in the
// picture. Radius 0 copies.
//
// proc() returns an error text when "inY" shows no image; without a colour image "outC" is
// emptied. Nothing is computed when neither an input nor the radius changed since the last
// run; a run consumes its inputs. The cancel flag is looked at every few rows: a cancelled
// run returns a code beginning with "UC", clears the flag and leaves its inputs unconsumed.
// Work memory: a few rows, and a band of 64 columns over the image's height, of floats.
class TFBlur : public TFilterYC {
    Q_OBJECT
public:
    TFBlur(const QString &name, QObject *parent);

public slots:
    QString proc() override;
    // Pixels of the luminance, 0..100, clamped; a value that is not a number is ignored.
    void setRadius(float radius);
    float radius() const;

private:
    bool blurImage(const TImage &in, TImage &out, float radius);

    float m_radius = 0.0f;
    bool m_bRadiusChanged = true;
};

#endif
