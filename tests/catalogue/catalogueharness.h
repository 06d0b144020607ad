#ifndef CATALOGUEHARNESS_H
#define CATALOGUEHARNESS_H

#include <QImage>
#include <QPair>
#include <QSet>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <tcms.h>
#include <tfxcommondata.h>
#include <tfxstack.h>
#include <tim.h>
#include <troi.h>

class TFx;
class TPImage;

// A host in miniature for the bundled effects: a source picture, a stack built from the
// plug-in directory, views of the source and the stack's results as 8-bit pictures.
class CatalogueHarness {
public:
    CatalogueHarness();
    ~CatalogueHarness();

    // Level 0 becomes picture (any format); false for a null picture.
    bool load(const QImage &picture);
    // The effect with that key appended to the stack; null when no plug-in offers it.
    TFx *add(const QString &key);
    // Sets a parameter of fx by key through its "setValue" slot (float parameters take a
    // double here); false when there is no such parameter.
    static bool set(TFx *fx, const QString &paramKey, const QVariant &value);
    // Makes view level cid show roi of the source.
    void setView(TIm::CImId cid, const TRoi &roi);
    // One pass of the stack over the levels; false when the stack failed.
    bool run(const QSet<TIm::CImId> &cids);
    // The stack's output level as 8-bit sRGB (ARGB32), or the source level without effects.
    QImage result(TIm::CImId cid);
    QImage source(TIm::CImId cid);
    // The view roi of the stack's full-resolution result, derived with the engine's own view
    // sampling (what an export shows at that decimation), as 8-bit sRGB.
    QImage exportedView(const TRoi &roi);

    // Shows each of views in a view level (up to six), runs level 0 and the views, and
    // measures each view against exportedView of its region. figures gets "dec N: X dB" per
    // view; the result is the worst PSNR, or -1 when the pass failed.
    double viewsAgainstExport(const QList<TRoi> &views, QStringList &figures);

    TfxStack &stack() { return *m_stack; }
    TIm &image() { return m_source.image(); }
    TCMS &cms() { return m_cms; }

private:
    QImage toPicture(const TPImage &level);

    TCMS m_cms;
    TFxCommonData m_source;
    std::unique_ptr<TfxStack> m_stack;
};

// Parameter settings by key, as the tables write them.
using Settings = QList<QPair<QString, QVariant>>;

// One effect over a picture with its settings, after one full-resolution pass.
struct EffectRun {
    CatalogueHarness host;
    TFx *fx = nullptr;
    bool ok = false;
    EffectRun(const QImage &picture, const QString &key, const Settings &settings);
    const TPImage &in(TIm::CImId cid = TIm::CImFull);
    const TPImage &out(TIm::CImId cid = TIm::CImFull);
};

// An ARGB32 picture of pixel(x, y).
QImage makePicture(int width, int height, const std::function<QRgb(int, int)> &pixel);
// Largest difference of two planes, and of a colour plane from neutral (both directions).
double maxDiff(const cv::Mat &a, const cv::Mat &b);
double offNeutral(const cv::Mat &plane);
// Largest difference over luminance and both colour planes.
double levelDiff(const TPImage &a, const TPImage &b);

// Peak signal-to-noise ratio of two equally sized 8-bit pictures over R, G and B, in dB
// (99 for identical pictures, -1 for pictures that cannot be compared).
double psnr(const QImage &a, const QImage &b);

// The photos of the shared test data as pictures (ARGB32), with their file names; empty when
// the data is missing.
QList<QPair<QString, QImage>> sharedPhotos();
// The shared photo with that file name; null when it is missing.
QImage sharedPhoto(const QString &name);

#endif
