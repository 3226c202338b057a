// Result pages in process: modes, ranking, the page variables of a search,
// the shared result template, and the history file (its records, ranks
// stored in one byte, pages read back, and files that are refused).
#include "search_test_util.h"

#include "platform/log.h"
#include "search/results.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

using namespace search_test;

namespace {

// A query over `text` whose matches are given directly, in this order.
SearchQueryPtr query_with(std::initializer_list<std::pair<const char *, int>> matches, int page_size = -5) {
    SearchQueryPtr q = new_search_query("+NAME:X", page_size, false);
    for (const auto &[id, rank] : matches) {
        list_append(q->ids, create_value(TYPE_STRING, dup_cstring(id)));
        list_append(q->ranks, create_value(TYPE_INTEGER, rank));
    }
    q->total = q->ids->count;
    return q;
}

std::string ids_of(const SearchQuery *q) {
    std::string out;
    for (int i = 0; i < q->ids->count; ++i) out += std::string(value_view(q->ids->items[i])) + " ";
    return out;
}

std::string matches_dict() {
    std::string out;
    for (var *v = DICT_MATCHES->next; v; v = v->next) out += std::string(v->name) + "=" + value_as_string(v->value) + " ";
    return out;
}

std::string orvel(std::string_view name) { return std::string(var_string(DICT_ORVEL, name)); }
std::string shopper_field(std::string_view name) { return std::string(var_string(DICT_SHOPPER, name)); }

class HistoryTest : public SearchTest {
protected:
    HistoryTest() {
        config("USERS_DIR", dir.path() + "/users");
        dir.write("users/.keep", "");
        dir.write("orvel.err", "");
        config("ORVEL_ERROR_LOG", dir.path() + "/orvel.err");
        reset_log_state();
        shopper("CLIENT", "12345678");
    }
    ~HistoryTest() override { reset_log_state(); }
    std::string history() const { return dir.read("users/user12345678.matches"); }
    void write_history(std::int32_t n, std::int32_t length, const std::string &records) const {
        std::string data(reinterpret_cast<const char *>(&n), 4);
        data.append(reinterpret_cast<const char *>(&length), 4);
        dir.write("users/user12345678.matches", data + records);
    }
    std::string errors() const { return dir.read("orvel.err"); }
};

}  // namespace

TEST(SearchModes, ItemTextsChooseTheMode) {
    EXPECT_EQ(determine_search_mode(""), SEARCH_MODE_NEW);
    EXPECT_EQ(determine_search_mode("next"), SEARCH_MODE_NEXT);
    EXPECT_EQ(determine_search_mode("PREVIOUS"), SEARCH_MODE_PREVIOUS);
    EXPECT_EQ(determine_search_mode("AGAIN"), SEARCH_MODE_AGAIN);
    EXPECT_EQ(determine_search_mode("GOTO"), SEARCH_MODE_AGAIN);
    EXPECT_EQ(determine_search_mode("MAX"), SEARCH_MODE_MAX);
    EXPECT_EQ(determine_search_mode("S"), SEARCH_MODE_NEW);
}

TEST_F(SearchTest, RankingIsStableAndCanBeSwitchedOff) {
    SearchQueryPtr q = query_with({{"A", 1}, {"B", 3}, {"C", 1}, {"D", 3}, {"E", 2}});
    EXPECT_EQ(search_post_process_matching_skuids(q.get(), false), 5);
    EXPECT_EQ(ids_of(q.get()), "B D E A C ");
    EXPECT_EQ(value_as_integer(q->ranks->items[2], 0), 2);
    search_post_process_matching_skuids(q.get(), true);
    EXPECT_EQ(ids_of(q.get()), "A C E B D ");

    config("DISABLE_SEARCH_RANKING", "1");
    q = query_with({{"A", 1}, {"B", 3}});
    search_post_process_matching_skuids(q.get(), false);
    EXPECT_EQ(ids_of(q.get()), "A B ");
}

TEST_F(SearchTest, PageVariablesForTwelveMatchesFiveToAPage) {
    SearchQueryPtr q = query_with({{"A", 1}, {"B", 1}, {"C", 1}, {"D", 1}, {"E", 1}, {"F", 1},
                                   {"G", 1}, {"H", 1}, {"I", 1}, {"J", 1}, {"K", 1}, {"L", 1}});
    // The third page (index 2) of a paged search.
    save_search_results(q.get(), 5, "+NAME:X", SEARCH_MODE_NEXT, 2);
    EXPECT_EQ(shopper_field("SEARCH_HISTORY_TOTAL_PAGES"), "3");
    EXPECT_EQ(shopper_field("SEARCH_HISTORY_PAGE"), "3");
    EXPECT_EQ(shopper_field("SEARCH_HISTORY_SPEC"), "+NAME:X");
    EXPECT_EQ(orvel("SEARCH_PAGE_RANGE_LO"), "11");
    EXPECT_EQ(orvel("SEARCH_PAGE_RANGE_HI"), "12");
    EXPECT_EQ(orvel("MATCHES_LOOP_COUNT"), "11");
    EXPECT_EQ(orvel("SEARCH_MORE"), "0");
    EXPECT_EQ(orvel("SEARCH_MORE_PAGES"), "no more");
    EXPECT_EQ(orvel("SEARCH_PREV"), "2");
    EXPECT_EQ(orvel("SEARCH_PREV_PAGES"), "2");
    EXPECT_EQ(orvel("SEARCH_PAGE_MATCHES"), "5");

    // The first page.
    save_search_results(q.get(), 5, "+NAME:X", SEARCH_MODE_AGAIN, 0);
    EXPECT_EQ(orvel("SEARCH_PAGE_RANGE_LO"), "1");
    EXPECT_EQ(orvel("SEARCH_PAGE_RANGE_HI"), "5");
    EXPECT_EQ(orvel("SEARCH_MORE_PAGES"), "2 more");
    EXPECT_EQ(orvel("SEARCH_PREV_PAGES"), "zero");

    // No matches: everything reset.
    q->total = 0;
    save_search_results(q.get(), 5, "+NAME:X", SEARCH_MODE_NEW, 0);
    EXPECT_EQ(shopper_field("SEARCH_HISTORY_SPEC"), "");
    EXPECT_EQ(shopper_field("SEARCH_HISTORY_TOTAL_PAGES"), "0");
    EXPECT_EQ(orvel("SEARCH_PAGE_RANGE_HI"), "0");
    EXPECT_EQ(orvel("SEARCH_MORE_PAGES"), "no more");
    EXPECT_EQ(orvel("SEARCH_PREV_PAGES"), "zero");
}

TEST_F(SearchTest, PopulatingAPageStopsAtTheEndOfTheLists) {
    SearchQueryPtr q = query_with({{"A", 3}, {"B", 2}, {"C", 1}});
    populate_matches_dictionary(q->ids, q->ranks, 1, 10);
    EXPECT_EQ(matches_dict(), "B=2 C=1 ");
}

TEST_F(SearchTest, ACommonResultTemplateNeedsEveryMatchToShareIt) {
    for (const char *id : {"A", "B", "C"}) set_string(new_product(id), "MTEMPLATE", "tea.html");
    set_integer(DICT_MATCHES, "A", 1);
    set_integer(DICT_MATCHES, "B", 1);
    EXPECT_EQ(find_common_matches_template(), "tea.html");
    set_string(get_product("B"), "MTEMPLATE", "coffee.html");
    EXPECT_EQ(find_common_matches_template(), "");
    set_string(get_product("B"), "MTEMPLATE", "");
    EXPECT_EQ(find_common_matches_template(), "");
    unset_var(DICT_MATCHES, "B");
    set_integer(DICT_MATCHES, "NOT-LOADED", 1);
    EXPECT_EQ(find_common_matches_template(), "");
}

TEST_F(HistoryTest, RecordsHoldIdsAndOneRankByte) {
    SearchQueryPtr q = query_with({{"LONGEST-ID", 200}, {"B", 7}, {"C", -3}});
    EXPECT_EQ(save_historical_query(q->ids, q->ranks), 3);
    const std::string data = history();
    ASSERT_EQ(data.size(), 8u + 3 * 13);
    std::int32_t n = 0, length = 0;
    std::memcpy(&n, data.data(), 4);
    std::memcpy(&length, data.data() + 4, 4);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(length, 13);  // the longest id and three
    EXPECT_EQ(data.substr(8, 13), std::string("LONGEST-ID\0\0", 12) + static_cast<char>(200));

    // Reading back: a rank above 127 comes back negative.
    SearchQueryPtr page = new_search_query("+PRICE>1", 2, false);
    EXPECT_EQ(load_historical_query(page.get(), 0), 2);
    EXPECT_EQ(page->total, 3);
    EXPECT_EQ(matches_dict(), "LONGEST-ID=-56 B=7 ");
    // A later page.
    unset_var(DICT_MATCHES, "LONGEST-ID");
    unset_var(DICT_MATCHES, "B");
    EXPECT_EQ(load_historical_query(page.get(), 2), 1);
    EXPECT_EQ(matches_dict(), "C=-3 ");
    EXPECT_EQ(load_historical_query(page.get(), 3), 0);
}

TEST_F(HistoryTest, RefusedWritesAreLogged) {
    SearchQueryPtr q = query_with({{std::string(126, 'X').c_str(), 1}});
    EXPECT_EQ(save_historical_query(q->ids, q->ranks), 0);
    EXPECT_FALSE(dir.exists("users/user12345678.matches"));
    EXPECT_NE(errors().find("a matching SKU is greater than the max SKU length"), npos);

    q = query_with({{std::string(125, 'X').c_str(), 1}});
    EXPECT_EQ(save_historical_query(q->ids, q->ranks), 1);

    shopper("CLIENT", "../../etc");
    EXPECT_FALSE(get_search_history_fn());
    EXPECT_EQ(save_historical_query(q->ids, q->ranks), 0);
    EXPECT_NE(errors().find("failed to determine search history filename"), npos);
}

TEST_F(HistoryTest, FilesWithImpossibleRecordLengthsAreRefused) {
    SearchQueryPtr page = new_search_query("+PRICE>1", 5, false);
    for (std::int32_t length : {0, -4, 129, 100000}) {
        write_history(1, length, std::string(200, 'A'));
        EXPECT_EQ(load_historical_query(page.get(), 0), 0) << length;
    }
    EXPECT_EQ(var_length(DICT_MATCHES), 0);
    EXPECT_NE(errors().find("failed to read search history file"), npos);

    // A file shorter than it claims gives the records it has.
    write_history(5, 4, std::string("AB\0\x05" "CD\0\x06" "E", 9));
    EXPECT_EQ(load_historical_query(page.get(), 0), 2);
    EXPECT_EQ(matches_dict(), "AB=5 CD=6 ");
    // A truncated header.
    dir.write("users/user12345678.matches", "ab");
    EXPECT_EQ(load_historical_query(page.get(), 0), 0);
    std::remove((dir.path() + "/users/user12345678.matches").c_str());
    EXPECT_EQ(load_historical_query(page.get(), 0), 0);
}

TEST_F(HistoryTest, ReloadingReplacesTheMatchesWithAStretch) {
    SearchQueryPtr q = query_with({{"A", 5}, {"B", 4}, {"C", 3}, {"D", 2}, {"E", 1}});
    save_historical_query(q->ids, q->ranks);
    set_integer(DICT_MATCHES, "OLD", 1);
    reload_historical_query(0, -1);
    EXPECT_EQ(matches_dict(), "A=5 B=4 C=3 D=2 E=1 ");
    // From record 1, last - 1 = 2 records.
    reload_historical_query(1, 3);
    EXPECT_EQ(matches_dict(), "B=4 C=3 ");
    reload_historical_query(-2, 2);
    EXPECT_EQ(matches_dict(), "A=5 ");
}

TEST_F(HistoryTest, ConcurrentWritersNeverLeaveAMixedFile) {
    // Writers replace the file with results of different sizes while this
    // process reads it: every read must give one writer's whole result.
    std::vector<pid_t> writers;
    for (int w = 0; w < 4; ++w) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            SearchQueryPtr q = new_search_query("+NAME:X", -5, false);
            for (int k = 0; k < 20 + 15 * w; ++k) {
                const std::string id = "W" + std::to_string(w) + "-" + std::to_string(k) + std::string(w * 7, 'X');
                list_append(q->ids, create_value(TYPE_STRING, dup_cstring(id)));
                list_append(q->ranks, create_value(TYPE_INTEGER, w));
            }
            for (int round = 0; round < 150; ++round)
                if (save_historical_query(q->ids, q->ranks) == 0) ::_exit(2);
            ::_exit(0);
        }
        writers.push_back(pid);
    }
    int reads = 0, finished = 0, failed = 0;
    while (finished < static_cast<int>(writers.size())) {
        for (pid_t &pid : writers) {
            int status = 0;
            if (pid <= 0 || ::waitpid(pid, &status, WNOHANG) != pid) continue;
            ++finished;
            failed += !WIFEXITED(status) || WEXITSTATUS(status) != 0;
            pid = 0;
        }
        nuke_var(DICT_MATCHES);
        DICT_MATCHES = new_dict("[MATCHES]");
        SearchQueryPtr page = new_search_query("+PRICE>1", 1000, false);
        const int loaded = load_historical_query(page.get(), 0);
        if (loaded == 0) continue;  // not written yet
        ++reads;
        ASSERT_EQ(loaded, page->total);
        const std::string writer(DICT_MATCHES->next->name, 2);
        for (var *v = DICT_MATCHES->next; v; v = v->next) {
            ASSERT_EQ(std::string(v->name, 2), writer) << "records of two writers in one file";
            ASSERT_EQ(value_as_integer(v->value, -1), writer[1] - '0');
        }
        ASSERT_EQ(loaded, 20 + 15 * (writer[1] - '0'));
    }
    EXPECT_EQ(failed, 0);
    EXPECT_GT(reads, 0);
    // The writers' temporary files are all gone.
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir.path() + "/users"))
        files += entry.path().filename().string().rfind("user12345678.matches", 0) == 0;
    EXPECT_EQ(files, 1);
}
