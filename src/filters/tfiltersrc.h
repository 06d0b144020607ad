#ifndef TFILTERSRC_H
#define TFILTERSRC_H

#include "fxengine_export.h"
#include "tfilter.h"

#include <QImage>
#include <QString>

// The entry of a filter graph: turns an ordinary 32-bit picture into the graph's luminance,
// colour and mask planes, held by its three owning outputs "outY" (Y), "outC" (C) and "outM"
// (M). Each setImage rewrites those images in place and gives them a new update rectangle,
// so the filters reading them see the change. proc() has nothing to do.
class FXENGINE_EXPORT TFilterSrc : public TFilter {
    Q_OBJECT
public:
    TFilterSrc(const QString &name, QObject *parent);

public slots:
    QString proc() override;
    // Fills the outputs from the picture (alpha becomes the mask). False for a picture without
    // pixels; the outputs then stay as they were.
    bool setImage(const QImage &qim);
    // Reads the file (any format Qt reads; an EXIF orientation is applied) and fills the
    // outputs as above. False, with a trace line naming the file, when it cannot be read; the
    // outputs then stay as they were.
    bool setImage(const QString &fileName);
};

#endif
