/*
 * A plug-in for the loader tests that needs nothing from the program: each
 * entry point appends "<tag> <entry>" to the file named by RECORDER_LOG and
 * answers the number in the environment variable RECORDER_<TAG>_<ENTRY>
 * (0 when unset), e.g. RECORDER_A_PLUGIN_PRE_ACTION=1002.  Built once per
 * tag (RECORDER_TAG); with RECORDER_SILENT it exports no entry point at all.
 */
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifndef RECORDER_SILENT

static int record(const char *entry)
{
    const char *log = getenv("RECORDER_LOG");
    if (log && *log) {
        FILE *f = fopen(log, "a");
        if (f) {
            fprintf(f, "%s %s\n", RECORDER_TAG, entry);
            fclose(f);
        }
    }
    char name[128];
    snprintf(name, sizeof name, "RECORDER_%s_%s", RECORDER_TAG, entry);
    for (char *p = name; *p; ++p) *p = (char)toupper((unsigned char)*p);
    const char *answer = getenv(name);
    return answer ? atoi(answer) : 0;
}

int plugin_init(void *argument) { (void)argument; return record("plugin_init"); }
int plugin_pre_action(void *argument) { (void)argument; return record("plugin_pre_action"); }
int plugin_post_action(void *argument) { (void)argument; return record("plugin_post_action"); }
int plugin_shutdown(void *argument) { (void)argument; return record("plugin_shutdown"); }

#else

int recorder_silent_marker = 1;

#endif
