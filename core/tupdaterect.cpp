#include "tupdaterect.h"

#include "tuid.h"

TUpdateRect::TUpdateRect(int x, int y, int width, int height)
    : m_x(x)
    , m_y(y)
    , m_width(width)
    , m_height(height)
    , m_serial(TUid::nextSerial())
{
}

bool TUpdateRect::operator==(const TUpdateRect &other) const
{
    return m_x == other.m_x && m_y == other.m_y && m_width == other.m_width && m_height == other.m_height
        && m_serial == other.m_serial;
}
