// Ordering product lists by a product field for product loops.  The order
// is built by insertion with a pairwise comparison that is not a total
// order (numbers compare as numbers, anything else as bytes), so the
// result depends on the insertion sequence and is computed exactly that
// way rather than with a library sort.
#include "catalog/selection.h"

#include "catalog/products.h"
#include "ovml/tokens.h"
#include "strings/strutil.h"
#include "vars/dict_index.h"

#include <cstdlib>
#include <string>
#include <vector>

int product_sort_func(std::string_view a, std::string_view b)
{
    if (is_numeric(a) && is_numeric(b)) {
        const double x = std::strtod(std::string(a).c_str(), nullptr);
        const double y = std::strtod(std::string(b).c_str(), nullptr);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    const int c = a.compare(b);  // char_traits<char>::compare orders bytes as unsigned
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

void sort_products(var *list, std::string_view field, bool ascending)
{
    if (!list || !list->next) return;
    fill_products(list);

    struct Entry {
        var *child;
        std::string key;
    };
    std::vector<Entry> sorted;
    for (var *child = list->next; child; child = child->next) {
        Entry entry{child, get_OVML_DBREF_Info(child->name, field)};
        std::size_t at = 0;
        while (at < sorted.size()) {
            const int c = product_sort_func(entry.key, sorted[at].key);
            if (ascending ? c < 0 : c >= 0) break;
            ++at;
        }
        sorted.insert(sorted.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
    }

    // Relink the chain in the new order.  A dictionary's index maps names
    // to records, which do not change; only its notion of the last record
    // must follow.  Records linked in by hand are indexed before the
    // chain is rearranged.
    var *head = list;
    while (head->previous)
        head = head->previous;
    DictIndex *index = dict_index(head);
    if (index) index->sync();
    var *previous = list;
    for (Entry &entry : sorted) {
        previous->next = entry.child;
        entry.child->previous = previous;
        previous = entry.child;
    }
    previous->next = nullptr;
    if (index) index->set_tail(previous);
}
