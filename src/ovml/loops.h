// The loop elements: <ORVEL_LOOP TYPE=...> ... </ORVEL_LOOP> renders its raw
// body once per item of a collection (the cart, pickups, search matches,
// chosen products, optioned variants, notes, currencies, options, the
// lines of a loop file, words, dictionary entries, or a counted range) and
// publishes each item through DICT_ORVEL variables and, for product loops,
// through the current product.  The handlers themselves (do_OVML_Loop and
// the deprecated do_OVML_ItemList / do_OVML_NoteList) are declared with the
// other elements in ovml/elements.h.
//
// Every render function returns the concatenated output of its passes.
// `attrs` is the element's parsed, token-rendered attribute dictionary, or
// nullptr for the fixed forms that take none.
#pragma once

#include "ovml/lines.h"

#include <orvel.h>

#include <string>
#include <string_view>

// One pass per chosen SKUID of `dict` with that product current.  With
// attributes: SORT, SIZE / SCRAMBLE(D) / REVERSED, MIN and MAX, BODY and
// TEMPLATE.  Keeps PRODUCT_LOOP_COUNT and MATCHES_LOOP_COUNT for the outer
// loop, sets PRODUCT_LOOP_TOTAL and restores the current product.
std::string render_OVML_Product_Loop(const OVMLText &body, var *dict, var *attrs);
// LOOP_COUNT from FIRST to LAST (one pass when LAST < FIRST); LOOP_TOTAL is
// the index after the last pass.
std::string render_OVML_Generic_Loop(const OVMLText &body, var *attrs);
// One pass per entry of DICT_NOTES, with NOTE its text.
std::string render_OVML_Note_Loop(const OVMLText &body);
// One pass per currency rule: WORD1 name, WORD2 rate "%.2f", WORD3 note.
std::string render_OVML_Currency_Loop(const OVMLText &body);
// The optioned variants BASE-code of a base product, for each code of the
// option groups `options` (else `group`, else every option).
std::string render_OVML_Optioned_Loop(const OVMLText &body, std::string_view base, std::string_view options,
                                      std::string_view group);
// The products a search expression (SPEC) matches.
std::string render_OVML_Query_Loop(const OVMLText &body, var *attrs);
// One pass per option code: WORD1 the code, WORD2 its note.  `source` (the
// SRC attribute) lists codes; otherwise `group` lists option groups.
std::string render_OVML_Options_Loop(const OVMLText &body, std::string_view group, std::string_view source);
// One pass per line of a loop file (or of BASEDIR/SRC): LINE and its
// ';'-separated fields WORD1, WORD2, ...
std::string render_OVML_File_Loop(const OVMLText &body, var *attrs);
// One pass per ';'-separated word of SRC, in WORD.
std::string render_OVML_Word_Loop(const OVMLText &body, var *attrs);
// One pass per entry of the dictionary named by ROOT: DUMP_KEY, DUMP_VAL.
std::string render_OVML_Dump_Loop(const OVMLText &body, var *attrs);
