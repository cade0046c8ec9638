// The operating system as the chat client sees it: sockets, waits and error codes. Not
// installed: a program needs only socket_library.h, which chat_client.h includes.
//
// Every call the client makes into the system goes through these functions, so the
// client's own files hold no system header and a port to another system replaces only
// the implementation (platform_posix.cpp, platform_win32.cpp). SleepMs and kLimits live in
// object files of their own within the library: a test that defines either links its own,
// and the library's is left out.
//
// Results follow the client's convention: 1 for success, 0 for failure, unless a
// function says otherwise.
#pragma once

#include <cstdint>

#include "socket_library.h"

namespace nimbrel::platform {

// The first IPv4 address of `host`, in network byte order.
int ResolveName(const char* host, std::uint32_t& address);
// Dotted-decimal text by the classic rules ("1.2.3" is valid); all ones when it is not.
std::uint32_t NumericAddress(const char* text);

// How long the platform gives a connection before it gives up on it. The program links
// platform_limits.cpp; tests of the whole program link shorter ones.
struct Limits {
    int connectMs;  // a connect not yet complete: the host may be dropping requests
    int sendMs;     // a send that cannot be queued: the server may have stopped reading
    // Probes of a connection gone silent, whose peer may have vanished without a word. On
    // Linux, data left unacknowledged as long is given up too.
    int keepIdleSeconds, keepIntervalSeconds, keepCount;
};
extern const Limits kLimits;

// A TCP stream socket, or kInvalidSocket.
Socket OpenTcpSocket();
// Blocks until connected or failed, at most kLimits.connectMs, and then watches the
// connection with keepalive probes. `address` is in network byte order, `port` is not. A
// connection whose limits cannot be set is given up: 0, as for a failed connect.
int ConnectTo(Socket sock, std::uint32_t address, std::uint16_t port);
// One send call; never raises a signal. Returns what the system returned: negative on
// failure. A send that cannot be queued within kLimits.sendMs fails, and shuts the
// connection down both ways, so that the next read ends it.
int SendBytes(Socket sock, const char* bytes, int length);
// One receive call: 0 at the end of the stream or when `length` is 0, negative on error.
int ReceiveBytes(Socket sock, char* bytes, int length);
// Waits until `sock` is readable or `timeoutMs` passes: 0 on time-out, positive when
// readable (the end of the stream and errors read as readable), negative on failure.
int WaitReadable(Socket sock, int timeoutMs);
void CloseSocket(Socket sock);

// The calling thread's last error code, as the system numbers it.
unsigned LastError();

// Suspends the calling thread. The seam for tests: see the top of this file.
void SleepMs(unsigned milliseconds);

}  // namespace nimbrel::platform
