// Socket calls: name lookup, connect, one receive, one send.
#include "platform/net.h"

#include "vars/vars.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

std::string net_localhost()
{
    char name[129] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

std::optional<std::string> net_ipaddr(const std::string &name)
{
    const std::string host = name.empty() ? net_localhost() : name;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
        ovdebug("Orvel_net_ipaddr: failed to lookup host %s", host.c_str());
        return std::nullopt;
    }
    const addrinfo *last = found;
    while (last->ai_next) last = last->ai_next;
    const auto *addr = reinterpret_cast<const sockaddr_in *>(last->ai_addr);
    const auto *b = reinterpret_cast<const unsigned char *>(&addr->sin_addr.s_addr);
    char dotted[16];
    std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    ::freeaddrinfo(found);
    return std::string(dotted);
}

extern "C" char *Orvel_net_localhost(void) { return dup_cstring(net_localhost()); }

extern "C" char *Orvel_net_ipaddr(const char *name)
{
    const std::optional<std::string> ip = net_ipaddr(name ? name : "");
    return ip ? dup_cstring(*ip) : nullptr;
}

extern "C" int Orvel_net_open(const char *host, int port)
{
    const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sock < 0) {
        ovdebug("Orvel_net_open: failed to open socket");
        return -1;
    }
    const std::optional<std::string> ip = net_ipaddr(host ? host : "");
    if (!ip) {
        ovdebug("Orvel_net_open: failed to get IP address for %s", host ? host : "(null)");
        ::close(sock);
        errno = EHOSTUNREACH;
        return -1;
    }
    ovdebug("connecting to ipaddr %s", ip->c_str());
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool valid_port = port > 0 && port <= 65535;
    if (!valid_port || ::inet_pton(AF_INET, ip->c_str(), &addr.sin_addr) != 1) {
        ovdebug("Orvel_net_open: failed to connect to %s", ip->c_str());
        ::close(sock);
        errno = EINVAL;
        return -1;
    }
    int rc;
    do {
        rc = ::connect(sock, reinterpret_cast<const sockaddr *>(&addr), sizeof addr);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int saved = errno;
        ovdebug("Orvel_net_open: failed to connect to %s", ip->c_str());
        ::close(sock);
        errno = saved;
        return -1;
    }
    return sock;
}

extern "C" int Orvel_net_read(int socket, void *buffer, int size)
{
    if (!buffer || size < 0) return -1;
    const ssize_t n = ::recv(socket, buffer, static_cast<std::size_t>(size), 0);
    if (n < 0) {
        const int saved = errno;
        ovdebug("Orvel_net_read: failed (%d)", saved);
        errno = saved;
        return -1;
    }
    return static_cast<int>(n);
}

extern "C" int Orvel_net_write(int socket, const void *bytes, int length)
{
    if (!bytes || length < 0) return -1;
    // A peer that has gone away answers with an error, not with SIGPIPE.
    const ssize_t n = ::send(socket, bytes, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    if (n < 0) {
        const int saved = errno;
        ovdebug("Orvel_net_write: failed (%d)", saved);
        errno = saved;
        return -1;
    }
    return static_cast<int>(n);
}
