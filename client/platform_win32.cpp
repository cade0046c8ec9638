// The platform layer on Windows Sockets 1.1 (<winsock.h>, linked with wsock32).
#include <io.h>
#include <winsock.h>

#include <cstring>

#include "platform.h"
#include "socket_address.h"

namespace nimbrel::platform {

namespace {

// What a wait gives: the socket ready, the time up, the wake raised, or a failure.
enum Ready { kFailed = -1, kTimeUp = 0, kReady = 1, kWoken = 2 };

// Waits at most `timeoutMs` for `sock` (none: kInvalidSocket) to be readable or, with
// `write`, writable, or for the wake. A connect that fails shows in the error set. select's
// first argument is ignored here, and its sets hold sockets of any value; with every set
// empty it fails, so a wait on nothing sleeps.
Ready Wait(Socket sock, bool write, Socket wake, int timeoutMs) {
    if (sock == kInvalidSocket && wake == kInvalidSocket) {
        Sleep(static_cast<DWORD>(timeoutMs));
        return kTimeUp;
    }
    fd_set readable, writable, failed;
    FD_ZERO(&readable), FD_ZERO(&writable), FD_ZERO(&failed);
    if (sock != kInvalidSocket) {
        FD_SET(sock, write ? &writable : &readable);
        FD_SET(sock, &failed);
    }
    if (wake != kInvalidSocket) FD_SET(wake, &readable);
    timeval limit{timeoutMs / 1000, timeoutMs % 1000 * 1000};
    const int ready = select(0, &readable, &writable, &failed, &limit);
    if (ready <= 0) return ready == 0 ? kTimeUp : kFailed;
    if (wake != kInvalidSocket && FD_ISSET(wake, &readable)) return kWoken;
    return FD_ISSET(sock, write ? &writable : &readable) ? kReady : kFailed;
}

}  // namespace

int StartUp(std::uint16_t requested, std::uint16_t& provided) {
    WSADATA data;
    if (WSAStartup(requested, &data) != 0) return 0;
    provided = data.wVersion;
    return 1;
}

void CleanUp() { WSACleanup(); }

int ResolveName(const char* host, std::uint32_t& address) {
    const hostent* found = gethostbyname(host);
    if (found == nullptr || found->h_addrtype != AF_INET || found->h_addr_list[0] == nullptr) {
        return 0;
    }
    std::memcpy(&address, found->h_addr_list[0], sizeof address);
    return 1;
}

std::uint32_t NumericAddress(const char* text) { return inet_addr(text); }

Socket OpenTcpSocket() { return socket(AF_INET, SOCK_STREAM, IPPROTO_TCP); }

// Without a limit, a connect to a host that drops requests takes minutes: it is made
// without blocking, and waited for. The socket stays non-blocking: each send takes what
// fits, and each read follows a wait. A connection that cannot be watched is given up.
int ConnectTo(Socket sock, std::uint32_t address, std::uint16_t port, Socket wake) {
    const sockaddr_in target = SocketAddress(address, port);
    u_long nonBlocking = 1;
    if (ioctlsocket(sock, FIONBIO, &nonBlocking) != 0) return 0;
    if (connect(sock, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 &&
        (WSAGetLastError() != WSAEWOULDBLOCK ||
         Wait(sock, true, wake, kLimits.connectMs) != kReady)) {
        return 0;
    }
    // Windows Sockets 1.1 can switch keepalive on, no more: its timing is the system's.
    const BOOL on = TRUE;
    const char* value = reinterpret_cast<const char*>(&on);
    return setsockopt(sock, SOL_SOCKET, SO_KEEPALIVE, value, sizeof on) == 0 ? 1 : 0;
}

// Windows raises no signal for a send into a closed connection: the call fails. Each send
// takes what fits, and waits for room only when there is none; a send that cannot finish
// within the limit, from the first such wait, gives the connection up, shut both ways (2).
int SendBytes(Socket sock, const char* bytes, int length, Socket wake) {
    if (sock == kInvalidSocket) return -1;
    DWORD start = 0;
    for (int sent = 0;;) {
        const int n = send(sock, bytes + sent, length - sent, 0);
        if (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK) return -1;
        if (n > 0) sent += n;
        if (sent == length) return length;
        if (start == 0) start = GetTickCount() | 1;
        const int left = kLimits.sendMs - static_cast<int>(GetTickCount() - start);
        const Ready ready = left > 0 ? Wait(sock, true, wake, left) : kTimeUp;
        if (ready == kWoken || ready == kFailed) return -1;
        if (ready == kTimeUp) {
            shutdown(sock, 2);
            WSASetLastError(WSAETIMEDOUT);
            return -1;
        }
    }
}

int ReceiveBytes(Socket sock, char* bytes, int length) { return recv(sock, bytes, length, 0); }

// select fails on a closed socket, and so does this: the read that follows reports it.
int WaitReadable(Socket sock, int timeoutMs, Socket wake) {
    if (sock == kInvalidSocket) return -1;
    const Ready ready = Wait(sock, false, wake, timeoutMs);
    return ready == kWoken ? 0 : ready;
}

int WaitForWake(Socket wake, int milliseconds) {
    return Wait(kInvalidSocket, false, wake, milliseconds) == kWoken ? 1 : 0;
}

// A datagram socket bound to a free port on loopback and connected to itself: what it
// sends, it reads.
int OpenWake(Socket& in, Socket& out) {
    const Socket sock = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in self = SocketAddress(htonl(INADDR_LOOPBACK), 0);
    int length = sizeof self;
    sockaddr* where = reinterpret_cast<sockaddr*>(&self);
    u_long nonBlocking = 1;
    if (sock == kInvalidSocket || bind(sock, where, sizeof self) != 0 ||
        getsockname(sock, where, &length) != 0 || connect(sock, where, sizeof self) != 0 ||
        ioctlsocket(sock, FIONBIO, &nonBlocking) != 0) {
        if (sock != kInvalidSocket) closesocket(sock);
        return 0;
    }
    in = out = sock;
    return 1;
}

void RaiseWake(Socket out) noexcept {
    const char byte = 1;
    send(out, &byte, 1, 0);
}

void ClearWake(Socket in) {
    char bytes[64];
    while (recv(in, bytes, sizeof bytes, 0) > 0) {
    }
}

void CloseWake(Socket in, Socket) {
    if (in != kInvalidSocket) closesocket(in);
}

void CloseSocket(Socket sock) { closesocket(sock); }

// The socket calls' own numbers, such as 10061 for a refused connect and 10054 for a reset.
int AppendWhole(std::FILE* file, const char* bytes, int length) {
    const int fd = _fileno(file);
    const long before = _filelength(fd);
    if (_write(fd, bytes, static_cast<unsigned>(length)) == length) return 1;
    // A write that a full disk cut short fails without saying how much of it is in the
    // file: cut the file back to its length before.
    if (before >= 0) _chsize(fd, before);
    return 0;
}

unsigned LastError() { return static_cast<unsigned>(WSAGetLastError()); }

}  // namespace nimbrel::platform
