// A host written against the installed headers only: sets up a picture, runs a stack with the
// plug-in's effect, converts the result back and checks it, and hands the pool's memory back.
#include <QCoreApplication>
#include <QImage>
#include <cstdio>
#include <planepool.h>
#include <tcms.h>
#include <tfx.h>
#include <tfxcommondata.h>
#include <tfxstack.h>
#include <tim.h>
#include <tparam.h>
#include <tpimage.h>
#include <troi.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QImage picture(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(4 * x, 5 * y, 128));
    TCMS cms;
    TFxCommonData source;
    if (!source.setup(picture, &cms))
        return 1;
    source.image().updateUid(TIm::CImFull);
    source.image().updateCIms(TIm::CImView1, TRoi(32, 24, 0, 0, 2));
    TfxStack stack("stack", nullptr);
    stack.setCommonData(&source);
    if (!stack.addTFx("PkgInvert", "invert", 0)) {
        std::printf("the plug-in's effect could not be created\n");
        return 2;
    }
    QSet<TIm::CImId> levels { TIm::CImFull, TIm::CImView1 };
    if (!stack.procOutput(levels))
        return 3;
    const TIm *out = stack.outImagePtr();
    const unsigned short in = source.image().ptr(TIm::CImFull)->m_lum.at<unsigned short>(10, 10);
    const unsigned short inverted = out->ptr(TIm::CImFull)->m_lum.at<unsigned short>(10, 10);
    if (in + inverted != 65535 || out->width(TIm::CImView1) != 32) {
        std::printf("unexpected result: %d %d %d\n", in, inverted, out->width(TIm::CImView1));
        return 4;
    }
    // Paint the whole mask at zero through the parameter, by name: the effect disappears.
    TParam *mask = stack.tfxPtr(0)->paramPtr(QString("Mask"));
    if (!mask || !QMetaObject::invokeMethod(mask, "setValue", Q_ARG(uchar, 0)) || !stack.procOutput(levels))
        return 6;
    if (out->ptr(TIm::CImFull)->m_lum.at<unsigned short>(10, 10) != in) {
        std::printf("masked result: %d instead of %d\n", out->ptr(TIm::CImFull)->m_lum.at<unsigned short>(10, 10), in);
        return 7;
    }
    QImage back;
    cms.convert(*out->ptr(TIm::CImFull), back);
    if (back.size() != picture.size())
        return 5;
    PlanePool::release();
    std::printf("package host ok\n");
    return 0;
}
