#include "planepool.h"

#include <algorithm>
#include <list>
#include <mutex>
#include <vector>

#if defined(__unix__) && !defined(__SANITIZE_ADDRESS__)
#include <sys/mman.h>
#define FX_POOL_MAPS_PAGES 1
#endif

namespace {

#if defined(__SANITIZE_ADDRESS__)
// Reused buffers would hide use-after-free from the address sanitizer.
constexpr std::size_t defaultLimit = 0;
#else
constexpr std::size_t defaultLimit = std::size_t(128) << 20;
#endif
// Small buffers are cheap to get from malloc and would only crowd the pool.
constexpr std::size_t smallestPooled = std::size_t(256) << 10;
// A held buffer that this many pooled allocations passed by without taking it is given
// back: a pass through a stack makes a few dozen, so a buffer still in use survives from
// one pass to the next, while one of a size that is gone does not stay for long.
constexpr unsigned long idleAllocations = 64;

// Large buffers are mapped directly so that giving one back returns its pages to the system
// at once; the heap would keep them until it happens to trim.
void *systemAlloc(std::size_t size)
{
#ifdef FX_POOL_MAPS_PAGES
    if (size >= smallestPooled) {
        void *data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (data == MAP_FAILED)
            CV_Error(cv::Error::StsNoMem, "plane buffer could not be mapped");
        return data;
    }
#endif
    return cv::fastMalloc(size);
}

void systemFree(void *data, std::size_t size)
{
#ifdef FX_POOL_MAPS_PAGES
    if (size >= smallestPooled) {
        munmap(data, size);
        return;
    }
#endif
    (void)size;
    cv::fastFree(data);
}

struct Buffer {
    std::size_t size;
    void *data;
    unsigned long freedAt; // the allocation count when it came back
};

class PoolAllocator final : public cv::MatAllocator {
public:
    cv::UMatData *allocate(int dims, const int *sizes, int type, void *data0, size_t *step, cv::AccessFlag,
        cv::UMatUsageFlags) const override
    {
        size_t total = CV_ELEM_SIZE(type);
        for (int i = dims - 1; i >= 0; i--) {
            if (step) {
                if (data0 && step[i] != cv::Mat::AUTO_STEP)
                    total = step[i];
                else
                    step[i] = total;
            }
            total *= sizes[i];
        }
        void *data = data0 ? data0 : take(total);
        auto *u = new cv::UMatData(this);
        u->data = u->origdata = static_cast<uchar *>(data);
        if (data0)
            u->flags |= cv::UMatData::USER_ALLOCATED;
        u->size = total;
        return u;
    }

    bool allocate(cv::UMatData *u, cv::AccessFlag, cv::UMatUsageFlags) const override { return u != nullptr; }

    void deallocate(cv::UMatData *u) const override
    {
        if (!u)
            return;
        if (!(u->flags & cv::UMatData::USER_ALLOCATED))
            give(u->origdata, u->size);
        delete u;
    }

    void *take(std::size_t size) const
    {
        if (size >= smallestPooled) {
            std::vector<Buffer> expired;
            void *found = nullptr;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                ++m_allocations;
                for (auto it = m_free.begin(); it != m_free.end(); ++it) {
                    if (it->size == size) {
                        found = it->data;
                        m_held -= size;
                        m_free.erase(it);
                        break;
                    }
                }
                collectIdle(expired);
            }
            freeAll(expired);
            if (found)
                return found;
        }
        return systemAlloc(size);
    }

    void give(void *data, std::size_t size) const
    {
        std::vector<Buffer> dropped;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (size < smallestPooled || size > m_limit) {
                dropped.push_back({ size, data, 0 });
            } else {
                // Newest first, so that the buffer touched last is handed out first.
                m_free.push_front({ size, data, m_allocations });
                m_held += size;
                collectOver(m_limit, dropped);
            }
        }
        freeAll(dropped);
    }

    // Moves what exceeds limit, oldest first, into out; the caller frees it outside the lock.
    void collectOver(std::size_t limit, std::vector<Buffer> &out) const
    {
        while (m_held > limit && !m_free.empty()) {
            m_held -= m_free.back().size;
            out.push_back(m_free.back());
            m_free.pop_back();
        }
    }

    void collectIdle(std::vector<Buffer> &out) const
    {
        while (!m_free.empty() && m_allocations - m_free.back().freedAt > idleAllocations) {
            m_held -= m_free.back().size;
            out.push_back(m_free.back());
            m_free.pop_back();
        }
    }

    static void freeAll(const std::vector<Buffer> &buffers)
    {
        for (const Buffer &buffer : buffers)
            systemFree(buffer.data, buffer.size);
    }

    void trim(std::size_t limit) const
    {
        std::vector<Buffer> dropped;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            collectOver(limit, dropped);
        }
        freeAll(dropped);
    }

    std::size_t held() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_held;
    }

    std::size_t limit() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_limit;
    }

    void setLimit(std::size_t bytes)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_limit = bytes;
        }
        trim(bytes);
    }

private:
    mutable std::mutex m_mutex;
    // Oldest at the back; since every buffer is stamped when it comes back, the back is also
    // the one idle longest.
    mutable std::list<Buffer> m_free;
    mutable std::size_t m_held = 0;
    mutable unsigned long m_allocations = 0;
    std::size_t m_limit = defaultLimit;
};

PoolAllocator &pool()
{
    // Never destroyed: matrices may be released during static destruction.
    static PoolAllocator *instance = new PoolAllocator;
    return *instance;
}

}

namespace PlanePool {

cv::MatAllocator *allocator() { return &pool(); }

bool bExclusive(const cv::Mat &mat)
{
    return mat.u && mat.u->refcount == 1 && mat.isContinuous() && mat.data == mat.u->data;
}

void createOwned(cv::Mat &mat, int rows, int cols, int type)
{
    rows = std::max(rows, 0);
    cols = std::max(cols, 0);
    if (mat.rows == rows && mat.cols == cols && mat.type() == type && bExclusive(mat))
        return;
    mat.release();
    mat.allocator = allocator();
    if (rows > 0 && cols > 0)
        mat.create(rows, cols, type);
}

cv::Mat clone(const cv::Mat &src)
{
    cv::Mat copy;
    copy.allocator = allocator();
    if (!src.empty()) {
        copy.create(src.rows, src.cols, src.type());
        src.copyTo(copy);
    }
    return copy;
}

std::size_t bytesHeld() { return pool().held(); }

std::size_t limit() { return pool().limit(); }

void setLimit(std::size_t bytes) { pool().setLimit(bytes); }

void release() { pool().trim(0); }
}
