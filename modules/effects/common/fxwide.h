#ifndef FXWIDE_H
#define FXWIDE_H

// Marks a function whose plain loops the compiler should also build for AVX-512 and AVX2; the
// widest version the processor runs is picked when the plug-in loads. Not under the thread
// sanitizer, whose runtime is not ready when the version is picked.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__) && !defined(__SANITIZE_THREAD__)
#define FX_WIDE __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define FX_WIDE
#endif

#endif
