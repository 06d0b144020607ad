#ifndef PLANEPOOL_H
#define PLANEPOOL_H

#include <cstddef>

#include <opencv2/core.hpp>

// Plane buffers that go back to a pool instead of to the system.
//
// The first touch of a fresh large buffer costs far more than copying into one that was
// used before (the kernel has to zero and map every page), so image planes are allocated
// through this pool: a freed buffer is kept and handed out again for the next request of
// the same size. The pool keeps at most a bounded number of bytes; beyond that the oldest
// buffers go back to the system. Not synchronised: the engine runs on one thread.
namespace PlanePool {

// The allocator to set on a cv::Mat before create() so that its buffer comes from the pool.
cv::MatAllocator *allocator();

// Makes mat a rows x cols matrix of the type with a buffer of its own: kept when it already
// is that and nobody else shares the buffer, otherwise replaced by a pooled buffer. The
// content is undefined afterwards when the buffer was replaced.
void createOwned(cv::Mat &mat, int rows, int cols, int type);

// True when mat's buffer is referenced by mat alone.
bool bExclusive(const cv::Mat &mat);

// A deep copy of src in a pooled buffer.
cv::Mat clone(const cv::Mat &src);

// Bytes held for reuse, and the limit.
std::size_t bytesHeld();
void setLimit(std::size_t bytes);
void release();
}

#endif
