// The IPv4 socket address of an address (network byte order) and a port, for the files of
// the platform layer: each includes its system's socket header before this one.
#pragma once

#include <cstdint>

namespace nimbrel::platform {

inline sockaddr_in SocketAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    where.sin_addr.s_addr = address;
    return where;
}

}  // namespace nimbrel::platform
