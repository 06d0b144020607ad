#ifndef TUID_H
#define TUID_H

#include <cstdint>
#include <utility>
#include <vector>

// A change stamp. id() is a process-wide serial: every stamp gets a fresh one when it is
// made and every update() takes the next one, so two stamps never share an id unless one
// was copied from the other (assignTo). Not synchronised: the engine runs on one thread.
class TUid {
public:
    explicit TUid(void *owner = nullptr);

    void update();
    std::uint64_t id() const { return m_id; }
    void *owner() const { return m_owner_p; }

    // Makes this stamp carry other's id, so that whoever compares ids sees the same
    // state as in other. Used when an image takes over another image's pixels.
    void takeId(const TUid &other) { m_id = other.m_id; }

    static std::uint64_t nextSerial();

private:
    TUid(const TUid &) = delete;
    TUid &operator=(const TUid &) = delete;

    std::uint64_t m_id;
    void *m_owner_p;
};

// The record of the stamps something was made from. Per stamp it remembers the id the
// stamp had when the record was last cleaned; a stamp added since counts as dirty until
// it is cleaned. Stamps are held by address and must outlive the record or be removed
// (clear()) first.
class TUidDepends {
public:
    TUidDepends() = default;

    // Adding a stamp that is already recorded keeps its remembered id.
    void addDepedentUid(const TUid *uid);
    // nullptr: true when any recorded stamp changed. Otherwise true when that stamp is
    // recorded and changed; a stamp that is not recorded is never dirty.
    bool dirty(const TUid *uid) const;
    // nullptr: remember the current id of every recorded stamp; otherwise of that one.
    void clean(const TUid *uid);
    void clear();

    int size() const { return int(m_entries.size()); }
    bool contains(const TUid *uid) const;

private:
    // Few entries per record (an image and a handful of parameters): a vector beats a map.
    std::vector<std::pair<const TUid *, std::uint64_t>> m_entries;
};

#endif
