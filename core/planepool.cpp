#include "planepool.h"

#include <list>

namespace {

#if defined(__SANITIZE_ADDRESS__)
// Reused buffers would hide use-after-free from the address sanitizer.
constexpr std::size_t defaultLimit = 0;
#else
constexpr std::size_t defaultLimit = std::size_t(768) << 20;
#endif
// Small buffers are cheap to get from malloc and would only crowd the pool.
constexpr std::size_t smallestPooled = std::size_t(256) << 10;

struct Buffer {
    std::size_t size;
    void *data;
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
        auto *u = new cv::UMatData(this);
        if (data0) {
            u->data = u->origdata = static_cast<uchar *>(data0);
            u->flags |= cv::UMatData::USER_ALLOCATED;
        } else {
            u->data = u->origdata = static_cast<uchar *>(take(total));
        }
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
        for (auto it = m_free.begin(); it != m_free.end(); ++it) {
            if (it->size == size) {
                void *data = it->data;
                m_held -= size;
                m_free.erase(it);
                return data;
            }
        }
        return cv::fastMalloc(size);
    }

    void give(void *data, std::size_t size) const
    {
        if (size < smallestPooled || size > m_limit) {
            cv::fastFree(data);
            return;
        }
        // Newest first, so that the buffer touched last is handed out first.
        m_free.push_front({ size, data });
        m_held += size;
        trim(m_limit);
    }

    void trim(std::size_t limit) const
    {
        while (m_held > limit && !m_free.empty()) {
            m_held -= m_free.back().size;
            cv::fastFree(m_free.back().data);
            m_free.pop_back();
        }
    }

    mutable std::list<Buffer> m_free;
    mutable std::size_t m_held = 0;
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

cv::MatAllocator *allocator()
{
    return &pool();
}

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

std::size_t bytesHeld()
{
    return pool().m_held;
}

void setLimit(std::size_t bytes)
{
    pool().m_limit = bytes;
    pool().trim(bytes);
}

void release()
{
    pool().trim(0);
}
}
