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
#include <cstdio>

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

// A client's wake: a stop raises it, and every wait of the client watches it, so that a
// stop ends a wait at once and a client that is never stopped waits its full time. On
// POSIX a pipe; under Windows Sockets, whose select takes sockets alone, a datagram socket
// on loopback that sends to itself (`in` and `out` the same). A wait handed
// kInvalidSocket for the wake cannot be woken.
int OpenWake(Socket& in, Socket& out);
// Makes `in` readable: one byte, never blocking. Async-signal-safe on POSIX.
void RaiseWake(Socket out) noexcept;
// Reads what was raised, so that waits block again.
void ClearWake(Socket in);
void CloseWake(Socket in, Socket out);

// A TCP stream socket, or kInvalidSocket.
Socket OpenTcpSocket();
// Blocks until connected or failed, at most kLimits.connectMs or until `wake` is raised,
// and then watches the connection with keepalive probes. `address` is in network byte
// order, `port` is not. A connection whose limits cannot be set is given up: 0, as for a
// failed connect, and as for one that was woken.
int ConnectTo(Socket sock, std::uint32_t address, std::uint16_t port, Socket wake);
// Sends all `length` bytes, waiting for room as long as kLimits.sendMs or until `wake` is
// raised; never raises a signal. `length`, or negative on failure. A send that cannot be
// queued within the limit fails, and shuts the connection down both ways, so that the next
// read ends it; one that was woken fails and leaves the connection as it was.
int SendBytes(Socket sock, const char* bytes, int length, Socket wake);
// One receive call: 0 at the end of the stream or when `length` is 0, negative on error.
int ReceiveBytes(Socket sock, char* bytes, int length);
// Waits until `sock` is readable, `timeoutMs` passes or `wake` is raised: 0 on time-out or
// wake, positive when readable (the end of the stream and errors read as readable),
// negative on failure. A signal that raises no wake cuts no wait short.
int WaitReadable(Socket sock, int timeoutMs, Socket wake);
void CloseSocket(Socket sock);

// Appends `length` bytes to the end of `file`, opened for appending, in one write that
// bypasses the stream's buffer: 1 if all of them reached the file. A write that a full disk
// cut short is taken back, so the file never ends in part of them.
int AppendWhole(std::FILE* file, const char* bytes, int length);

// The calling thread's last error code, as the system numbers it.
unsigned LastError();

// Suspends the calling thread for `milliseconds`, or until `wake` is raised: 1 if woken.
int WaitForWake(Socket wake, int milliseconds);
// The client's pauses: WaitForWake, as the program links it. The seam for tests: see the
// top of this file.
void SleepMs(unsigned milliseconds, Socket wake);

}  // namespace nimbrel::platform
