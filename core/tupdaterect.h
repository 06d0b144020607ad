#ifndef TUPDATERECT_H
#define TUPDATERECT_H

#include "qximproca1_export.h"

#include <cstdint>

// The rectangle last written into a TImage plus a process-wide serial, so that two writes
// of the same area still compare different. A default rectangle is empty with serial 0.
class QXIMPROCA1_EXPORT TUpdateRect {
public:
    TUpdateRect() = default;
    // A new write of the given rectangle: takes the next serial.
    TUpdateRect(int x, int y, int width, int height);

    bool operator==(const TUpdateRect &other) const;
    bool operator!=(const TUpdateRect &other) const { return !(*this == other); }

    int x() const { return m_x; }
    int y() const { return m_y; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    std::uint64_t serial() const { return m_serial; }

private:
    int m_x = 0;
    int m_y = 0;
    int m_width = 0;
    int m_height = 0;
    std::uint64_t m_serial = 0;
};

#endif
