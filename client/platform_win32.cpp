// The platform layer on Windows Sockets 1.1 (<winsock.h>, linked with wsock32).
#include <io.h>
#include <winsock.h>

#include <cstring>
#include <initializer_list>

#include "platform.h"
#include "socket_address.h"

namespace nimbrel::platform {

namespace {

// select's first argument is ignored here, and its sets hold sockets of any value.
int Wait(Socket sock, fd_set* readable, fd_set* writable, fd_set* failed, int timeoutMs) {
    for (fd_set* set : {readable, writable, failed}) {
        if (set == nullptr) continue;
        FD_ZERO(set);
        FD_SET(sock, set);
    }
    timeval limit{timeoutMs / 1000, timeoutMs % 1000 * 1000};
    return select(0, readable, writable, failed, &limit);
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
// without blocking, and waited for. A connect that fails shows in select's error set. A
// connection that cannot be made blocking again, or watched, is given up, not used.
int ConnectTo(Socket sock, std::uint32_t address, std::uint16_t port, const StopFlag& stop) {
    const sockaddr_in target = SocketAddress(address, port);
    u_long nonBlocking = 1;
    if (ioctlsocket(sock, FIONBIO, &nonBlocking) != 0) return 0;
    fd_set done, failed;
    if (connect(sock, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 &&
        (WSAGetLastError() != WSAEWOULDBLOCK ||
         WaitInSlices(kLimits.connectMs, stop,
                      [&](int ms) { return Wait(sock, nullptr, &done, &failed, ms); }) != 1 ||
         !FD_ISSET(sock, &done))) {
        return 0;
    }
    nonBlocking = 0;
    // Windows Sockets 1.1 can switch keepalive on, no more: its timing is the system's.
    const BOOL on = TRUE;
    const char* value = reinterpret_cast<const char*>(&on);
    const bool watched = ioctlsocket(sock, FIONBIO, &nonBlocking) == 0 &&
                         setsockopt(sock, SOL_SOCKET, SO_KEEPALIVE, value, sizeof on) == 0;
    return watched ? 1 : 0;
}

// Windows raises no signal for a send into a closed connection: the call fails. A send
// that cannot start within the limit gives the connection up, shut both ways (2).
int SendBytes(Socket sock, const char* bytes, int length) {
    fd_set writable;
    if (Wait(sock, nullptr, &writable, nullptr, kLimits.sendMs) == 0) {
        shutdown(sock, 2);
        WSASetLastError(WSAETIMEDOUT);
        return -1;
    }
    return send(sock, bytes, length, 0);
}

int ReceiveBytes(Socket sock, char* bytes, int length) { return recv(sock, bytes, length, 0); }

int WaitReadable(Socket sock, int timeoutMs, const StopFlag& stop) {
    fd_set readable;
    return WaitInSlices(timeoutMs, stop,
                        [&](int ms) { return Wait(sock, &readable, nullptr, nullptr, ms); });
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
