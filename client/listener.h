// Listening sockets, for the servers that tests play. The client never listens: these live
// in a library of their own (nimbrel_listener) that only tests link, so the program ships
// without them. Results follow platform.h.
#pragma once

#include <cstdint>

#include "platform.h"

namespace nimbrel::platform {

// A TCP socket bound to `address` (network byte order) and `port`, 0 taking a free port,
// which is stored back; kInvalidSocket if it cannot be made.
Socket BindTcp(std::uint32_t address, std::uint16_t& port);
int ListenOn(Socket sock);
// The next connection waiting on `listener`, or kInvalidSocket.
Socket AcceptOn(Socket listener);

}  // namespace nimbrel::platform
