#ifndef TFDRAWMASK_H
#define TFDRAWMASK_H

#include <QPoint>
#include <tdrawmask.h>
#include <tfilter.h>
#include <tpimage.h>

class TInport;
class TOutport;

// "TFDrawMask": a filter that owns a brush-mask engine and gives the mask painted on its
// picture.
//
// Ports, in child order: "inY" (Y, the picture's luminance), "inC" (C, optional, its colour,
// read by colour-aware painting), "inM" (M, optional, the mask to start from), "outM" (M,
// owning). While nothing is drawn "outM" passes "inM" through unchanged (the same size and
// values); without an "inM" image (or with an empty one) it is a fully selected mask (255) of
// the "inY" size, and empty when "inY" is empty. Once something is drawn it is the engine's mask, at the "inY"
// size. A picture of another size drops the drawing (the engine starts over).
//
// The drawing slots carry the names and parameter lists of TParamDrawMask's and forward to
// the engine the same way, so a host or script that edits an effect's mask edits this filter
// alike. They only queue the edit; the next proc() carries it out.
//
// proc() returns "" on success and an error text when "inY" shows no image. The cancel flag
// is looked at before the engine runs and before the result is copied; a cancelled run
// returns a code beginning with "UC", clears the flag and leaves the inputs unconsumed, so
// the next proc() does the work.
class TFDrawMask : public TFilter {
    Q_OBJECT
public:
    TFDrawMask(const QString &name, QObject *parent);
    ~TFDrawMask() override;

public slots:
    QString proc() override;

    // A brush's step between dabs for its size and inner size, at least 1.
    int brushStep(uint size, uint sizeIn);
    void setValue(uchar maskValue);
    void invert();
    void undo();
    void redo();
    void snapshot();
    void setMaskBlendValue(uchar maskVal = 0);
    void setColorPicker(QPoint sP);
    // Accepted for hosts that send it; the mask has one blend mode towards the picture.
    void setBlendMode(int mode);
    void setMaskBlendMode(int mode = 0);
    void drawGradientMask(QPoint sP, QPoint eP, int type);
    // Accepted for hosts that send it; vignettes are an effect of their own.
    void drawVignetteMask(QPoint sP, float size, float feather, float roundness);
    void drawStart();
    void drawADot(QPoint pos, uchar maskValue, int radius);
    void drawADot(QPoint pos, uchar maskValue, int radius, int inRadius, float flow, bool bColorSensEnabled,
        bool bColorPickerEnabled);
    void drawEnd();
    void drawSuperMask(QPoint centerPos, float size, float hardness, float featherSize, float colorAware = 1.0,
        bool bInverted = false);
    void postFilter(float featherRadius, float featherEps, float featherContrast, float featherStrength);
    void applyButtonClicked(bool bApply = false);
    // As the mask parameter: always at its default, no presets; reset() drops the drawing.
    bool bDefault() const;
    void reset();
    int numPresets() const;
    void applyPreset(int i);

private:
    // What "outM" showed after the last run, so that a switch between sources rewrites it.
    enum class Shown { Nothing, Drawn, Passed, Full };

    bool cancelled();
    void updatePicture(const TImage &luma, const TImage *colour);
    Shown writeOutput(const TImage &luma, const TImage *mask, bool bInputsChanged);

    TInport *m_inY_p;
    TInport *m_inC_p;
    TInport *m_inM_p;
    TOutport *m_outM_p;
    TDrawMask m_engine;
    // The picture the engine paints on. The engine keeps headers of its planes, so it lives
    // as long as the engine.
    TPImage m_picture;
    Shown m_shown = Shown::Nothing;
};

#endif
