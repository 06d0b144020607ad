#ifndef PLANEPOOL_H
#define PLANEPOOL_H

#include "qximproca1_export.h"

#include <cstddef>
#include <opencv2/core.hpp>

// Plane buffers that go back to a pool instead of to the system.
//
// The first touch of a fresh large buffer costs far more than copying into one that was
// used before (the kernel has to zero and map every page), so image planes are allocated
// through this pool: a freed buffer of 256 KiB or more is kept and handed out again for the
// next request of the same size.
//
// What the pool keeps is bounded three ways:
//   - it never holds more than its limit, 128 MiB unless setLimit() says otherwise (the
//     oldest buffers go first);
//   - a kept buffer that is not taken again within the next 64 pooled allocations goes back
//     to the system, so buffers of a picture size that is no longer in use do not linger;
//   - release() gives everything back at once, for a host that wants its memory now.
// Buffers that go back to the system leave the process at once (they are mapped pages, not
// heap). The pool is locked: images on different threads may allocate at the same time.
namespace PlanePool {

// The allocator to set on a cv::Mat before create() so that its buffer comes from the pool.
QXIMPROCA1_EXPORT cv::MatAllocator *allocator();

// Makes mat a rows x cols matrix of the type with a buffer of its own: kept when it already
// is that and nobody else shares the buffer, otherwise replaced by a pooled buffer. The
// content is undefined afterwards when the buffer was replaced.
QXIMPROCA1_EXPORT void createOwned(cv::Mat &mat, int rows, int cols, int type);

// True when mat's buffer is referenced by mat alone.
QXIMPROCA1_EXPORT bool bExclusive(const cv::Mat &mat);

// A deep copy of src in a pooled buffer.
QXIMPROCA1_EXPORT cv::Mat clone(const cv::Mat &src);

// Bytes held for reuse now, and the most it will hold.
QXIMPROCA1_EXPORT std::size_t bytesHeld();
QXIMPROCA1_EXPORT std::size_t limit();
// Sets the most the pool holds (0 turns reuse off) and gives back what is over it.
QXIMPROCA1_EXPORT void setLimit(std::size_t bytes);
// Gives every held buffer back to the system.
QXIMPROCA1_EXPORT void release();
}

#endif
