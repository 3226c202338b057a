// Reading the CGI query: the GET query string or the POST body, decoded
// and filed into DICT_INPUT, DICT_SHOPPER and DICT_ARGS.
#pragma once

#include <string>
#include <string_view>

void fill_query();
void scrub_query();
void rewrite_multiple_input_values();
void parse_batch_product_input();
// %XX and "+" decoding of one query component.
std::string url_decode(std::string_view text);
