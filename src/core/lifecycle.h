// The request lifecycle: process-wide dictionaries, signal traps and the
// run-time alarm, the invocation record, and the start-up and request
// sequence that `main` walks.
#pragma once

#include <string>

extern "C" {
void Orvel_initialize(void);
void Orvel_deinitialize(void);
}

void set_traps();
void trap_signal(int sig);
// Arms the alarm with *seconds, or with get_timeout_seconds() for nullptr;
// a pointed-to 0 cancels it.
void set_alarm(const int *seconds);
int get_timeout_seconds();
[[noreturn]] void show_version(bool header);
const std::string &my_uname();

int orvel_main(int argc, char **argv);
