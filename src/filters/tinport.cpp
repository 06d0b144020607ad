#include "tinport.h"

#include "toutport.h"

TInport::TInport(TFilter *filter, const QString &name, TImage::IMTYPE type, bool bOptional, const TImage *image)
    : TPort(filter, name, type)
    , m_bOptional(bOptional)
{
    TPort::setImage(image);
}

bool TInport::setImage(const TImage *image)
{
    if (!TPort::setImage(image))
        return false;
    for (TPort *port : qAsConst(m_passthrough))
        port->setImage(image);
    return true;
}

void TInport::addPassthrough(TPort *port) { m_passthrough.append(port); }

bool TInport::changed() const { return imagePtr() && m_updateRect != imagePtr()->updateRect(); }

void TInport::setChanged()
{
    if (imagePtr())
        m_updateRect = imagePtr()->updateRect();
}

bool TInport::connectTo(const TOutport *outport_p) { return outport_p && setImage(outport_p->imagePtr()); }

bool TInport::connectTo(TInport *inport_p)
{
    if (!inport_p || !bCompatible(inport_p->imagePtr()))
        return false;
    inport_p->addPassthrough(this);
    return setImage(inport_p->imagePtr());
}
