// Steps of product loading whose real implementations live in other
// subsystems that are not part of the program yet: the tweak rules and
// optioned products.  Each stand-in in seams.cpp does the
// least that keeps the caller's documented behaviour: it builds nothing and
// runs nothing.  Remove a declaration here when its subsystem arrives.
#pragma once

#include <orvel.h>

#include <string_view>

// Applies tweak.rules to the products of `list`.  Until the rule engine
// arrives there are no tweak rules, so nothing changes.
void get_tweaked(var *list);

// The record of an optioned SKUID derived from its base product, or
// nullptr when it cannot be built.  Until product options arrive none can.
var *new_optioned_product(std::string_view skuid);
