#ifndef TFILTER_H
#define TFILTER_H

#include "fxengine_export.h"

#include <QImage>
#include <QObject>
#include <QRect>
#include <QStringList>

class TFilterContext;
class TFilterGUI;
class TImage;
class TInport;
class TOutport;
class TParam;

// A node of the filter graph. Its input ports, output ports and sub-filters are Qt children,
// found by object name; names are unique among all children, whatever their kind. proc()
// computes the outputs from the inputs and returns "" on success, a code starting with "UC"
// after a cancel, or an error text. Nothing schedules filters: whoever holds one calls proc()
// when it likes, and the filter tells from its inputs' update rectangles whether there is
// anything new (bInsChanged, setProccessed).
//
// Every filter lives under a TFilterContext (an ancestor in the Qt tree), which gives it the
// plug-in factory; constructing one without a reachable context throws the C string
// "TFilter::TFilter - !m_context_p". The slots are what scripts call, by these names.
class FXENGINE_EXPORT TFilter : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString name READ name WRITE setName)
    Q_PROPERTY(QString description READ description WRITE setDescription)
public:
    TFilter(const QString &name, QObject *parent);
    ~TFilter() override;

    // Children by name, of the requested kind; null otherwise. The const lookups and
    // filterPtr write a trace line when no child has the name.
    TInport *inportPtr(const QString &key);
    const TInport *inportPtr(const QString &key) const;
    TOutport *outportPtr(const QString &key);
    const TOutport *outportPtr(const QString &key) const;
    TParam *paramPtr(const QString &key);
    TFilter *filterPtr(QString key);

    const TImage *inImagePtr(const QString &key) const;
    const TImage *outImagePtr(const QString &key) const;
    // False when there is no such input or it refuses the image.
    bool setInImage(const QString &accKey, const TImage *image);
    // True when the input exists, shows an image, and image has the same type (false for a
    // null image).
    bool bCompatible(const QString &accKey, const TImage *image) const;

    TFilterContext *context() const { return m_context_p; }
    TFilterGUI *guiPtr(const QString &key);
    // Every owning output gives its pixels back (its image becomes 0 x 0).
    void freeOutImages();

signals:
    void progress(float percentDone);
    void updateView(int previewId, const QImage &outImage, int dec, const QRect &roi);

public slots:
    bool setProcROI(int dec, QRect roi);
    void enableUpdateView(int previewId, bool bOn);
    void cancelProc();
    QString name() const;
    void setName(QString n);
    QString description() const;
    void setDescription(QString d);
    bool createFilter(QString accKey, QString filterTpe);
    QStringList filters() const;
    void setProccessed();
    bool createGUI(QString accKey);
    QStringList guis() const;
    virtual QString proc() = 0;
    bool kickProgress();
    bool procOK(QString rc) const;
    bool procUserCancel(QString rc) const;
    bool createInport(QString accKey, QString type, bool bOptional);
    bool createInport(QString accKey, QString type);
    QStringList inports() const;
    bool bInsChanged() const;
    bool createOutport(QString accKey, QString type);
    QStringList outports() const;
    bool createParam(QString paramType, QString accKey, QString name, QString desc);
    QStringList params() const;
    bool bParamsChanged() const;

protected:
    TImage *outImagePtr(const QString &key);
    // The child with that object name, of any kind, or null.
    QObject *childByName(const QString &key) const;
    QStringList childNames() const;

    static constexpr int numPreviews = 16;
    QString m_name;
    QString m_description;
    bool m_updateView[numPreviews];
    bool m_prevUpdateView[numPreviews];
    int m_dec = 1;
    QRect m_roi;
    bool m_cancel = false;
    TFilterContext *m_context_p;
};

#endif
