#ifndef TUID_H
#define TUID_H

#include "qximproca1_export.h"

#include <cstdint>
#include <memory>
#include <vector>

// A change stamp. id() is a process-wide serial: every stamp gets a fresh one when it is
// made and every update() takes the next one, so two stamps never share an id unless one
// was copied from the other (takeId). The serial is atomic, so stamps on different threads
// never share an id; one stamp is used on one thread at a time.
class QXIMPROCA1_EXPORT TUid {
public:
    explicit TUid(void *owner = nullptr);

    void update();
    std::uint64_t id() const { return m_state->id; }
    void *owner() const { return m_owner_p; }

    // Makes this stamp carry other's id, so that whoever compares ids sees the same
    // state as in other. Used when an image takes over another image's pixels.
    void takeId(const TUid &other) { m_state->id = other.m_state->id; }

    static std::uint64_t nextSerial();

private:
    friend class TUidDepends;
    // The id lives in a block that records share weakly: a record can then tell a stamp that
    // was destroyed (and perhaps another one made at the same address) from a live one.
    struct State {
        std::uint64_t id;
    };

    TUid(const TUid &) = delete;
    TUid &operator=(const TUid &) = delete;

    std::shared_ptr<State> m_state;
    void *m_owner_p;
};

// The record of the stamps something was made from. Per stamp it remembers the id the
// stamp had when the record was last cleaned; a stamp added since counts as dirty until
// it is cleaned. A recorded stamp may be destroyed at any time: from then on it counts as
// changed, until clean(nullptr) drops it from the record.
class QXIMPROCA1_EXPORT TUidDepends {
public:
    TUidDepends() = default;

    // Adding a stamp that is already recorded keeps its remembered id.
    void addDepedentUid(const TUid *uid);
    // nullptr: true when any recorded stamp changed or no longer exists. Otherwise true when
    // that stamp is recorded and changed; a stamp that is not recorded is never dirty.
    bool dirty(const TUid *uid) const;
    // nullptr: remember the current id of every recorded stamp and forget the destroyed
    // ones; otherwise remember the current id of that one.
    void clean(const TUid *uid);
    void clear();

    int size() const { return int(m_entries.size()); }
    bool contains(const TUid *uid) const;

private:
    struct Entry {
        const TUid *uid;
        std::weak_ptr<const TUid::State> state;
        std::uint64_t remembered;
    };
    // The entry of that live stamp, or null.
    const Entry *find(const TUid *uid) const;

    // Few entries per record (an image and a handful of parameters): a vector beats a map.
    std::vector<Entry> m_entries;
};

#endif
