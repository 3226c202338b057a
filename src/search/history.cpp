// The search history file: the whole sorted result of a shopper's last
// search, so that paging reads a stretch of it instead of searching again.
#include "search/results.h"

#include "config/paths.h"
#include "platform/files.h"
#include "session/client_store.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

// The longest record: a product id of up to 125 characters, its zero
// padding and the rank byte.
constexpr int HISTORY_RECORD_MAX = 128;

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};

void append_int32(std::string &out, std::int32_t n) { out.append(reinterpret_cast<const char *>(&n), sizeof n); }

bool read_int32(FILE *file, std::int32_t &n) { return std::fread(&n, sizeof n, 1, file) == 1; }

}  // namespace

std::optional<std::string> get_search_history_fn() {
    const std::optional<std::string> id = get_client_id();
    if (!id || is_invalid_client_id(id->c_str())) return std::nullopt;
    return Orvel_get_users_path() + "/user" + *id + ".matches";
}

int save_historical_query(const list *ids, const list *ranks) {
    const int n = ids ? ids->count : 0;
    std::size_t longest = 0;
    for (int i = 0; i < n; ++i) longest = std::max(longest, value_view(ids->items[i]).size());
    if (longest + 3 > static_cast<std::size_t>(HISTORY_RECORD_MAX)) {
        overror("a matching SKU is greater than the max SKU length");
        return 0;
    }
    const std::optional<std::string> path = get_search_history_fn();
    if (!path) {
        overror("failed to determine search history filename");
        return 0;
    }
    const auto length = static_cast<std::int32_t>(longest + 3);
    std::string data;
    data.reserve(8 + static_cast<std::size_t>(n) * static_cast<std::size_t>(length));
    append_int32(data, n);
    append_int32(data, length);
    char record[HISTORY_RECORD_MAX];
    for (int i = 0; i < n; ++i) {
        std::memset(record, 0, sizeof record);
        const std::string_view id = value_view(ids->items[i]);
        std::memcpy(record, id.data(), id.size());
        const int rank = ranks && i < ranks->count ? value_as_integer(ranks->items[i], 0) : 0;
        record[length - 1] = static_cast<char>(static_cast<unsigned>(rank) & 0xFF);
        data.append(record, static_cast<std::size_t>(length));
    }
    // Written aside and renamed over the old file: a search running at
    // the same time reads one whole file or the other.
    if (!fn_replace_file(*path, data)) {
        overror("failed to write search history file %s", path->c_str());
        return 0;
    }
    return n;
}

int load_historical_query(SearchQuery *query, int skip) {
    const std::optional<std::string> path = get_search_history_fn();
    if (!path) {
        overror("failed to determine search history filename");
        return 0;
    }
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path->c_str(), "rb"));
    std::int32_t total = 0, length = 0;
    if (!file || !read_int32(file.get(), total) || !read_int32(file.get(), length) || length <= 0 ||
        length > HISTORY_RECORD_MAX) {
        // A record length this program never writes: the file is not one
        // of its history files, and reading it would go astray.
        overror("failed to read search history file %s", path->c_str());
        return 0;
    }
    if (query) query->total = total > 0 ? total : 0;
    if (skip < 0 || std::fseek(file.get(), static_cast<long>(skip) * length, SEEK_CUR) != 0) {
        overror("failed to skip to search history index in %s", path->c_str());
        return 0;
    }
    const int wanted = query ? query->page_size : 0;
    char record[HISTORY_RECORD_MAX];
    int loaded = 0;
    for (int i = skip; loaded < wanted && i < total; ++i) {
        if (std::fread(record, static_cast<std::size_t>(length), 1, file.get()) != 1) break;
        const std::string_view id(record, strnlen(record, static_cast<std::size_t>(length - 1)));
        const int rank = static_cast<std::int8_t>(record[length - 1]);
        if (!id.empty()) set_integer(DICT_MATCHES, id, rank);
        ++loaded;
    }
    return loaded;
}

void reload_historical_query(int skip, int last) {
    nuke_var(DICT_MATCHES);
    DICT_MATCHES = new_var(nullptr);
    // The query only carries the page size.
    SearchQueryPtr query = new_search_query("+PRICE>1", last < 0 ? 999999998 : last - 1, false);
    if (query) load_historical_query(query.get(), skip < 0 ? 0 : skip);
}
