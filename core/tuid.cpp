#include "tuid.h"

#include <algorithm>
#include <atomic>

namespace {
// Ids start at 1 so that 0 can mean "never cleaned". Atomic because hosts may work with
// separate images on separate threads, and those must still get distinct ids.
std::atomic<std::uint64_t> g_serial { 0 };
constexpr std::uint64_t neverCleaned = 0;
}

std::uint64_t TUid::nextSerial() { return g_serial.fetch_add(1, std::memory_order_relaxed) + 1; }

TUid::TUid(void *owner)
    : m_state(std::make_shared<State>(State { nextSerial() }))
    , m_owner_p(owner)
{
}

void TUid::update() { m_state->id = nextSerial(); }

const TUidDepends::Entry *TUidDepends::find(const TUid *uid) const
{
    if (!uid)
        return nullptr;
    for (const Entry &entry : m_entries) {
        // Same address is not enough: the recorded stamp may have died and another one
        // been made in its place.
        if (entry.uid == uid && entry.state.lock() == uid->m_state)
            return &entry;
    }
    return nullptr;
}

void TUidDepends::addDepedentUid(const TUid *uid)
{
    if (!uid || find(uid))
        return;
    // An entry of a destroyed stamp at the same address is replaced, not kept beside it.
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                        [uid](const Entry &entry) { return entry.uid == uid && entry.state.expired(); }),
        m_entries.end());
    m_entries.push_back({ uid, uid->m_state, neverCleaned });
}

bool TUidDepends::dirty(const TUid *uid) const
{
    if (uid) {
        const Entry *entry = find(uid);
        return entry && entry->remembered != uid->id();
    }
    for (const Entry &entry : m_entries) {
        const auto state = entry.state.lock();
        if (!state || state->id != entry.remembered)
            return true;
    }
    return false;
}

void TUidDepends::clean(const TUid *uid)
{
    if (uid) {
        if (const Entry *entry = find(uid))
            const_cast<Entry *>(entry)->remembered = uid->id();
        return;
    }
    m_entries.erase(
        std::remove_if(m_entries.begin(), m_entries.end(), [](const Entry &entry) { return entry.state.expired(); }),
        m_entries.end());
    for (Entry &entry : m_entries)
        entry.remembered = entry.state.lock()->id;
}

void TUidDepends::clear() { m_entries.clear(); }

bool TUidDepends::contains(const TUid *uid) const { return find(uid) != nullptr; }
