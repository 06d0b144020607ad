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
    // An input that follows itself, directly or round a ring of inputs, would otherwise hand
    // the image on for ever.
    if (m_bForwarding)
        return true;
    m_bForwarding = true;
    for (TPort *port : qAsConst(m_passthrough))
        port->setImage(image);
    m_bForwarding = false;
    return true;
}

void TInport::addPassthrough(TPort *port)
{
    if (!port)
        return;
    // Filters die in any order; a dead follower must not be handed images. (An input that
    // follows itself dies with its list.)
    if (port != this && !m_passthrough.contains(port))
        connect(port, &QObject::destroyed, this, [this, port] { m_passthrough.removeAll(port); });
    m_passthrough.append(port);
}

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
