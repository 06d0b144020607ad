#include "toutport.h"

#include "tinport.h"

TOutport::TOutport(TFilter *filter, const QString &name, TImage::IMTYPE type, bool bOwnImage)
    : TPort(filter, name, type)
    , m_bOwnImage(bOwnImage)
{
    if (m_bOwnImage)
        TPort::setImage(new TImage(type, TSize(0, 0)));
}

TOutport::~TOutport() { dropOwnImage(); }

TImage *TOutport::imagePtrMod() { return m_bOwnImage ? const_cast<TImage *>(imagePtr()) : nullptr; }

void TOutport::dropOwnImage()
{
    if (!m_bOwnImage)
        return;
    const TImage *own = imagePtr();
    TPort::setImage(nullptr);
    delete own;
    m_bOwnImage = false;
}

bool TOutport::connectTo(TInport *inport)
{
    if (!inport || !bCompatible(inport->imagePtr()))
        return false;
    dropOwnImage();
    inport->addPassthrough(this);
    return setImage(inport->imagePtr());
}

bool TOutport::connectTo(const TOutport *outport)
{
    if (!outport || !bCompatible(outport->imagePtr()))
        return false;
    dropOwnImage();
    return setImage(outport->imagePtr());
}
