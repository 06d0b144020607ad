#include "troi.h"

#include <algorithm>
#include <cstdint>

TRoi::TRoi(int width, int height, int x, int y, int dec) { set(width, height, x, y, dec); }

bool TRoi::set(int width, int height, int x, int y, int dec)
{
    m_width = width;
    m_height = height;
    // Division truncates toward zero, so -3 becomes -2.
    m_x = x / 2 * 2;
    m_y = y / 2 * 2;
    m_dec = dec;
    return m_x == x && m_y == y;
}

bool TRoi::bEmpty() const
{
    // The product is a 32-bit signed one; wrap-around is taken as it comes, computed without
    // undefined behaviour.
    const auto product
        = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_width) * static_cast<std::uint32_t>(m_height));
    return product < 1;
}

void TRoi::makeInside(int imageWidth, int imageHeight)
{
    // Clamping dec first keeps a dec below 1 from letting the region reach past the edge.
    const int dec = std::clamp(m_dec, 1, 32);
    if (m_x < 0)
        m_x = 0;
    if (m_x >= imageWidth)
        m_x = imageWidth;
    if (m_y < 0)
        m_y = 0;
    if (m_y >= imageHeight)
        m_y = imageHeight;
    if (std::int64_t(dec) * m_width + m_x > imageWidth)
        m_width = (imageWidth - m_x) / dec;
    if (std::int64_t(dec) * m_height + m_y > imageHeight)
        m_height = (imageHeight - m_y) / dec;
    m_width = std::clamp(m_width, 0, std::max(imageWidth, 0));
    m_height = std::clamp(m_height, 0, std::max(imageHeight, 0));
    m_dec = dec;
}

bool TRoi::operator==(const TRoi &other) const
{
    return m_width == other.m_width && m_height == other.m_height && m_x == other.m_x && m_y == other.m_y
        && m_dec == other.m_dec;
}
