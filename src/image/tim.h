#ifndef TIM_H
#define TIM_H

#include "fxengine_export.h"

#include <QList>
#include <QMetaType>
#include <QSet>
#include <opencv2/core.hpp>

class TPImage;
class TRoi;

// The seven-level image set: level 0 is the full-resolution picture, levels 1 to 6 are
// views, each one region of level 0 at one decimation factor (updateCIms). The set owns its
// seven levels; no entry is ever null. Copies share pixels with their source but own their
// level objects.
class FXENGINE_EXPORT TIm {
public:
    // A fixed underlying type, so that any int a host passes is a value of the type and can be
    // checked instead of being undefined.
    enum CImId : int { CImFull = 0, CImView1, CImView2, CImView3, CImView4, CImView5, CImView6 };
    enum MatId : int { MatLuma = 0, MatColour1, MatColour2, MatPlane4 };
    static constexpr int numLevels = 7;

    TIm();
    TIm(const TIm &other);
    const TIm &operator=(const TIm &other);
    ~TIm();

    TPImage *ptr(CImId cid);
    const TPImage *ptr(CImId cid) const;

    // A plane of a level; an id outside 0 to 3 writes a trace line and yields the luminance.
    cv::Mat &getMat(MatId id, CImId cid);
    const cv::Mat &getMat(MatId id, CImId cid) const;

    int width(CImId cid) const;
    int height(CImId cid) const;
    bool bEmpty(CImId cid) const;
    // 1 when a stamp the level depends on changed since the level was last cleaned, else 0.
    int dirty(CImId cid) const;
    // Marks the level as changed for everything that depends on it.
    void updateUid(CImId cid);

    // Makes level cid show region roi of level 0 (nothing for level 0 itself, nothing when
    // the level already shows that region). Always true.
    bool updateCIms(CImId cid, const TRoi &roi);

private:
    QList<TPImage *> m_levels;
};

Q_DECLARE_METATYPE(TIm::CImId)
Q_DECLARE_METATYPE(QSet<TIm::CImId>)

#endif
