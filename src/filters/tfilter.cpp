#include "tfilter.h"

#include "qximproca.h"
#include "tfiltercontext.h"
#include "tinport.h"
#include "toutport.h"
#include "tparam.h"
#include "tpluginfactory.h"

#include <QDebug>
#include <algorithm>

namespace {
// A trace line with the line number the graph's diagnostics have always carried, so that
// logs read the same whatever the source layout.
QDebug trace(const char *where, int line, const char *text)
{
    return qDebug() << QXimproca::traceMsg(where, line, text).c_str();
}
}

TFilter::TFilter(const QString &name, QObject *parent)
    : QObject(parent)
    , m_context_p(TFilterContext::findFilterContext(parent))
{
    setObjectName(name);
    std::fill(std::begin(m_updateView), std::end(m_updateView), false);
    std::fill(std::begin(m_prevUpdateView), std::end(m_prevUpdateView), false);
    if (!m_context_p)
        throw "TFilter::TFilter - !m_context_p";
}

TFilter::~TFilter() = default;

QObject *TFilter::childByName(const QString &key) const
{
    for (QObject *child : children()) {
        if (child->objectName() == key)
            return child;
    }
    return nullptr;
}

QStringList TFilter::childNames() const
{
    QStringList names;
    for (const QObject *child : children())
        names.append(child->objectName());
    return names;
}

TInport *TFilter::inportPtr(const QString &key) { return qobject_cast<TInport *>(childByName(key)); }

const TInport *TFilter::inportPtr(const QString &key) const
{
    const QObject *child = childByName(key);
    if (!child)
        trace("TFilter::inportPtr", 197, "ptr=null") << key << objectName();
    return qobject_cast<const TInport *>(child);
}

TOutport *TFilter::outportPtr(const QString &key) { return qobject_cast<TOutport *>(childByName(key)); }

const TOutport *TFilter::outportPtr(const QString &key) const
{
    const QObject *child = childByName(key);
    if (!child)
        trace("TFilter::outportPtr", 315, "failed") << key << objectName();
    return qobject_cast<const TOutport *>(child);
}

TParam *TFilter::paramPtr(const QString &key) { return qobject_cast<TParam *>(childByName(key)); }

TFilter *TFilter::filterPtr(QString key)
{
    QObject *child = childByName(key);
    if (!child)
        trace("TFilter::filterPtr", 463, "failed") << key << objectName();
    return qobject_cast<TFilter *>(child);
}

const TImage *TFilter::inImagePtr(const QString &key) const
{
    const TInport *port = inportPtr(key);
    return port ? port->imagePtr() : nullptr;
}

const TImage *TFilter::outImagePtr(const QString &key) const
{
    const TOutport *port = outportPtr(key);
    return port ? port->imagePtr() : nullptr;
}

TImage *TFilter::outImagePtr(const QString &key)
{
    TOutport *port = outportPtr(key);
    return port ? const_cast<TImage *>(port->imagePtr()) : nullptr;
}

bool TFilter::setInImage(const QString &accKey, const TImage *image)
{
    TInport *port = inportPtr(accKey);
    return port && port->setImage(image);
}

bool TFilter::bCompatible(const QString &accKey, const TImage *image) const
{
    const TInport *port = inportPtr(accKey);
    if (!port || !port->imagePtr() || !image)
        return false;
    return port->imagePtr()->type() == image->type();
}

TFilterGUI *TFilter::guiPtr(const QString &) { return nullptr; }

void TFilter::freeOutImages()
{
    for (QObject *child : children()) {
        if (auto *port = qobject_cast<TOutport *>(child)) {
            if (TImage *image = port->imagePtrMod())
                image->resize(TSize(0, 0));
        }
    }
}

bool TFilter::setProcROI(int dec, QRect roi)
{
    m_dec = dec;
    m_roi = roi;
    return true;
}

void TFilter::enableUpdateView(int previewId, bool bOn)
{
    // Preview ids name one of a fixed number of views; others are ignored.
    if (previewId < 0 || previewId >= numPreviews || m_updateView[previewId] == bOn)
        return;
    m_prevUpdateView[previewId] = m_updateView[previewId];
    m_updateView[previewId] = bOn;
}

void TFilter::cancelProc() { m_cancel = true; }

QString TFilter::name() const { return m_name; }

void TFilter::setName(QString n) { m_name = n; }

QString TFilter::description() const { return m_description; }

void TFilter::setDescription(QString d) { m_description = d; }

bool TFilter::createFilter(QString accKey, QString filterTpe)
{
    if (filterPtr(accKey) || childByName(accKey))
        return false;
    TPluginFactory *factory = m_context_p->filterFactoryPtr();
    return factory && factory->createTFilter(filterTpe, accKey, this);
}

QStringList TFilter::filters() const { return childNames(); }

void TFilter::setProccessed()
{
    for (QObject *child : children()) {
        if (auto *port = qobject_cast<TInport *>(child))
            port->setChanged();
    }
}

bool TFilter::createGUI(QString) { return true; }

QStringList TFilter::guis() const { return {}; }

bool TFilter::kickProgress() { return m_context_p->progressAndCheckCancel(this); }

bool TFilter::procOK(QString rc) const { return rc.isEmpty(); }

bool TFilter::procUserCancel(QString rc) const { return rc.startsWith(QLatin1String("UC")); }

bool TFilter::createInport(QString accKey, QString type, bool bOptional)
{
    if (childByName(accKey)) {
        trace("TFilter::createInport", 244, "failed") << accKey << type;
        return false;
    }
    TImage::IMTYPE imageType;
    if (!TPort::typeFromString(type, imageType)) {
        trace("TFilter::createInport", 239, "failed") << accKey << type;
        return false;
    }
    new TInport(this, accKey, imageType, bOptional, nullptr);
    return true;
}

bool TFilter::createInport(QString accKey, QString type) { return createInport(accKey, type, false); }

QStringList TFilter::inports() const { return childNames(); }

bool TFilter::bInsChanged() const
{
    for (const QObject *child : children()) {
        if (const auto *port = qobject_cast<const TInport *>(child); port && port->changed())
            return true;
    }
    return false;
}

bool TFilter::createOutport(QString accKey, QString type)
{
    TImage::IMTYPE imageType;
    if (childByName(accKey) || !TPort::typeFromString(type, imageType))
        return false;
    new TOutport(this, accKey, imageType, true);
    qDebug() << "TFilter::createOutport(" << accKey << ") success - type " << type;
    return true;
}

QStringList TFilter::outports() const { return childNames(); }

bool TFilter::createParam(QString, QString, QString, QString) { return true; }

QStringList TFilter::params() const { return childNames(); }

bool TFilter::bParamsChanged() const { return !children().isEmpty(); }
