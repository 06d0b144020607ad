#include "transformbuilder.h"

#include "fxtrace.h"

#include <QByteArray>
#include <QFile>

namespace {

void traceLittleCmsError(cmsContext, cmsUInt32Number code, const char *text)
{
    FX_TRACE("TCMS::transform", "LittleCMS error") << code << (text ? text : "");
}

cmsHPROFILE openProPhoto(cmsContext context)
{
    QFile file(QStringLiteral(":/iccprofiles/ProPhoto.icc"));
    if (!file.open(QIODevice::ReadOnly)) {
        FX_TRACE("TCMS::transform", "cannot read the embedded ProPhoto profile");
        return nullptr;
    }
    const QByteArray data = file.readAll();
    cmsHPROFILE profile = cmsOpenProfileFromMemTHR(context, data.constData(), cmsUInt32Number(data.size()));
    if (!profile)
        FX_TRACE("TCMS::transform", "embedded ProPhoto profile rejected");
    return profile;
}

cmsHTRANSFORM createTransform(
    cmsContext context, cmsHPROFILE device, cmsHPROFILE proPhoto, bool toProPhoto, cmsUInt32Number format)
{
    if (toProPhoto)
        return cmsCreateTransformTHR(context, device, format, proPhoto, format, INTENT_ABSOLUTE_COLORIMETRIC, 0);
    return cmsCreateTransformTHR(context, proPhoto, format, device, format, INTENT_ABSOLUTE_COLORIMETRIC, 0);
}
}

namespace TransformBuilder {

cmsContext context()
{
    // Made once and kept for the life of the process: transforms made in it may outlive any
    // one TCMS. A context only holds settings, so TCMS objects on several threads share it.
    static const cmsContext engineContext = [] {
        cmsContext made = cmsCreateContext(nullptr, nullptr);
        if (made)
            cmsSetLogErrorHandlerTHR(made, traceLittleCmsError);
        return made;
    }();
    return engineContext;
}

cmsHTRANSFORM build(const void *data, int size, bool toProPhoto, cmsUInt32Number format)
{
    cmsContext ctx = context();
    if (!ctx) {
        FX_TRACE("TCMS::transform", "no LittleCMS context");
        return nullptr;
    }
    cmsHPROFILE proPhoto = openProPhoto(ctx);
    if (!proPhoto)
        return nullptr;
    cmsHTRANSFORM transform = nullptr;
    // Device data that cannot be opened or that does not make an RGB transform (grey, CMYK,
    // Lab, a device link) is replaced by sRGB, so the caller always gets a usable transform.
    if (data && size != 0) {
        cmsHPROFILE device = size > 0 ? cmsOpenProfileFromMemTHR(ctx, data, cmsUInt32Number(size)) : nullptr;
        if (device) {
            transform = createTransform(ctx, device, proPhoto, toProPhoto, format);
            cmsCloseProfile(device);
        }
        if (!transform)
            FX_TRACE("TCMS::transform", "device profile unusable, sRGB stands in: size") << size;
    }
    if (!transform) {
        cmsHPROFILE sRGB = cmsCreate_sRGBProfileTHR(ctx);
        transform = sRGB ? createTransform(ctx, sRGB, proPhoto, toProPhoto, format) : nullptr;
        if (sRGB)
            cmsCloseProfile(sRGB);
    }
    cmsCloseProfile(proPhoto);
    if (!transform)
        FX_TRACE("TCMS::transform", "no transform");
    return transform;
}
}
