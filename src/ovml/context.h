// Context substitutions, the first pass over every rendered template line:
// fixes for links and percent signs mangled by HTML editors (FP_OVU,
// FP_PCT), OVML hidden in HTML comments (OV_CMT), the merchant's
// substitution rules ("subst.rules"), and inserting a base element built
// from the document base URL (BASE, HARD_BASE, HIGH_BASE).  The switches
// are settled once per process, at the first line rendered.
#pragma once

#include <orvel.h>

#include <string>
#include <string_view>

// True when the pass has anything to do: a switch is on or rules are
// loaded.  Settles the switches on its first call.
bool OVML_context_active();
// The line after the context substitutions.
std::string render_OVML_Context(std::string_view line);
// Reads "subst.rules" (NAME:value lines, '#' comments) into a dictionary
// labelled "[Substitution Rules]", names upper-cased, in file order; the
// dictionary, or nullptr when there is no file.
var *load_subst_rules();

// Forgets the settled switches and the loaded rules, so that the next line
// rendered settles them again from the current configuration.  The program
// settles them once; tests and batch tools that change the configuration
// call this.
void reset_OVML_context();
