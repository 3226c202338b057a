// TCP sockets for the outgoing HTTP client and for plug-ins: host name and
// IPv4 address lookup, connecting, and single reads and writes.  The C
// interface (Orvel_net_*) is declared in orvel.h.
#pragma once

#include <orvel.h>

#include <optional>
#include <string>

// The dotted IPv4 address of `name` (this machine's when empty): the last
// address the resolver lists.
std::optional<std::string> net_ipaddr(const std::string &name);
std::string net_localhost();
