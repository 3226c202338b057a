/*
 * A plug-in that answers every product search itself, as a store whose
 * catalog lives in a database would: it writes the WHERE condition the
 * program renders for the query to the file named by SEARCH_ANSWER_WHERE,
 * then fills the query's matches from SEARCH_ANSWER ("ID:rank;ID:rank")
 * and tells the program to skip its own scan.  Without SEARCH_ANSWER it
 * lets the program search.
 */
#include <orvel.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int plugin_search(var *argument)
{
    var *held = get_var(argument, "QUERY");
    SearchQuery *query = held ? (SearchQuery *)value_as_void(held->value) : NULL;
    const char *answer = getenv("SEARCH_ANSWER");
    if (!query || !answer) return 0;

    const char *where_file = getenv("SEARCH_ANSWER_WHERE");
    if (where_file) {
        char *where = search_spec_to_where_statement(query->spec);
        FILE *f = fopen(where_file, "w");
        if (f) {
            fputs(where ? where : "(none)", f);
            fclose(f);
        }
        free(where);
    }

    char *copy = strdup(answer);
    for (char *item = strtok(copy, ";"); item; item = strtok(NULL, ";")) {
        char *colon = strchr(item, ':');
        if (!colon) continue;
        *colon = '\0';
        list_append(query->ids, create_value(TYPE_STRING, strdup(item)));
        list_append(query->ranks, create_value(TYPE_INTEGER, atoi(colon + 1)));
    }
    free(copy);
    query->total = query->ids->count;
    return -1002;
}
