#ifndef TFILTERTOPLEVELA_H
#define TFILTERTOPLEVELA_H

#include "fxengine_export.h"
#include "tfilter.h"

#include <QImage>

class TFilterSink;
class TFilterSrc;

// A ready-made graph for hosts: a source "inputimage", a sink "outputimage" and between them
// the filter "toplevel" that the plug-in directory offers under the key "TFDrawMask". The
// result keeps the source's luminance and colour and takes its mask from the top-level
// filter. A host calls setImage, proc, then getImage.
//
// When no plug-in or script offers "TFDrawMask" there is no top-level filter: proc() returns
// an error text naming the key, and the sink's mask input stays unconnected, so getImage()
// gives a null image. A top-level filter lacking some of the ports "inY", "inC", "inM",
// "outM" is connected through the ports it has.
class FXENGINE_EXPORT TFilterToplevelA : public TFilter {
    Q_OBJECT
public:
    TFilterToplevelA(const QString &name, QObject *parent);

public slots:
    // The top-level filter's return code, or the error text when there is none.
    QString proc() override;
    // The source's setImage: false for a picture without pixels.
    bool setImage(const QImage &qim);
    // Runs the sink (its code is dropped) and gives its picture. Called through the
    // meta-object (from a script) it still runs the sink but yields no value.
    const QImage &getImage();
    TFilter *toplevelFilterPtr();

private:
    void connectPorts(TFilter *toplevel);

    TFilterSrc *m_src_p;
    TFilterSink *m_sink_p;
};

#endif
