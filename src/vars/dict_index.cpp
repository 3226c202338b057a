// Open-addressing name index for large dictionaries (see dict_index.h).

#include "vars/dict_index.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

DictIndex::DictIndex(var *head)
{
    std::size_t records = 0;
    for (var *v = head; v; v = v->next)
        ++records;
    std::size_t capacity = 32;
    while (capacity * 4 < records * 5 + 5)
        capacity *= 2;
    rehash(capacity);

    tail_ = head;
    insert(head);
    for (var *v = head->next; v; v = v->next) {
        insert(v);
        ++entries_;
        tail_ = v;
    }
}

std::uint32_t DictIndex::hash_of(std::string_view name)
{
    const std::size_t h = std::hash<std::string_view>{}(name);
    return static_cast<std::uint32_t>(h ^ (static_cast<std::uint64_t>(h) >> 32));
}

bool DictIndex::same_name(const Slot &s, std::string_view name, std::uint32_t h)
{
    if (s.hash != h || s.len != name.size())
        return false;
    const std::size_t inline_part = std::min(name.size(), kInline);
    if (std::memcmp(s.head, name.data(), inline_part) != 0)
        return false;
    return name.size() <= kInline ||
           std::memcmp(s.v->name + kInline, name.data() + kInline, name.size() - kInline) == 0;
}

std::size_t DictIndex::probe(std::string_view name, std::uint32_t h) const
{
    std::size_t i = h & mask_;
    for (;;) {
        const Slot &s = slots_[i];
        if (!s.v || same_name(s, name, h))
            return i;
        i = (i + 1) & mask_;
    }
}

var *DictIndex::find(std::string_view name) const
{
    return slots_[probe(name, hash_of(name))].v;
}

bool DictIndex::insert(var *v)
{
    if (!v || !v->name)
        return false;
    // At most four fifths full: the name bytes kept in the slots make
    // probing cheap, and a smaller table stays in cache better.
    if ((used_ + 1) * 5 > slots_.size() * 4)
        rehash(slots_.size() * 2);
    const std::string_view name(v->name);
    const std::uint32_t h = hash_of(name);
    Slot &s = slots_[probe(name, h)];
    if (s.v)
        return false;
    s.v = v;
    s.hash = h;
    s.len = static_cast<std::uint32_t>(name.size());
    std::memcpy(s.head, name.data(), std::min(name.size(), kInline));
    ++used_;
    return true;
}

void DictIndex::erase(var *v)
{
    if (!v || !v->name)
        return;
    std::size_t i = probe(v->name, hash_of(v->name));
    if (slots_[i].v != v)
        return;
    // Backward-shift deletion: pull later members of the probe run into
    // the hole so that no tombstones are needed.
    std::size_t j = i;
    for (;;) {
        j = (j + 1) & mask_;
        if (!slots_[j].v)
            break;
        const std::size_t home = slots_[j].hash & mask_;
        const bool movable = (i <= j) ? (home <= i || home > j) : (home <= i && home > j);
        if (movable) {
            slots_[i] = slots_[j];
            i = j;
        }
    }
    slots_[i] = Slot{};
    --used_;
}

bool DictIndex::sync()
{
    if (!tail_->next)
        return false;
    var *t = tail_;
    while (t->next) {
        t = t->next;
        if (insert(t))
            ++entries_;
    }
    tail_ = t;
    return true;
}

void DictIndex::rehash(std::size_t capacity)
{
    std::vector<Slot> old(capacity);
    old.swap(slots_);
    mask_ = capacity - 1;
    for (const Slot &s : old) {
        if (!s.v)
            continue;
        std::size_t i = s.hash & mask_;
        while (slots_[i].v)
            i = (i + 1) & mask_;
        slots_[i] = s;
    }
}

DictIndex *dict_index_build(var *head)
{
    if (!head)
        return nullptr;
    if (head->index)
        return dict_index(head);
    // The head record is a C struct; it holds the index through a plain
    // pointer, released again by dict_index_drop.
    auto idx = std::make_unique<DictIndex>(head);
    head->index = idx.release();
    return dict_index(head);
}

void dict_index_drop(var *head)
{
    if (!head || !head->index)
        return;
    std::unique_ptr<DictIndex> idx(static_cast<DictIndex *>(head->index));
    head->index = nullptr;
}
