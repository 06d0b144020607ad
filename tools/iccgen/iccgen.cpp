// iccgen: writes the ICC profiles that fxengine embeds as resources.
//
// Usage: iccgen <output directory> [profile file name ...]
// Without names all ten profiles are written; with names only those (the build makes each
// file by its own rule, so that a missing one is remade).
//
// Every profile is a matrix/TRC RGB profile built from the colour space's published
// primaries, white point and tone curve; LittleCMS adapts the primaries to the D50
// connection space with Bradford and stores D50 as media white, so absolute and relative
// colorimetric conversions between these profiles agree. Choices worth knowing:
//   - Gamma curves are stored as ICC single-gamma curves. In the 2.1 profiles that field is
//     u8.8 fixed point and LittleCMS truncates when it writes it (1.8 would become 1.796875),
//     so each gamma is first rounded to the nearest u8.8 value: 1.8 is stored as 461/256
//     (1.80078), the encoding the widely used ProPhoto profiles carry; 2.2 as 563/256, which
//     is also Adobe RGB's own value.
//   - D50 is LittleCMS's own connection-space white, so the D50 profiles need no adaptation.
//   - The sRGB curve is the IEC 61966-2-1 piecewise curve (parametric type 4). The 2.1
//     profiles store it sampled (2.1 has no parametric curves), the 4.3 ones as parameters.
//   - "black_scaled" keeps the PCS black at zero; "no_black_scaling" additionally carries the
//     reference viewing black of IEC 61966-2-1 (0.2 cd/m2 under an 80 cd/m2 white, i.e. 0.25 %
//     of white at the white's chromaticity) as its media black point. Neither changes the
//     colorimetric transform; the tag informs black point compensation only.
//   - The two "v4 preference" profiles are the same sRGB matrix/TRC in version 4.3, one of
//     class ColorSpace, one of class Display; they carry a profile ID (MD5).
//   - The creation date is fixed so that the same sources always give the same bytes.
// Exit code 0 when every requested profile was written, 1 otherwise (with a message on
// stderr; an unknown name counts as a failure).

#include <cmath>
#include <cstdio>
#include <cstring>
#include <lcms2.h>
#include <string>
#include <vector>

namespace {

enum class Curve { Gamma18, Gamma22, Gamma563, SRGB };
enum class White { D50, D65, E };

struct ProfileDef {
    const char *fileName;
    const char *description;
    White white;
    cmsCIExyYTRIPLE primaries;
    Curve curve;
    double version;
    cmsProfileClassSignature deviceClass;
    bool viewingBlack;
};

constexpr cmsCIExyYTRIPLE primariesRomm = { { 0.7347, 0.2653, 1.0 }, { 0.1596, 0.8404, 1.0 }, { 0.0366, 0.0001, 1.0 } };
constexpr cmsCIExyYTRIPLE primariesCie = { { 0.7347, 0.2653, 1.0 }, { 0.2738, 0.7174, 1.0 }, { 0.1666, 0.0089, 1.0 } };
constexpr cmsCIExyYTRIPLE primariesAdobe = { { 0.64, 0.33, 1.0 }, { 0.21, 0.71, 1.0 }, { 0.15, 0.06, 1.0 } };
constexpr cmsCIExyYTRIPLE primariesApple = { { 0.625, 0.34, 1.0 }, { 0.28, 0.595, 1.0 }, { 0.155, 0.07, 1.0 } };
constexpr cmsCIExyYTRIPLE primariesWide = { { 0.7347, 0.2653, 1.0 }, { 0.1152, 0.8264, 1.0 }, { 0.1566, 0.0177, 1.0 } };
constexpr cmsCIExyYTRIPLE primariesSRGB = { { 0.64, 0.33, 1.0 }, { 0.30, 0.60, 1.0 }, { 0.15, 0.06, 1.0 } };

const ProfileDef profileDefs[] = {
    { "ProPhoto.icc", "ProPhoto RGB (ROMM)", White::D50, primariesRomm, Curve::Gamma18, 2.1, cmsSigDisplayClass,
        false },
    { "CIERGB.icc", "CIE RGB (1931)", White::E, primariesCie, Curve::Gamma22, 2.1, cmsSigDisplayClass, false },
    { "Adobe98.icc", "Adobe RGB (1998) compatible", White::D65, primariesAdobe, Curve::Gamma563, 2.1,
        cmsSigDisplayClass, false },
    { "AppleRGB.icc", "Apple RGB", White::D65, primariesApple, Curve::Gamma18, 2.1, cmsSigDisplayClass, false },
    { "sRGB_IEC61966-2-1_black_scaled.icc", "sRGB IEC61966-2-1 black scaled", White::D65, primariesSRGB, Curve::SRGB,
        2.1, cmsSigDisplayClass, false },
    { "MelissaRGB.icc", "Melissa RGB (ROMM primaries, sRGB curve)", White::D50, primariesRomm, Curve::SRGB, 2.1,
        cmsSigDisplayClass, false },
    { "WideGamut.icc", "Wide Gamut RGB", White::D50, primariesWide, Curve::Gamma563, 2.1, cmsSigDisplayClass, false },
    { "sRGB_IEC61966-2-1_no_black_scaling.icc", "sRGB IEC61966-2-1 no black scaling", White::D65, primariesSRGB,
        Curve::SRGB, 2.1, cmsSigDisplayClass, true },
    { "sRGB_v4_ICC_preference.icc", "sRGB v4 preference", White::D65, primariesSRGB, Curve::SRGB, 4.3,
        cmsSigColorSpaceClass, false },
    { "sRGB_v4_ICC_preference_displayclass.icc", "sRGB v4 preference, display class", White::D65, primariesSRGB,
        Curve::SRGB, 4.3, cmsSigDisplayClass, false },
};

cmsCIExyY whitePoint(White white)
{
    switch (white) {
    case White::D50:
        return *cmsD50_xyY();
    case White::D65:
        return { 0.3127, 0.3290, 1.0 };
    case White::E:
        return { 1.0 / 3.0, 1.0 / 3.0, 1.0 };
    }
    return *cmsD50_xyY();
}

cmsToneCurve *buildGamma(double gamma, double version)
{
    if (version < 4.0)
        gamma = std::round(gamma * 256.0) / 256.0;
    return cmsBuildGamma(nullptr, gamma);
}

cmsToneCurve *buildCurve(Curve curve, double version)
{
    switch (curve) {
    case Curve::Gamma18:
        return buildGamma(1.8, version);
    case Curve::Gamma22:
        return buildGamma(2.2, version);
    case Curve::Gamma563:
        return buildGamma(563.0 / 256.0, version);
    case Curve::SRGB: {
        const cmsFloat64Number params[5] = { 2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045 };
        return cmsBuildParametricToneCurve(nullptr, 4, params);
    }
    }
    return nullptr;
}

bool writeText(cmsHPROFILE profile, cmsTagSignature tag, const std::string &text)
{
    cmsMLU *mlu = cmsMLUalloc(nullptr, 1);
    if (!mlu)
        return false;
    const bool ok = cmsMLUsetASCII(mlu, "en", "US", text.c_str()) && cmsWriteTag(profile, tag, mlu);
    cmsMLUfree(mlu);
    return ok;
}

bool saveToMemory(cmsHPROFILE profile, std::vector<unsigned char> &bytes)
{
    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(profile, nullptr, &size) || size == 0)
        return false;
    bytes.resize(size);
    return cmsSaveProfileToMem(profile, bytes.data(), &size) != 0;
}

// The header date is the only part that changes between runs; a fixed one keeps builds
// reproducible. The date must be in place before the profile ID is computed, so the
// profile goes through memory once and is read back.
cmsHPROFILE withFixedDate(cmsHPROFILE profile)
{
    std::vector<unsigned char> bytes;
    const bool saved = saveToMemory(profile, bytes);
    cmsCloseProfile(profile);
    if (!saved || bytes.size() < 128)
        return nullptr;
    const unsigned short date[6] = { 2024, 1, 1, 0, 0, 0 };
    for (int i = 0; i < 6; ++i) {
        bytes[24 + 2 * i] = static_cast<unsigned char>(date[i] >> 8);
        bytes[25 + 2 * i] = static_cast<unsigned char>(date[i] & 0xff);
    }
    return cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
}

cmsHPROFILE buildProfile(const ProfileDef &def)
{
    cmsToneCurve *curve = buildCurve(def.curve, def.version);
    if (!curve)
        return nullptr;
    cmsToneCurve *curves[3] = { curve, curve, curve };
    const cmsCIExyY white = whitePoint(def.white);
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &def.primaries, curves);
    cmsFreeToneCurve(curve);
    if (!profile)
        return nullptr;
    cmsSetProfileVersion(profile, def.version);
    cmsSetDeviceClass(profile, def.deviceClass);
    bool ok = writeText(profile, cmsSigProfileDescriptionTag, std::string("fxengine ") + def.description)
        && writeText(profile, cmsSigCopyrightTag,
            "Generated by fxengine's iccgen from published colorimetry; "
            "no copyright, free to use");
    if (ok && def.viewingBlack) {
        const cmsCIEXYZ *d50 = cmsD50_XYZ();
        const double black = 0.2 / 80.0;
        const cmsCIEXYZ blackPoint = { d50->X * black, d50->Y * black, d50->Z * black };
        ok = cmsWriteTag(profile, cmsSigMediaBlackPointTag, &blackPoint);
    }
    if (!ok) {
        cmsCloseProfile(profile);
        return nullptr;
    }
    profile = withFixedDate(profile);
    if (profile && def.version >= 4.0 && !cmsMD5computeID(profile)) {
        cmsCloseProfile(profile);
        return nullptr;
    }
    return profile;
}

bool writeProfile(const ProfileDef &def, const std::string &directory)
{
    cmsHPROFILE profile = buildProfile(def);
    if (!profile)
        return false;
    std::vector<unsigned char> bytes;
    const bool saved = saveToMemory(profile, bytes);
    cmsCloseProfile(profile);
    if (!saved)
        return false;
    const std::string path = directory + "/" + def.fileName;
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output directory> [profile file name ...]\n", argv[0]);
        return 1;
    }
    std::vector<std::string> wanted(argv + 2, argv + argc);
    if (wanted.empty()) {
        for (const ProfileDef &def : profileDefs)
            wanted.push_back(def.fileName);
    }
    int failures = 0;
    for (const std::string &name : wanted) {
        const ProfileDef *found = nullptr;
        for (const ProfileDef &def : profileDefs)
            found = name == def.fileName ? &def : found;
        if (!found || !writeProfile(*found, argv[1])) {
            std::fprintf(stderr, "iccgen: could not write %s/%s\n", argv[1], name.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
