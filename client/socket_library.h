// The socket library as a program sees it: the start-up that must come before any client
// connects, the clean-up after the last, and the socket type a client holds. Windows
// Sockets counts its users, so every start-up that succeeded wants one clean-up; on POSIX
// both do nothing.
//
// Results follow the client's convention: 1 for success, 0 for failure.
#pragma once

#include <cstdint>

// What a shared object built on the archive exports of the library: ChatClient's public
// and protected members and the socket library's start and clean-up (NIMBREL_API); the
// rest is compiled hidden, and so are ChatClient's private members (NIMBREL_LOCAL).
#if defined(__GNUC__) && !defined(_WIN32)
#define NIMBREL_API __attribute__((visibility("default")))
#define NIMBREL_LOCAL __attribute__((visibility("hidden")))
#else
#define NIMBREL_API
#define NIMBREL_LOCAL
#endif

namespace nimbrel::platform {

#ifdef _WIN32
using Socket = std::uintptr_t;  // the width of the system's SOCKET
#else
using Socket = int;
#endif

// All bits set: -1 as a descriptor, INVALID_SOCKET under Windows Sockets.
inline constexpr Socket kInvalidSocket = static_cast<Socket>(~static_cast<Socket>(0));

// Makes the socket calls usable, asking for `requested` (major version in the low byte;
// 0x0101 for 1.1) and storing the version provided in `provided`, which a program checks.
NIMBREL_API int StartUp(std::uint16_t requested, std::uint16_t& provided);
NIMBREL_API void CleanUp();

}  // namespace nimbrel::platform
