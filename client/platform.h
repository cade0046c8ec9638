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

#include <atomic>
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

// A client's stop, which the waits below are handed: once it is not 0, a wait ends early.
// Each looks at it at least every kStopCheckMs, so a stop made on another thread ends it
// within that; a signal caught on the waiting thread cuts a wait short at once.
using StopFlag = std::atomic<int>;
inline constexpr int kStopCheckMs = 100;

// Runs `wait(ms)` for `timeoutMs` in all, a slice of at most kStopCheckMs at a time, until
// it gives a result that is not 0 or `stop` is set: that result, or 0.
template <typename Wait>
int WaitInSlices(int timeoutMs, const StopFlag& stop, Wait wait) {
    for (int left = timeoutMs; left > 0 && stop.load() == 0; left -= kStopCheckMs) {
        if (const int result = wait(left < kStopCheckMs ? left : kStopCheckMs)) return result;
    }
    return 0;
}

// A TCP stream socket, or kInvalidSocket.
Socket OpenTcpSocket();
// Blocks until connected or failed, at most kLimits.connectMs or until `stop` is set, and
// then watches the connection with keepalive probes. `address` is in network byte order,
// `port` is not. A connection whose limits cannot be set is given up: 0, as for a failed
// connect, and as for one that was stopped.
int ConnectTo(Socket sock, std::uint32_t address, std::uint16_t port, const StopFlag& stop);
// One send call; never raises a signal. Returns what the system returned: negative on
// failure. A send that cannot be queued within kLimits.sendMs fails, and shuts the
// connection down both ways, so that the next read ends it.
int SendBytes(Socket sock, const char* bytes, int length);
// One receive call: 0 at the end of the stream or when `length` is 0, negative on error.
int ReceiveBytes(Socket sock, char* bytes, int length);
// Waits until `sock` is readable, `timeoutMs` passes or `stop` is set: 0 on time-out or
// stop, positive when readable (the end of the stream and errors read as readable),
// negative on failure.
int WaitReadable(Socket sock, int timeoutMs, const StopFlag& stop);
void CloseSocket(Socket sock);

// Appends `length` bytes to the end of `file`, opened for appending, in one write that
// bypasses the stream's buffer: 1 if all of them reached the file. A write that a full disk
// cut short is taken back, so the file never ends in part of them.
int AppendWhole(std::FILE* file, const char* bytes, int length);

// The calling thread's last error code, as the system numbers it.
unsigned LastError();

// Suspends the calling thread for `milliseconds`, or until `stop` is set. The seam for
// tests: see the top of this file.
void SleepMs(unsigned milliseconds, const StopFlag& stop);

}  // namespace nimbrel::platform
