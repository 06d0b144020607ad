#ifndef TFILTERSINK_H
#define TFILTERSINK_H

#include "fxengine_export.h"
#include "tfilter.h"

#include <QImage>

// The exit of a filter graph: turns the luminance, colour and mask images on its inputs
// "inY" (Y), "inC" (C) and "inM" (M) back into a 32-bit ARGB picture. It converts only when
// an input reports a new update rectangle, so asking again without a change costs nothing
// and gives the same picture.
class FXENGINE_EXPORT TFilterSink : public TFilter {
    Q_OBJECT
public:
    TFilterSink(const QString &name, QObject *parent);

public slots:
    // "" on success, also when there was nothing new or the images are empty (the previous
    // picture stays). "Inport all need to be connected" when an input shows no image; an
    // error text when the colour or mask image does not fit the luminance (the previous
    // picture stays, and the inputs stay unconsumed).
    QString proc() override;
    // The picture of the last conversion; a null image before the first. Called through the
    // meta-object (from a script) it yields no value.
    const QImage &getImage() const;

private:
    QImage m_image;
};

#endif
