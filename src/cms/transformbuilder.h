#ifndef TRANSFORMBUILDER_H
#define TRANSFORMBUILDER_H

#include <lcms2.h>

// Building the LittleCMS transforms of TCMS (internal to the engine, not installed).
//
// Everything runs in the engine's own LittleCMS context, so that the engine's error handler
// never replaces one a host set for its own LittleCMS use, and a host's handler never
// swallows the engine's messages.
namespace TransformBuilder {

// The engine's context, made on first use; its error handler writes trace lines.
cmsContext context();

// A transform between the device profile data (sRGB without data, or when the data is
// rejected) and the embedded ProPhoto profile, in both directions of one pixel format.
// Null (with a trace line) only when the embedded profile itself cannot be used.
cmsHTRANSFORM build(const void *data, int size, bool toProPhoto, cmsUInt32Number format);
}

#endif
