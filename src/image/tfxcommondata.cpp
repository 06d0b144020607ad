#include "tfxcommondata.h"

#include "fxtrace.h"
#include "tcms.h"
#include "tim.h"
#include "tpimage.h"

#include <QImage>

TFxCommonData::TFxCommonData(QObject *parent)
    : QObject(parent)
    , m_image_p(new TIm)
{
}

TFxCommonData::~TFxCommonData() { delete m_image_p; }

TIm &TFxCommonData::image() { return *m_image_p; }

bool TFxCommonData::setup(const QImage &image, TCMS *cms)
{
    m_image_p->ptr(TIm::CImFull)->create(image.width(), image.height(), false);
    if (!cms) {
        FX_TRACE("TFxCommonData::setup", "no colour management given");
        return true;
    }
    cms->convert(image, *m_image_p);
    return true;
}

bool TFxCommonData::setup(unsigned short **planes, int stride, int width, int height, TCMS *cms)
{
    m_image_p->ptr(TIm::CImFull)->create(width, height, false);
    if (!cms) {
        FX_TRACE("TFxCommonData::setup", "no colour management given");
        return true;
    }
    cms->convert(planes, stride, width, height, *m_image_p);
    return true;
}
