#include "tuid.h"

namespace {
// Ids start at 1 so that 0 can mean "never cleaned".
std::uint64_t g_serial = 0;
constexpr std::uint64_t neverCleaned = 0;
}

std::uint64_t TUid::nextSerial()
{
    return ++g_serial;
}

TUid::TUid(void *owner)
    : m_id(nextSerial())
    , m_owner_p(owner)
{
}

void TUid::update()
{
    m_id = nextSerial();
}

void TUidDepends::addDepedentUid(const TUid *uid)
{
    if (!uid || contains(uid))
        return;
    m_entries.emplace_back(uid, neverCleaned);
}

bool TUidDepends::dirty(const TUid *uid) const
{
    for (const auto &entry : m_entries) {
        if (uid && entry.first != uid)
            continue;
        if (entry.second != entry.first->id())
            return true;
    }
    return false;
}

void TUidDepends::clean(const TUid *uid)
{
    for (auto &entry : m_entries) {
        if (!uid || entry.first == uid)
            entry.second = entry.first->id();
    }
}

void TUidDepends::clear()
{
    m_entries.clear();
}

bool TUidDepends::contains(const TUid *uid) const
{
    for (const auto &entry : m_entries)
        if (entry.first == uid)
            return true;
    return false;
}
