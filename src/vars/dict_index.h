// The lookup index of a large dictionary.  A dictionary is a chain of var
// records; once it holds more than a handful of entries its head record
// carries one DictIndex in its `index` field, so that lookups, appends and
// entry counts no longer walk the chain.  The index maps every name of the
// chain (the head's label included) to its record, and remembers the last
// record and the number of entries after the head.  The chain stays the
// authority on order; the index only finds records.
#pragma once

#include <orvel.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Dictionaries with more entries than this get an index.
constexpr int DICT_INDEX_THRESHOLD = 16;

class DictIndex {
public:
    // Indexes the whole chain that starts at `head`.
    explicit DictIndex(var *head);

    // The record with this name, or null.
    var *find(std::string_view name) const;
    // Adds a record; returns false when the name is already indexed (the
    // earlier record of the chain keeps the name).
    bool insert(var *v);
    // Removes the record `v` (only when its name maps to that very record).
    void erase(var *v);

    // Takes in records that were linked after the known last record by
    // hand rather than through the store functions; returns true when
    // there were any.
    bool sync();

    // The last record of the chain.
    var *tail()
    {
        sync();
        return tail_;
    }
    void set_tail(var *v) { tail_ = v; }

    int entries() const { return entries_; }
    void add_entries(int n) { entries_ += n; }

private:
    // Open addressing with linear probing; an empty slot has no record.
    // The first bytes of the name are kept in the slot, so that a probe of
    // a short name touches only the table and not the record.
    static constexpr std::size_t kInline = 16;
    struct Slot {
        var *v = nullptr;
        std::uint32_t hash = 0;  // low hash bits: home slot and a quick filter
        std::uint32_t len = 0;   // name length
        char head[kInline] = {}; // the name's first bytes
    };
    static bool same_name(const Slot &s, std::string_view name, std::uint32_t h);

    static std::uint32_t hash_of(std::string_view name);
    // The slot holding the name, or the empty slot where it would go.
    std::size_t probe(std::string_view name, std::uint32_t h) const;
    void rehash(std::size_t capacity);

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t used_ = 0;  // occupied slots
    var *tail_ = nullptr;
    int entries_ = 0;       // records after the head
};

// The index of a head record, or null.
inline DictIndex *dict_index(const var *head)
{
    return head ? static_cast<DictIndex *>(head->index) : nullptr;
}

// Builds the index of a head record that has none; returns it.
DictIndex *dict_index_build(var *head);
// Releases the index a head record carries, if any.
void dict_index_drop(var *head);
